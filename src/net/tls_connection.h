#pragma once

#include "base/stop_check.h"
#include "net/curl_transfer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <memory>

namespace corvex {

/// A connection that libcurl opened, secured and checked (a connect-only
/// transfer, CURLOPT_CONNECT_ONLY), over which the caller speaks its
/// protocol itself: this class moves the bytes, every wait bounded by the
/// caller's deadline and, where the caller hands one over, ended by a stop
/// request. Any failure to write or read closes it. One connection is used
/// by one thread at a time.
class TlsConnection {
 public:
  /// Takes over `transfer` after its connect-only run succeeded; not open
  /// when libcurl has no socket to hand over.
  explicit TlsConnection(std::unique_ptr<CurlTransfer> transfer);

  bool isOpen() const { return m_transfer != nullptr; }

  /// Writes all of `bytes`, giving up at `deadline`, once no byte went out
  /// for `stalledMs`, or once `stop` says so. Returns an empty text, or why
  /// it failed.
  QString writeAll(const QByteArray& bytes, const QDeadlineTimer& deadline, int stalledMs, const StopCheck& stop = {});

  enum class Read {
    Data,      ///< bytes were appended
    TimedOut,  ///< nothing came before the deadline; the connection is closed
    Closed,    ///< the peer closed the connection, or it failed
    Stopped,   ///< `stop` said so before anything came; the connection is closed
  };
  /// Appends what the peer sent next to `buffer`, waiting until `deadline`
  /// or until `stop` says so.
  Read read(QByteArray& buffer, const QDeadlineTimer& deadline, const StopCheck& stop = {});

  /// Whether the peer has not closed the connection meanwhile; looks without
  /// waiting, and appends whatever it finds to `buffer`.
  bool stillOpen(QByteArray& buffer);

  /// Drops the connection without a word.
  void close();

 private:
  enum class Wait { Ready, TimedOut, Stopped };
  Wait waitFor(bool forWriting, const QDeadlineTimer& deadline, const StopCheck& stop) const;

  std::unique_ptr<CurlTransfer> m_transfer;
  curl_socket_t m_socket = CURL_SOCKET_BAD;
};

}  // namespace corvex
