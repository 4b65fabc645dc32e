#include "oauth/https_client.h"

#include "base/error.h"
#include "oauth/trust_store.h"

#include <memory>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
// No answer is this long: a peer that sends more is not the service asked.
constexpr qsizetype kMaxBodyBytes = 1 << 20;

template <typename Value>
void setOption(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) throw Error(kMailComponentError, QString::fromUtf8(curl_easy_strerror(code)));
}

size_t collectBody(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<HttpReply*>(userData);
  if (reply->body.size() + qsizetype(size * count) > kMaxBodyBytes) return 0;
  reply->body.append(data, qsizetype(size * count));
  return size * count;
}

// Only the header the callers act on is kept.
size_t collectHeader(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<HttpReply*>(userData);
  const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
  const qsizetype colon = line.indexOf(':');
  if (colon > 0 && line.left(colon).trimmed().compare("Retry-After", Qt::CaseInsensitive) == 0) {
    bool ok = false;
    const qint64 seconds = line.mid(colon + 1).trimmed().toLongLong(&ok);
    reply->retryAfterSeconds = ok && seconds >= 0 ? seconds : -1;
  }
  return size * count;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpsClient::HttpsClient(long timeoutSeconds) : m_curl(newCurlEasy()), m_timeoutSeconds(timeoutSeconds) {}

HttpReply HttpsClient::post(const QString& url, const QList<QByteArray>& headers, const QByteArray& body) {
  HttpReply reply;
  const TrustBundle trust = trustBundle();
  if (!trust.problem.isEmpty()) {
    reply.failure = trust.problem;
    return reply;
  }
  std::unique_ptr<curl_slist, SlistDeleter> list;
  for (const QByteArray& header : headers) list.reset(curl_slist_append(list.release(), header.constData()));
  char errorBuffer[CURL_ERROR_SIZE] = {};
  setUp(url, list.get(), body, &reply, errorBuffer);
  if (setUpTrust(m_curl.get(), trust) != CURLE_OK)
    throw Error(kMailComponentError, QStringLiteral("libcurl cannot check certificates"));
  const CURLcode code = curl_easy_perform(m_curl.get());
  curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
  if (code != CURLE_OK) {
    const QString detail = QString::fromUtf8(errorBuffer).trimmed();
    reply.failure = detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
    reply.status = 0;
  }
  return reply;
}

void HttpsClient::setUp(const QString& url, curl_slist* headers, const QByteArray& body, HttpReply* reply,
                        char* errorBuffer) {
  CURL* curl = m_curl.get();
  setOption(curl, CURLOPT_URL, url.toUtf8().constData());
  setOption(curl, CURLOPT_PROTOCOLS_STR, "https");
  setOption(curl, CURLOPT_FOLLOWLOCATION, 0L);
  setOption(curl, CURLOPT_NOSIGNAL, 1L);
  setOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setOption(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  setOption(curl, CURLOPT_TIMEOUT, m_timeoutSeconds);
  setOption(curl, CURLOPT_HTTPHEADER, headers);
  setOption(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  setOption(curl, CURLOPT_COPYPOSTFIELDS, body.constData());
  setOption(curl, CURLOPT_WRITEFUNCTION, collectBody);
  setOption(curl, CURLOPT_WRITEDATA, reply);
  setOption(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  setOption(curl, CURLOPT_HEADERDATA, reply);
}

}  // namespace corvex
