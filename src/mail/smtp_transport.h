#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
};

/// Hands `message` (complete, CR LF line ends) to the server for `from` and
/// every address in `recipients`. Returns an empty text when the server
/// accepted it, or the reason it did not (libcurl's text and the server's
/// reply; never the password).
///
/// Server certificates are verified, host name included, against the system
/// trust store; a PEM bundle named by the environment variable CURL_CA_BUNDLE
/// is trusted in addition. Connecting gives up after 30 s, a transfer that
/// moves less than one byte a second for 60 s is dropped, a server reply
/// waited for 60 s at most and the whole delivery capped at 300 s.
///
/// Raises Error when libcurl itself cannot be set up.
QString deliverSmtp(const SmtpAccount& account, const QString& from, const QStringList& recipients,
                    const QByteArray& message);

}  // namespace corvex
