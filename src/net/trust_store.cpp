#include "net/trust_store.h"

#include <curl/curl.h>

#include <QDir>
#include <QFile>

#ifdef _WIN32
#include <wincrypt.h>
#include <windows.h>
#endif

namespace corvex {

namespace {

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef _WIN32
QByteArray pemCertificate(const CERT_CONTEXT* certificate) {
  const QByteArray der(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                       static_cast<qsizetype>(certificate->cbCertEncoded));
  const QByteArray base64 = der.toBase64();
  QByteArray pem("-----BEGIN CERTIFICATE-----\n");
  for (qsizetype start = 0; start < base64.size(); start += 64) pem += base64.mid(start, 64) + '\n';
  return pem + "-----END CERTIFICATE-----\n";
}

QByteArray systemCertificates() {
  HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
  if (store == nullptr) return {};
  QByteArray pem;
  for (const CERT_CONTEXT* certificate = CertEnumCertificatesInStore(store, nullptr); certificate != nullptr;
       certificate = CertEnumCertificatesInStore(store, certificate))
    pem += pemCertificate(certificate);
  CertCloseStore(store, 0);
  return pem;
}
#else
QByteArray systemCertificates() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info->cainfo != nullptr ? readFile(QString::fromLocal8Bit(info->cainfo)) : QByteArray();
}
#endif

}  // namespace

TrustBundle trustBundle() {
  const QString extraPath = qEnvironmentVariable("CURL_CA_BUNDLE");
  if (extraPath.isEmpty()) return {};
  const QByteArray extra = readFile(extraPath);
  if (!extra.contains("-----BEGIN CERTIFICATE-----"))
    return {QByteArray(),
            QStringLiteral("CURL_CA_BUNDLE names no readable PEM bundle: ") + QDir::toNativeSeparators(extraPath)};
  return {systemCertificates() + '\n' + extra, QString()};
}

CURLcode setUpTrust(CURL* curl, const TrustBundle& trust) {
  CURLcode code = CURLE_OK;
  if (!trust.pem.isEmpty()) {
    curl_blob blob{const_cast<char*>(trust.pem.constData()), static_cast<size_t>(trust.pem.size()), CURL_BLOB_COPY};
    code = curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
  }
#ifdef _WIN32
  // Only an OpenSSL build heeds this; Schannel uses the Windows store anyway.
  if (code == CURLE_OK) code = curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
  if (code == CURLE_OK) code = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  if (code == CURLE_OK) code = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  return code;
}

}  // namespace corvex
