#include "oauth/curl_handle.h"

#include "base/error.h"

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

}  // namespace corvex
