#include "net/curl_transfer.h"

#include "base/stop_check.h"

namespace corvex {

namespace {

Error multiError(CURLMcode code) { return Error(kMailComponentError, QString::fromUtf8(curl_multi_strerror(code))); }

}  // namespace

CurlTransfer::CurlTransfer() : m_easy(newCurlEasy()), m_multi(curl_multi_init()) {
  if (!m_multi) throw Error(kMailComponentError, QStringLiteral("libcurl could not be initialised"));
}

// The easy handle leaves its multi handle before either is cleaned up.
CurlTransfer::~CurlTransfer() { detach(); }

void CurlTransfer::detach() {
  if (m_attached) curl_multi_remove_handle(m_multi.get(), m_easy.get());
  m_attached = false;
}

CURLcode CurlTransfer::perform(const std::function<bool()>& stopNow) {
  // A handle that ran before is added anew: only then does libcurl start it again.
  detach();
  if (const CURLMcode added = curl_multi_add_handle(m_multi.get(), m_easy.get()); added != CURLM_OK)
    throw multiError(added);
  m_attached = true;
  for (;;) {
    int running = 0;
    if (const CURLMcode performed = curl_multi_perform(m_multi.get(), &running); performed != CURLM_OK)
      throw multiError(performed);
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(m_multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) return message->data.result;
    }
    if (stopNow && stopNow()) {
      detach();
      return CURLE_ABORTED_BY_CALLBACK;
    }
    const int wakeMs = static_cast<int>(kStopPollInterval.count());
    if (const CURLMcode polled = curl_multi_poll(m_multi.get(), nullptr, 0, wakeMs, nullptr); polled != CURLM_OK)
      throw multiError(polled);
  }
}

}  // namespace corvex
