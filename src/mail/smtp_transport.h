#pragma once

#include "mail/prepared_mail.h"
#include "mail/send_result.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_dialogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvex {

/// One SMTP session kept open across messages, spoken by our own
/// SmtpDialogue: it connects and logs in for the first message, sends every
/// further message on the same connection, and connects anew when the server
/// closed the connection, after a 421 or a failure without a reply, or once
/// `maxMessagesPerConnection` messages went over one connection. A message
/// the server refused (a recipient, the content) costs no connection: the
/// envelope is reset with RSET and the next message follows. close()
/// ends the session politely with QUIT; so does the destructor.
///
/// A message costs two round trips when the server offers PIPELINING
/// (RFC 2920): MAIL, RCPT and DATA in one flight, then the content. Without
/// the extension, or for a message with several recipients (whose DATA waits
/// until every RCPT was accepted, else the envelope is reset with RSET), the
/// commands go one at a time. MAIL carries SIZE when the server offers it,
/// and the envelope's id with RET=HDRS when it offers DSN (RFC 3461).
/// With PIPELINING, the content of one message and its end may also carry
/// the envelope of the next one (RFC 2920 lets them share a flight), which
/// takes that message to one round trip; its content still waits for its own
/// replies, so at most one message at a time is out without an answer.
///
/// Certificates, time-outs and login: see setUpSmtpConnection() and
/// SmtpDialogue, whose waits before a message's content end on `stop`: the
/// message then comes back SendResult::stopped(). One transport is used by
/// one thread at a time.
///
/// Creating a transport makes the process ignore SIGPIPE: a connection that
/// drops under a write must be a failed send, never the end of the program.
class SmtpTransport {
 public:
  SmtpTransport(MailAccount account, int maxMessagesPerConnection, StopCheck stop = {});
  ~SmtpTransport();
  SmtpTransport(const SmtpTransport&) = delete;
  SmtpTransport& operator=(const SmtpTransport&) = delete;

  /// Hands `message` (complete, CR LF line ends, of envelope.size bytes) to
  /// the server for the envelope's sender and recipients. `next`, when given,
  /// is the envelope of the message the caller delivers next on this
  /// transport; it may be sent ahead, with this message's content. A 5xx reply is a permanent failure; a 4xx
  /// reply, a lost connection or a time-out a temporary one; the text names
  /// the command and gives the server's reply (for a refused recipient, that
  /// recipient's own), never the password. Sent carries the server's final
  /// reply. A reused connection found dead before any of the message went out
  /// is replaced once, so a server that closed an idle session costs no
  /// message. A session that could not be opened reaches beyond the message
  /// (SendResult::Reach::Session), a refused login further still (Account).
  ///
  /// Raises Error when libcurl itself cannot be set up.
  SendResult deliver(const MailEnvelope& envelope, const QByteArray& message, const MailEnvelope* next = nullptr);

  /// Ends the session with QUIT if one is open (an envelope sent ahead is
  /// dropped, its message never sent); the next deliver() connects.
  void close();

 private:
  struct Attempt {
    SendResult result;
    bool contentStarted = false;
  };

  Attempt deliverOnce(const MailEnvelope& envelope, const QByteArray& message, const MailEnvelope* next);
  bool goesOn(const SendResult& result) const;
  SmtpReply startMessage(const MailEnvelope& envelope);
  QList<QByteArray> envelopeCommands(const MailEnvelope& envelope) const;
  QList<QByteArray> sentAhead(const MailEnvelope* next) const;
  SmtpReply sendPipelined(const QList<QByteArray>& commands, bool dataInGroup);
  SmtpReply readGroup(const QList<QByteArray>& group);
  SmtpReply sendOneByOne(const QList<QByteArray>& commands);
  SmtpReply askForContent();
  void dropSentAhead();

  MailAccount m_account;
  int m_maxMessagesPerConnection;
  StopCheck m_stop;
  SmtpDialogue m_dialogue;
  int m_messagesOnConnection = 0;
  /// The envelope sent ahead with the last content; its replies are unread.
  std::optional<MailEnvelope> m_sentAhead;
};

}  // namespace corvex
