#include "net/https_client.h"

#include "net/trust_store.h"

#include <algorithm>
#include <memory>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
// No answer is this long: a peer that sends more is not the service asked.
constexpr qsizetype kMaxBodyBytes = 1 << 20;

// What fits is kept: a caller that reads a mailbox's message may make do
// with its beginning.
size_t collectBody(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<HttpReply*>(userData);
  const qsizetype room = kMaxBodyBytes - reply->body.size();
  reply->body.append(data, std::min(room, qsizetype(size * count)));
  if (qsizetype(size * count) <= room) return size * count;
  reply->truncated = true;
  return 0;
}

// Only the headers the callers act on are kept.
size_t collectHeader(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<HttpReply*>(userData);
  const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
  const qsizetype colon = line.indexOf(':');
  const QByteArray name = colon > 0 ? line.left(colon).trimmed() : QByteArray();
  const QByteArray value = line.mid(colon + 1).trimmed();
  if (name.compare("Retry-After", Qt::CaseInsensitive) == 0) {
    bool ok = false;
    const qint64 seconds = value.toLongLong(&ok);
    reply->retryAfterSeconds = ok && seconds >= 0 ? seconds : -1;
  } else if (name.compare("request-id", Qt::CaseInsensitive) == 0) {
    reply->requestId = value.left(100);
  }
  return size * count;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpsClient::HttpsClient(long timeoutSeconds) : m_curl(newCurlEasy()), m_timeoutSeconds(timeoutSeconds) {}

HttpReply HttpsClient::post(const QString& url, const QList<QByteArray>& headers, const QByteArray& body) {
  return perform(url, headers, &body);
}

HttpReply HttpsClient::get(const QString& url, const QList<QByteArray>& headers) {
  return perform(url, headers, nullptr);
}

HttpReply HttpsClient::perform(const QString& url, const QList<QByteArray>& headers, const QByteArray* postBody) {
  HttpReply reply;
  const TrustBundle trust = trustBundle();
  if (!trust.problem.isEmpty()) {
    reply.failure = trust.problem;
    return reply;
  }
  std::unique_ptr<curl_slist, SlistDeleter> list;
  for (const QByteArray& header : headers) list.reset(curl_slist_append(list.release(), header.constData()));
  char errorBuffer[CURL_ERROR_SIZE] = {};
  setUp(url, list.get(), postBody ? *postBody : QByteArray(), &reply, errorBuffer);
  if (!postBody) setCurlOption(m_curl.get(), CURLOPT_HTTPGET, 1L);
  if (setUpTrust(m_curl.get(), trust) != CURLE_OK)
    throw Error(kMailComponentError, QStringLiteral("libcurl cannot check certificates"));
  const CURLcode code = curl_easy_perform(m_curl.get());
  curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
  if (code != CURLE_OK && !(!postBody && code == CURLE_WRITE_ERROR && reply.truncated)) {
    reply.failure = curlFailureText(code, errorBuffer);
    reply.status = 0;
  }
  return reply;
}

void HttpsClient::setUp(const QString& url, curl_slist* headers, const QByteArray& body, HttpReply* reply,
                        char* errorBuffer) {
  CURL* curl = m_curl.get();
  setCurlOption(curl, CURLOPT_URL, url.toUtf8().constData());
  setCurlOption(curl, CURLOPT_PROTOCOLS_STR, "https");
  setCurlOption(curl, CURLOPT_FOLLOWLOCATION, 0L);
  setCurlOption(curl, CURLOPT_NOSIGNAL, 1L);
  setCurlOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setCurlOption(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  setCurlOption(curl, CURLOPT_TIMEOUT, m_timeoutSeconds);
  setCurlOption(curl, CURLOPT_HTTPHEADER, headers);
  setCurlOption(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  setCurlOption(curl, CURLOPT_COPYPOSTFIELDS, body.constData());
  setCurlOption(curl, CURLOPT_WRITEFUNCTION, collectBody);
  setCurlOption(curl, CURLOPT_WRITEDATA, reply);
  setCurlOption(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  setCurlOption(curl, CURLOPT_HEADERDATA, reply);
}

}  // namespace corvex
