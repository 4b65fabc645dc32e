#pragma once

#include "net/curl_handle.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

namespace corvex {

/// A connection that libcurl opened, secured and checked (a connect-only
/// transfer, CURLOPT_CONNECT_ONLY), over which the caller speaks its
/// protocol itself: this class moves the bytes, every wait bounded by the
/// caller's deadline. Any failure to write or read closes it. One connection
/// is used by one thread at a time.
class TlsConnection {
 public:
  /// Takes over `curl` after its connect-only transfer succeeded; not open
  /// when libcurl has no socket to hand over.
  explicit TlsConnection(CurlEasy curl);

  bool isOpen() const { return m_curl != nullptr; }

  /// Writes all of `bytes`, giving up at `deadline` or once no byte went out
  /// for `stalledMs`. Returns an empty text, or why it failed.
  QString writeAll(const QByteArray& bytes, const QDeadlineTimer& deadline, int stalledMs);

  enum class Read {
    Data,      ///< bytes were appended
    TimedOut,  ///< nothing came before the deadline; the connection is closed
    Closed,    ///< the peer closed the connection, or it failed
  };
  /// Appends what the peer sent next to `buffer`, waiting until `deadline`.
  Read read(QByteArray& buffer, const QDeadlineTimer& deadline);

  /// Whether the peer has not closed the connection meanwhile; looks without
  /// waiting, and appends whatever it finds to `buffer`.
  bool stillOpen(QByteArray& buffer);

  /// Drops the connection without a word.
  void close();

 private:
  CurlEasy m_curl;
  curl_socket_t m_socket = CURL_SOCKET_BAD;
};

}  // namespace corvex
