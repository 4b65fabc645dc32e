#include "net/https_client.h"

#include "net/trust_store.h"

#include <QDateTime>

#include <algorithm>
#include <memory>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
// No answer is this long: a peer that sends more is not the service asked.
constexpr qsizetype kMaxBodyBytes = 1 << 20;

// An HTTP date, "Wed, 21 Oct 2015 07:28:00 GMT" (or the asctime form); Qt's
// RFC 2822 reader wants the zone as a number.
QDateTime httpDate(QByteArray text) {
  if (text.endsWith(" GMT")) text.replace(text.size() - 3, 3, "+0000");
  return QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
}

/// What the callbacks fill in while a request runs.
struct Exchange {
  HttpReply reply;
  QByteArray retryAfter;
  QByteArray date;
  /// libcurl is about to send the request: from here a StopPoint::BeforeSending request is not cut.
  bool sending = false;

  // Seconds, or a date counted from the server's own clock.
  qint64 retryAfterSeconds() const {
    if (retryAfter.isEmpty()) return -1;
    bool ok = false;
    const qint64 seconds = retryAfter.toLongLong(&ok);
    if (ok) return seconds >= 0 ? seconds : -1;
    const QDateTime until = httpDate(retryAfter);
    if (!until.isValid()) return -1;
    const QDateTime serverNow = httpDate(date);
    return qMax<qint64>(0, (serverNow.isValid() ? serverNow : QDateTime::currentDateTimeUtc()).secsTo(until));
  }
};

// What fits is kept: a caller that reads a mailbox's message may make do
// with its beginning.
size_t collectBody(char* data, size_t size, size_t count, void* userData) {
  HttpReply& reply = static_cast<Exchange*>(userData)->reply;
  const qsizetype room = kMaxBodyBytes - reply.body.size();
  reply.body.append(data, std::min(room, qsizetype(size * count)));
  if (qsizetype(size * count) <= room) return size * count;
  reply.truncated = true;
  return 0;
}

// Only the headers the callers act on are kept.
size_t collectHeader(char* data, size_t size, size_t count, void* userData) {
  auto* exchange = static_cast<Exchange*>(userData);
  const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
  const qsizetype colon = line.indexOf(':');
  const QByteArray name = line.left(qMax<qsizetype>(colon, 0)).trimmed().toLower();
  if (name == "retry-after") exchange->retryAfter = line.mid(colon + 1).trimmed();
  if (name == "date") exchange->date = line.mid(colon + 1).trimmed();
  if (name == "request-id") exchange->reply.requestId = line.mid(colon + 1).trimmed().left(100);
  return size * count;
}

int requestGoesOut(void* userData, char*, char*, int, int) {
  static_cast<Exchange*>(userData)->sending = true;
  return CURL_PREREQFUNC_OK;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void setUp(CURL* curl, long timeoutSeconds, const QString& url, curl_slist* headers, const QByteArray& body,
           Exchange* exchange, char* errorBuffer) {
  setCurlOption(curl, CURLOPT_URL, url.toUtf8().constData());
  setCurlOption(curl, CURLOPT_PROTOCOLS_STR, "https");
  setCurlOption(curl, CURLOPT_FOLLOWLOCATION, 0L);
  setCurlOption(curl, CURLOPT_NOSIGNAL, 1L);
  setCurlOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setCurlOption(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  setCurlOption(curl, CURLOPT_TIMEOUT, timeoutSeconds);
  setCurlOption(curl, CURLOPT_HTTPHEADER, headers);
  setCurlOption(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  setCurlOption(curl, CURLOPT_COPYPOSTFIELDS, body.constData());
  setCurlOption(curl, CURLOPT_WRITEFUNCTION, collectBody);
  setCurlOption(curl, CURLOPT_WRITEDATA, exchange);
  setCurlOption(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  setCurlOption(curl, CURLOPT_HEADERDATA, exchange);
  setCurlOption(curl, CURLOPT_PREREQFUNCTION, requestGoesOut);
  setCurlOption(curl, CURLOPT_PREREQDATA, exchange);
}

}  // namespace

HttpsClient::HttpsClient(long timeoutSeconds, StopCheck stop, StopPoint point)
    : m_timeoutSeconds(timeoutSeconds), m_stop(std::move(stop)), m_point(point) {}

HttpReply HttpsClient::post(const QString& url, const QList<QByteArray>& headers, const QByteArray& body) {
  return perform(url, headers, &body);
}

HttpReply HttpsClient::get(const QString& url, const QList<QByteArray>& headers) {
  return perform(url, headers, nullptr);
}

HttpReply HttpsClient::perform(const QString& url, const QList<QByteArray>& headers, const QByteArray* postBody) {
  Exchange exchange;
  const TrustBundle trust = trustBundle();
  if (!trust.problem.isEmpty()) {
    exchange.reply.failure = trust.problem;
    return exchange.reply;
  }
  std::unique_ptr<curl_slist, SlistDeleter> list;
  for (const QByteArray& header : headers) list.reset(curl_slist_append(list.release(), header.constData()));
  char errorBuffer[CURL_ERROR_SIZE] = {};
  setUp(m_transfer.easy(), m_timeoutSeconds, url, list.get(), postBody ? *postBody : QByteArray(), &exchange,
        errorBuffer);
  if (!postBody) setCurlOption(m_transfer.easy(), CURLOPT_HTTPGET, 1L);
  if (setUpTrust(m_transfer.easy(), trust) != CURLE_OK)
    throw Error(kMailComponentError, QStringLiteral("libcurl cannot check certificates"));
  const CURLcode code = m_transfer.perform(
      [&] { return stopAsked(m_stop) && !(m_point == StopPoint::BeforeSending && exchange.sending); });
  HttpReply& reply = exchange.reply;
  curl_easy_getinfo(m_transfer.easy(), CURLINFO_RESPONSE_CODE, &reply.status);
  reply.retryAfterSeconds = exchange.retryAfterSeconds();
  if (code != CURLE_OK && !(!postBody && code == CURLE_WRITE_ERROR && reply.truncated)) {
    reply.stopped = code == CURLE_ABORTED_BY_CALLBACK;
    reply.failure = reply.stopped ? QStringLiteral("stopped") : curlFailureText(code, errorBuffer);
    reply.status = 0;
  }
  return reply;
}

}  // namespace corvex
