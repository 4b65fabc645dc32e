#pragma once

#include "net/curl_handle.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvex {

/// What an HTTPS server answered to one request.
struct HttpReply {
  long status = 0;  ///< 0: no answer; `failure` says why
  QByteArray body;
  /// The Retry-After header in seconds; -1 when absent or given as a date.
  qint64 retryAfterSeconds = -1;
  QString failure;
  /// The request-id header (Microsoft Graph's name for the request), if any.
  QByteArray requestId = {};
  /// The body was longer than the client keeps (1 MiB) and was cut there.
  bool truncated = false;
};

/// POST and GET requests over HTTPS through libcurl, with the certificate checks and
/// CURL_CA_BUNDLE of the SMTP connections (see trustBundle()). Only https
/// URLs are followed, redirects never (a redirect would carry a secret to
/// another host). The connection is kept from one request to the next.
///
/// Connecting gives up after 30 s, a request after `timeoutSeconds`. One
/// client is used by one thread at a time.
class HttpsClient {
 public:
  explicit HttpsClient(long timeoutSeconds = 120);

  /// POSTs `body` with `headers` ("Name: value") to `url`. Raises Error 429
  /// when libcurl cannot be set up; every other failure is in the reply.
  HttpReply post(const QString& url, const QList<QByteArray>& headers, const QByteArray& body);
  /// GETs `url` with `headers`; a body longer than 1 MiB is cut there
  /// (HttpReply::truncated), which is no failure. Raises as post().
  HttpReply get(const QString& url, const QList<QByteArray>& headers);

 private:
  HttpReply perform(const QString& url, const QList<QByteArray>& headers, const QByteArray* postBody);
  void setUp(const QString& url, curl_slist* headers, const QByteArray& body, HttpReply* reply, char* errorBuffer);

  CurlEasy m_curl;
  long m_timeoutSeconds;
};

}  // namespace corvex
