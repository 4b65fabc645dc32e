#pragma once

#include "base/error.h"

#include <curl/curl.h>

#include <QString>

#include <memory>

namespace corvex {

/// libcurl's process-wide start, done once, from whichever thread comes first.
void ensureCurlInitialised();

struct CurlEasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

/// The owner of one libcurl easy handle.
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

/// A new easy handle, libcurl started first; raises Error 429 when libcurl
/// cannot make one.
CurlEasy newCurlEasy();

/// Sets one option of `curl`. A refused option means this libcurl lacks
/// something the program relies on (TLS, a protocol): a fault of the
/// installation, not of one transfer, so it raises Error 429.
template <typename Value>
void setCurlOption(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) throw Error(kMailComponentError, QString::fromUtf8(curl_easy_strerror(code)));
}

/// Why a transfer failed: libcurl's detail from `errorBuffer` (the
/// CURLOPT_ERRORBUFFER, which names the step: "STARTTLS not supported"), or
/// its generic text for `code` when there is none.
QString curlFailureText(CURLcode code, const char* errorBuffer);

}  // namespace corvex
