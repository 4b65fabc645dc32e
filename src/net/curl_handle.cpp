#include "net/curl_handle.h"

namespace corvex {

void ensureCurlInitialised() {
  static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
  static_cast<void>(initialised);  // a failure shows again at curl_easy_init()
}

CurlEasy newCurlEasy() {
  ensureCurlInitialised();
  CurlEasy curl(curl_easy_init());
  if (!curl) throw Error(kMailComponentError, QStringLiteral("libcurl could not be initialised"));
  return curl;
}

QString curlFailureText(CURLcode code, const char* errorBuffer) {
  const QString detail = QString::fromUtf8(errorBuffer).trimmed();
  return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

}  // namespace corvex
