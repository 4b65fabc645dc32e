#pragma once

#include "base/stop_check.h"
#include "net/curl_transfer.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvex {

/// What an HTTPS server answered to one request.
struct HttpReply {
  long status = 0;  ///< 0: no answer; `failure` says why
  QByteArray body;
  /// The Retry-After header in seconds, a date counted from the reply's own
  /// Date (or this machine's clock without one); -1 when absent or unreadable.
  qint64 retryAfterSeconds = -1;
  QString failure;
  /// No answer because a stop request ended the request (see StopPoint).
  bool stopped = false;
  /// The request-id header (Microsoft Graph's name for the request), if any.
  QByteArray requestId = {};
  /// The body was longer than the client keeps (1 MiB) and was cut there.
  bool truncated = false;
};

/// How far into a request a stop request may end it.
enum class StopPoint {
  /// Any time: the request changes nothing that matters when cut (a token).
  Anywhere,
  /// Until the request goes out (connecting, TLS); from then on its answer
  /// is waited for, within the time-out: a message it delivers may have
  /// arrived, and only the answer says so.
  BeforeSending,
};

/// POST and GET requests over HTTPS through libcurl, with the certificate checks and
/// CURL_CA_BUNDLE of the SMTP connections (see trustBundle()). Only https
/// URLs are followed, redirects never (a redirect would carry a secret to
/// another host). The connection is kept from one request to the next.
///
/// Connecting gives up after 30 s, a request after `timeoutSeconds`; `stop`
/// ends a request where `point` allows. One client is used by one thread at
/// a time.
class HttpsClient {
 public:
  explicit HttpsClient(long timeoutSeconds = 120, StopCheck stop = {}, StopPoint point = StopPoint::Anywhere);

  /// POSTs `body` with `headers` ("Name: value") to `url`. Raises Error 429
  /// when libcurl cannot be set up; every other failure is in the reply.
  HttpReply post(const QString& url, const QList<QByteArray>& headers, const QByteArray& body);
  /// GETs `url` with `headers`; a body longer than 1 MiB is cut there
  /// (HttpReply::truncated), which is no failure. Raises as post().
  HttpReply get(const QString& url, const QList<QByteArray>& headers);

 private:
  HttpReply perform(const QString& url, const QList<QByteArray>& headers, const QByteArray* postBody);

  CurlTransfer m_transfer;
  long m_timeoutSeconds;
  StopCheck m_stop;
  StopPoint m_point;
};

}  // namespace corvex
