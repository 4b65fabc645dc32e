#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace corvex {

/// A Google service account, as its JSON key file describes it.
struct ServiceAccount {
  QString clientEmail;
  QByteArray privateKey;  ///< PEM; never written anywhere
  QString tokenUri;
};

/// Reads the key file at `path`. Raises Error 53 when it cannot be read, 321
/// when it is not a service account's key (the text names the missing field,
/// never the key).
ServiceAccount readServiceAccount(const QString& path);

/// The signed JWT of the JWT-bearer grant: issued by the account for
/// `subject` (the mailbox it acts for; none when empty), for `scope`, to
/// `audience` (the token URL), issued a minute before `now` (iat) and valid
/// for one hour from then (exp), signed RS256 with the account's key. Raises Error 321 when the key cannot sign.
QByteArray signedAssertion(const ServiceAccount& account, const QString& subject, const QString& scope,
                           const QString& audience, const QDateTime& now);

}  // namespace corvex
