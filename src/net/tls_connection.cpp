#include "net/tls_connection.h"

#include <cerrno>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace corvex {

namespace {

constexpr size_t kChunkBytes = 4096;

// A signal (a stop asked for) ends a wait early, even under SA_RESTART, and
// then the wait goes on for the time left: a reply on its way taken for none
// would leave a document the server accepted unmarked, to be mailed again.
bool waitForSocket(curl_socket_t socket, bool forWriting, const QDeadlineTimer& deadline) {
  pollfd entry{};
  entry.fd = socket;
  entry.events = forWriting ? POLLOUT : POLLIN;
  for (;;) {
    const int timeout = static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
#ifdef _WIN32
    const int ready = WSAPoll(&entry, 1, timeout);
    const bool interrupted = ready < 0 && WSAGetLastError() == WSAEINTR;
#else
    const int ready = ::poll(&entry, 1, timeout);
    const bool interrupted = ready < 0 && errno == EINTR;
#endif
    if (!interrupted || deadline.hasExpired()) return ready > 0;
  }
}

}  // namespace

TlsConnection::TlsConnection(CurlEasy curl) : m_curl(std::move(curl)) {
  // The start's error buffer and debug watch belong to whoever set them up;
  // nothing after the hand-over writes to them.
  curl_easy_setopt(m_curl.get(), CURLOPT_VERBOSE, 0L);
  curl_easy_setopt(m_curl.get(), CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(m_curl.get(), CURLOPT_DEBUGDATA, nullptr);
  if (curl_easy_getinfo(m_curl.get(), CURLINFO_ACTIVESOCKET, &m_socket) != CURLE_OK || m_socket == CURL_SOCKET_BAD)
    close();
}

QString TlsConnection::writeAll(const QByteArray& bytes, const QDeadlineTimer& deadline, int stalledMs) {
  if (!isOpen()) return QStringLiteral("not connected");
  qsizetype offset = 0;
  while (offset < bytes.size()) {
    size_t sent = 0;
    const CURLcode code =
        curl_easy_send(m_curl.get(), bytes.constData() + offset, static_cast<size_t>(bytes.size() - offset), &sent);
    const QDeadlineTimer wait(qMin<qint64>(deadline.remainingTime(), stalledMs));
    if (code == CURLE_AGAIN && waitForSocket(m_socket, true, wait)) continue;
    if (code != CURLE_OK) {
      close();
      return code == CURLE_AGAIN ? QStringLiteral("timed out") : QString::fromUtf8(curl_easy_strerror(code));
    }
    offset += static_cast<qsizetype>(sent);
  }
  return {};
}

TlsConnection::Read TlsConnection::read(QByteArray& buffer, const QDeadlineTimer& deadline) {
  while (isOpen()) {
    char chunk[kChunkBytes];
    size_t count = 0;
    const CURLcode code = curl_easy_recv(m_curl.get(), chunk, sizeof chunk, &count);
    if (code == CURLE_AGAIN) {
      if (waitForSocket(m_socket, false, deadline)) continue;
      close();
      return Read::TimedOut;
    }
    if (code != CURLE_OK || count == 0) break;
    buffer.append(chunk, static_cast<qsizetype>(count));
    return Read::Data;
  }
  close();
  return Read::Closed;
}

bool TlsConnection::stillOpen(QByteArray& buffer) {
  if (!isOpen()) return false;
  if (!waitForSocket(m_socket, false, QDeadlineTimer(0))) return true;
  char chunk[kChunkBytes];
  size_t count = 0;
  const CURLcode code = curl_easy_recv(m_curl.get(), chunk, sizeof chunk, &count);
  if (code == CURLE_AGAIN) return true;  // TLS housekeeping, no data
  if (code != CURLE_OK || count == 0) {
    close();
    return false;
  }
  buffer.append(chunk, static_cast<qsizetype>(count));
  return true;
}

void TlsConnection::close() {
  m_curl.reset();
  m_socket = CURL_SOCKET_BAD;
}

}  // namespace corvex
