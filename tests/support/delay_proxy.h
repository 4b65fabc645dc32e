#pragma once

#include "support/peer_process.h"

#include <QList>
#include <QTemporaryDir>

namespace corvex::test {

/// What the proxy counted so far.
struct ProxyStats {
  int connections = 0;
  int roundTrips = 0;                 ///< times the server answered after the client spoke
  QList<int> sessionRoundTrips = {};  ///< the round trips of each connection, in the order they opened
};

/// A TCP proxy on 127.0.0.1 (tests/support/delay_proxy.py) in front of
/// `targetPort` that holds every chunk `delayMs` before passing it on, in
/// each direction, and counts connections and round trips.
class DelayProxy {
 public:
  DelayProxy(int targetPort, int delayMs);

  int port() const { return m_process.port(); }
  ProxyStats stats() const;

 private:
  QTemporaryDir m_dir;
  PeerProcess m_process;
};

}  // namespace corvex::test
