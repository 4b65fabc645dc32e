#include "oauth/service_account.h"

#include "base/error.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <nlohmann/json.hpp>

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace corvex {

namespace {

// Google refuses an assertion issued in its future, so one whose clock runs
// a little fast must not date it now; and it refuses an exp more than an
// hour after iat, so exp moves with it.
constexpr qint64 kIssuedBeforeSeconds = 60;
constexpr qint64 kAssertionLifetimeSeconds = 3600;

Error badKey(const QString& path, const QString& why) {
  return Error(kInvalidFileFormat, QStringLiteral("%1 is not a service account key: %2").arg(path, why));
}

QByteArray base64Url(const QByteArray& bytes) {
  return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray base64UrlJson(const nlohmann::json& value) { return base64Url(QByteArray::fromStdString(value.dump())); }

QString textField(const nlohmann::json& key, const char* name, const QString& path) {
  const auto field = key.find(name);
  if (field == key.end() || !field->is_string() || field->get<std::string>().empty())
    throw badKey(path, QStringLiteral("no %1").arg(QString::fromLatin1(name)));
  return QString::fromStdString(field->get<std::string>());
}

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(BIO* bio) const { BIO_free(bio); }
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

QByteArray rs256(const QByteArray& privateKeyPem, const QByteArray& input) {
  const std::unique_ptr<BIO, KeyDeleter> bio(BIO_new_mem_buf(privateKeyPem.constData(), int(privateKeyPem.size())));
  const std::unique_ptr<EVP_PKEY, KeyDeleter> key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                                                      : nullptr);
  const std::unique_ptr<EVP_MD_CTX, KeyDeleter> context(EVP_MD_CTX_new());
  size_t length = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(input.constData());
  if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA || !context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, data, size_t(input.size())) != 1)
    throw Error(kInvalidFileFormat, QStringLiteral("the service account's private_key is not an RSA key"));
  QByteArray signature(qsizetype(length), '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, data,
                     size_t(input.size())) != 1)
    throw Error(kInvalidFileFormat, QStringLiteral("signing with the service account's key failed"));
  return signature.left(qsizetype(length));
}

}  // namespace

ServiceAccount readServiceAccount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Error(kFileNotFound, QStringLiteral("cannot read the key file %1").arg(QFileInfo(path).absoluteFilePath()));
  const nlohmann::json key = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
  if (!key.is_object()) throw badKey(path, QStringLiteral("not a JSON object"));
  return ServiceAccount{textField(key, "client_email", path), textField(key, "private_key", path).toUtf8(),
                        key.contains("token_uri") && key["token_uri"].is_string()
                            ? QString::fromStdString(key["token_uri"].get<std::string>())
                            : QString()};
}

QByteArray signedAssertion(const ServiceAccount& account, const QString& subject, const QString& scope,
                           const QString& audience, const QDateTime& now) {
  const qint64 issued = now.toSecsSinceEpoch() - kIssuedBeforeSeconds;
  nlohmann::json claims{{"iss", account.clientEmail.toStdString()},
                        {"scope", scope.toStdString()},
                        {"aud", audience.toStdString()},
                        {"iat", issued},
                        {"exp", issued + kAssertionLifetimeSeconds}};
  if (!subject.isEmpty()) claims["sub"] = subject.toStdString();
  const QByteArray input = base64UrlJson({{"alg", "RS256"}, {"typ", "JWT"}}) + '.' + base64UrlJson(claims);
  return input + '.' + base64Url(rs256(account.privateKey, input));
}

}  // namespace corvex
