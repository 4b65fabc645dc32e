#include "mail/smtp_transport.h"

#include "base/error.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvex {

namespace {

// The classic number for a component that cannot be created or driven.

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr long kServerResponseSeconds = 60;
constexpr long kTotalTimeoutSeconds = 300;
constexpr int kImplicitTlsPort = 465;

// CORVEX_SMTP_TIMEOUT_LIMIT (seconds) shortens every time-out below, so that
// tests of a stalling server need not wait minutes; it never lengthens one.
long limited(long seconds) {
  bool ok = false;
  const long limit = qEnvironmentVariableIntValue("CORVEX_SMTP_TIMEOUT_LIMIT", &ok);
  return ok && limit > 0 ? std::min(seconds, limit) : seconds;
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using StringList = std::unique_ptr<curl_slist, ListDeleter>;

struct Upload {
  const QByteArray& data;
  qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userData) {
  auto* upload = static_cast<Upload*>(userData);
  const size_t left = static_cast<size_t>(upload->data.size() - upload->offset);
  const size_t chunk = std::min(size * count, left);
  std::memcpy(buffer, upload->data.constData() + upload->offset, chunk);
  upload->offset += static_cast<qsizetype>(chunk);
  return chunk;
}

// A failed setopt means this libcurl lacks something the program relies on
// (TLS, SMTP): a fault of the installation, not of one message.
template <typename Value>
void setOption(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) throw Error(kMailComponentError, QString::fromUtf8(curl_easy_strerror(code)));
}

QByteArray serverUrl(const SmtpAccount& account, TlsMode mode) {
  // An IPv6 address needs brackets in a URL.
  const QString host =
      account.server.contains(u':') && !account.server.startsWith(u'[') ? u'[' + account.server + u']' : account.server;
  const char* scheme = mode == TlsMode::Implicit ? "smtps://" : "smtp://";
  return scheme + host.toUtf8() + ':' + QByteArray::number(account.port);
}

// libcurl reads no CA environment variable itself. Setting CAINFO keeps the
// library's own CA directory (the system store, e.g. /etc/ssl/certs), which is
// named explicitly so the extra bundle adds to the system store, not replaces it.
void setTrust(CURL* curl) {
  const QByteArray extraBundle = qgetenv("CURL_CA_BUNDLE");
  if (!extraBundle.isEmpty()) {
    setOption(curl, CURLOPT_CAINFO, extraBundle.constData());
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info->capath != nullptr) setOption(curl, CURLOPT_CAPATH, info->capath);
  }
#ifdef _WIN32
  setOption(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
  setOption(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  setOption(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

void setConnection(CURL* curl, const SmtpAccount& account, char* errorBuffer) {
  const TlsMode mode = tlsModeFor(account.port, account.requireTls);
  setOption(curl, CURLOPT_URL, serverUrl(account, mode).constData());
  setOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setOption(curl, CURLOPT_NOSIGNAL, 1L);
  setOption(curl, CURLOPT_USE_SSL, static_cast<long>(mode == TlsMode::StartTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  setOption(curl, CURLOPT_CONNECTTIMEOUT, limited(kConnectTimeoutSeconds));
  setOption(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
  setOption(curl, CURLOPT_LOW_SPEED_TIME, limited(kLowSpeedSeconds));
  setOption(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limited(kServerResponseSeconds));
  setOption(curl, CURLOPT_TIMEOUT, limited(kTotalTimeoutSeconds));
  setTrust(curl);
}

void setLogin(CURL* curl, const SmtpAccount& account) {
  if (account.user.isEmpty()) return;
  setOption(curl, CURLOPT_USERNAME, account.user.toUtf8().constData());
  setOption(curl, CURLOPT_PASSWORD, account.password.toUtf8().constData());
}

StringList setEnvelope(CURL* curl, const QString& from, const QStringList& recipients) {
  setOption(curl, CURLOPT_MAIL_FROM, ('<' + from.toLatin1() + '>').constData());
  StringList rcpt;
  for (const QString& recipient : recipients) {
    curl_slist* grown = curl_slist_append(rcpt.get(), ('<' + recipient.toLatin1() + '>').constData());
    if (grown == nullptr) throw Error(kMailComponentError, QStringLiteral("Out of memory"));
    static_cast<void>(rcpt.release());  // `grown` now heads the same list
    rcpt.reset(grown);
  }
  setOption(curl, CURLOPT_MAIL_RCPT, rcpt.get());
  return rcpt;
}

void setUpload(CURL* curl, Upload& upload) {
  setOption(curl, CURLOPT_UPLOAD, 1L);
  setOption(curl, CURLOPT_READFUNCTION, readUpload);
  setOption(curl, CURLOPT_READDATA, &upload);
  setOption(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));
}

// libcurl's detail names the step and the server's reply ("RCPT failed: 550");
// its generic text serves when there is no detail.
QString failureText(CURLcode code, const char* errorBuffer) {
  const QString detail = QString::fromUtf8(errorBuffer).trimmed();
  return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

QString accountProblem(const SmtpAccount& account) {
  if (account.server.trimmed().isEmpty()) return QStringLiteral("no SMTP server configured");
  if (account.port < 1 || account.port > 65535) return QStringLiteral("invalid SMTP port %1").arg(account.port);
  return {};
}

}  // namespace

TlsMode tlsModeFor(int port, bool requireTls) {
  if (!requireTls) return TlsMode::None;
  return port == kImplicitTlsPort ? TlsMode::Implicit : TlsMode::StartTls;
}

QString deliverSmtp(const SmtpAccount& account, const QString& from, const QStringList& recipients,
                    const QByteArray& message) {
  if (const QString problem = accountProblem(account); !problem.isEmpty()) return problem;
  const EasyHandle curl(curl_easy_init());
  if (!curl) throw Error(kMailComponentError, QStringLiteral("libcurl could not be initialised"));
  char errorBuffer[CURL_ERROR_SIZE] = {};
  setConnection(curl.get(), account, errorBuffer);
  setLogin(curl.get(), account);
  // libcurl copies strings, but not lists: the recipients must outlive the transfer.
  const StringList rcpt = setEnvelope(curl.get(), from, recipients);
  Upload upload{message};
  setUpload(curl.get(), upload);
  const CURLcode code = curl_easy_perform(curl.get());
  return code == CURLE_OK ? QString() : failureText(code, errorBuffer);
}

}  // namespace corvex
