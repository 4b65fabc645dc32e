#pragma once

#include "support/peer_process.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvex::test {

struct TdsPeerOptions {
  /// Column-type map entries, "COLUMN=TYPE" (see tds_server.py --help).
  QStringList types;
  int delayMs = 0;
  /// Non-empty: only replies to batches matching this regular expression
  /// are delayed.
  QString delayOn;
  /// >= 0: the batch after this many batches is not answered; its
  /// connection is dropped (once).
  int dropAfter = -1;
  /// Non-empty: the first batch matching this regular expression (after
  /// dropAfter batches, if given) is not answered; its connection is
  /// dropped (once).
  QString dropOn;
  /// Non-empty: the only login, password and catalog the server accepts
  /// (by default the program's fixed ones).
  QString user;
  QString password;
  QString catalog;
  /// Non-empty: from the first batch matching this regular expression on,
  /// nothing is answered at all (see tds_server.py --stall-on).
  QString stallOn;
  /// "PERMISSION:OBJECT" entries that HAS_PERMS_BY_NAME answers with 0.
  QStringList deny;
};

/// tests/support/tds_server.py serving a SQLite file over TDS 7.4 on
/// 127.0.0.1, started by the constructor and stopped by the destructor.
/// Raises std::runtime_error when it does not report ready within 20 s (see
/// PeerProcess).
class TdsPeer {
 public:
  TdsPeer(const QString& databaseFile, const TdsPeerOptions& options = {});
  ~TdsPeer();
  TdsPeer(const TdsPeer&) = delete;
  TdsPeer& operator=(const TdsPeer&) = delete;

  int port() const;
  /// main.ini's server value for this peer: "127.0.0.1,PORT".
  QString server() const;
  /// The peer's counters: connections, logins, failed_logins, batches,
  /// attentions, round_trips, open_sessions, unanswered.
  QJsonObject stats() const;
  /// Stops the server; its port is then closed.
  void stop();

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<PeerProcess> m_process;
};

}  // namespace corvex::test
