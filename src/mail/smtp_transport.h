#pragma once

#include "mail/send_result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace corvex {

/// How the connection to the SMTP server is protected.
enum class TlsMode {
  None,      ///< plain SMTP
  StartTls,  ///< plain connect, then STARTTLS, which the server must offer
  Implicit,  ///< TLS from the first byte (smtps)
};

/// "Require TLS" means implicit TLS on port 465, the port reserved for it, and
/// STARTTLS on any other port; without it the dialogue stays plain.
TlsMode tlsModeFor(int port, bool requireTls);

/// Where and as whom a message is delivered over SMTP.
struct SmtpAccount {
  QString server;
  int port = 0;
  QString user;  ///< empty: no AUTH
  QString password;
  bool requireTls = true;

  bool operator==(const SmtpAccount&) const = default;
};

/// One SMTP session kept open across messages: it connects and logs in for
/// the first message, sends every further message on the same connection
/// (MAIL, RCPT, DATA: four round trips), and connects anew when the server
/// closed the connection, after a failed message, or once
/// `maxMessagesPerConnection` messages went over one connection. close()
/// ends the session politely with QUIT; so does the destructor.
///
/// Server certificates are verified, host name included, against the system
/// trust store; a PEM bundle named by the environment variable CURL_CA_BUNDLE
/// is trusted in addition. Connecting gives up after 30 s, a transfer that
/// moves less than one byte a second for 60 s is dropped, a server reply
/// waited for 60 s at most and one message capped at 300 s.
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
  /// reply, a lost connection or a time-out a temporary one; the text is
  /// libcurl's with the server's reply, never the password. A reused
  /// connection found dead before any of the message went out is replaced
  /// once, so a server that closed an idle session costs no message.
  ///
  /// Raises Error when libcurl itself cannot be set up.
  SendResult deliver(const QString& from, const QStringList& recipients, const QByteArray& message);

  /// Ends the session with QUIT if one is open; the next deliver() connects.
  void close();

 private:
  class Session;

  SendResult deliverOnce(const QString& from, const QStringList& recipients, const QByteArray& message);

  SmtpAccount m_account;
  int m_maxMessagesPerConnection;
  std::unique_ptr<Session> m_session;
  bool m_lastUploaded = false;
};

}  // namespace corvex
