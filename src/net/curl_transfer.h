#pragma once

#include "net/curl_handle.h"

#include <curl/curl.h>

#include <functional>
#include <memory>

namespace corvex {

struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

/// A libcurl transfer whose waits a stop request can end: its easy handle is
/// driven through a multi handle of its own, which wakes every
/// kStopPollInterval to ask (libcurl's own progress callback comes only once
/// a second while nothing moves). A connect-only transfer
/// (CURLOPT_CONNECT_ONLY) stays attached to the multi handle once done: that
/// is where curl_easy_send() and curl_easy_recv() find its connection.
/// Connections kept for reuse live in the multi handle too. One transfer is
/// used by one thread at a time.
class CurlTransfer {
 public:
  /// Raises Error 429 when libcurl cannot make its handles.
  CurlTransfer();
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  /// The handle to set the transfer's options on.
  CURL* easy() const { return m_easy.get(); }

  /// Runs the transfer set up on easy() to its end and returns libcurl's
  /// result, or CURLE_ABORTED_BY_CALLBACK as soon as `stopNow` answers true
  /// (it is asked between libcurl's steps); a stopped transfer's connection
  /// is closed.
  CURLcode perform(const std::function<bool()>& stopNow);

 private:
  void detach();

  CurlEasy m_easy;
  std::unique_ptr<CURLM, CurlMultiDeleter> m_multi;
  bool m_attached = false;
};

}  // namespace corvex
