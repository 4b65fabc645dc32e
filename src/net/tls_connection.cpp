#include "net/tls_connection.h"

#include <algorithm>
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
// Whether the stop ends the wait is the caller's `stop` to say.
bool pollSocket(curl_socket_t socket, bool forWriting, const QDeadlineTimer& deadline) {
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

TlsConnection::TlsConnection(std::unique_ptr<CurlTransfer> transfer) : m_transfer(std::move(transfer)) {
  CURL* curl = m_transfer->easy();
  // The start's error buffer and debug watch belong to whoever set them up;
  // nothing after the hand-over writes to them.
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, nullptr);
  if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &m_socket) != CURLE_OK || m_socket == CURL_SOCKET_BAD) close();
}

// Without a stop to ask, one wait to the deadline; with one, slices short
// enough that a stop ends the wait within kStopPollInterval.
TlsConnection::Wait TlsConnection::waitFor(bool forWriting, const QDeadlineTimer& deadline,
                                           const StopCheck& stop) const {
  if (!stop) return pollSocket(m_socket, forWriting, deadline) ? Wait::Ready : Wait::TimedOut;
  for (;;) {
    if (stop()) return Wait::Stopped;
    const qint64 remaining = deadline.remainingTime();  // -1: no deadline
    const qint64 slice =
        remaining < 0 ? kStopPollInterval.count() : std::min<qint64>(remaining, kStopPollInterval.count());
    if (pollSocket(m_socket, forWriting, QDeadlineTimer(slice))) return Wait::Ready;
    if (deadline.hasExpired()) return Wait::TimedOut;
  }
}

QString TlsConnection::writeAll(const QByteArray& bytes, const QDeadlineTimer& deadline, int stalledMs,
                                const StopCheck& stop) {
  if (!isOpen()) return QStringLiteral("not connected");
  qsizetype offset = 0;
  while (offset < bytes.size()) {
    size_t sent = 0;
    const CURLcode code = curl_easy_send(m_transfer->easy(), bytes.constData() + offset,
                                         static_cast<size_t>(bytes.size() - offset), &sent);
    if (code == CURLE_AGAIN) {
      const Wait wait = waitFor(true, QDeadlineTimer(qMin<qint64>(deadline.remainingTime(), stalledMs)), stop);
      if (wait == Wait::Ready) continue;
      close();
      return wait == Wait::Stopped ? QStringLiteral("stopped") : QStringLiteral("timed out");
    }
    if (code != CURLE_OK) {
      close();
      return QString::fromUtf8(curl_easy_strerror(code));
    }
    offset += static_cast<qsizetype>(sent);
  }
  return {};
}

TlsConnection::Read TlsConnection::read(QByteArray& buffer, const QDeadlineTimer& deadline, const StopCheck& stop) {
  while (isOpen()) {
    char chunk[kChunkBytes];
    size_t count = 0;
    const CURLcode code = curl_easy_recv(m_transfer->easy(), chunk, sizeof chunk, &count);
    if (code == CURLE_AGAIN) {
      const Wait wait = waitFor(false, deadline, stop);
      if (wait == Wait::Ready) continue;
      close();
      return wait == Wait::Stopped ? Read::Stopped : Read::TimedOut;
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
  if (!pollSocket(m_socket, false, QDeadlineTimer(0))) return true;
  char chunk[kChunkBytes];
  size_t count = 0;
  const CURLcode code = curl_easy_recv(m_transfer->easy(), chunk, sizeof chunk, &count);
  if (code == CURLE_AGAIN) return true;  // TLS housekeeping, no data
  if (code != CURLE_OK || count == 0) {
    close();
    return false;
  }
  buffer.append(chunk, static_cast<qsizetype>(count));
  return true;
}

void TlsConnection::close() {
  m_transfer.reset();
  m_socket = CURL_SOCKET_BAD;
}

}  // namespace corvex
