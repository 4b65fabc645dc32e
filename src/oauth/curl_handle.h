#pragma once

#include <curl/curl.h>

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

}  // namespace corvex
