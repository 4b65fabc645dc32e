#pragma once

#include "mail/send_result.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_dialogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvex {

/// One SMTP session kept open across messages, spoken by our own
/// SmtpDialogue: it connects and logs in for the first message, sends every
/// further message on the same connection, and connects anew when the server
/// closed the connection, after a failed message, or once
/// `maxMessagesPerConnection` messages went over one connection. close()
/// ends the session politely with QUIT; so does the destructor.
///
/// A message costs two round trips when the server offers PIPELINING
/// (RFC 2920): MAIL, RCPT and DATA in one flight, then the content. Without
/// the extension, or for a message with several recipients (whose DATA waits
/// until every RCPT was accepted, else the envelope is reset with RSET), the
/// commands go one at a time. MAIL carries SIZE when the server offers it.
///
/// Certificates, time-outs and login: see setUpSmtpConnection() and
/// SmtpDialogue. One transport is used by one thread at a time.
///
/// Creating a transport makes the process ignore SIGPIPE: a connection that
/// drops under a write must be a failed send, never the end of the program.
class SmtpTransport {
 public:
  SmtpTransport(SmtpAccount account, int maxMessagesPerConnection);
  ~SmtpTransport();
  SmtpTransport(const SmtpTransport&) = delete;
  SmtpTransport& operator=(const SmtpTransport&) = delete;

  /// Hands `message` (complete, CR LF line ends) to the server for `from` and
  /// every address in `recipients`. A 5xx reply is a permanent failure; a 4xx
  /// reply, a lost connection or a time-out a temporary one; the text names
  /// the command and gives the server's reply (for a refused recipient, that
  /// recipient's own), never the password. Sent carries the server's final
  /// reply. A reused connection found dead before any of the message went out
  /// is replaced once, so a server that closed an idle session costs no
  /// message.
  ///
  /// Raises Error when libcurl itself cannot be set up.
  SendResult deliver(const QString& from, const QStringList& recipients, const QByteArray& message);

  /// Ends the session with QUIT if one is open; the next deliver() connects.
  void close();

 private:
  struct Attempt {
    SendResult result;
    bool contentStarted = false;
  };

  Attempt deliverOnce(const QString& from, const QStringList& recipients, const QByteArray& message);
  SmtpReply sendEnvelope(const QString& from, const QStringList& recipients, qsizetype size);
  SmtpReply sendPipelined(const QList<QByteArray>& commands, bool dataInGroup);
  SmtpReply sendOneByOne(const QList<QByteArray>& commands);

  SmtpAccount m_account;
  int m_maxMessagesPerConnection;
  SmtpDialogue m_dialogue;
  int m_messagesOnConnection = 0;
};

}  // namespace corvex
