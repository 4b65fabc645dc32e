#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "db/connection.h"
#include "dispatch/resend_requests.h"
#include "dispatch/unmarked_journal.h"
#include "log/daily_log.h"

#include <QList>
#include <QSet>
#include <QString>

#include <memory>

namespace corvex {

/// The run's side of `corvex resend` (see ResendRequests): the requests are
/// applied when a run starts, and a request's --to then redirects that
/// document's mails while the view lists it. Used from the run's own thread
/// only. The references must outlive the object.
class RequestedResends {
 public:
  /// How long a run waits for the lock that `corvex resend` may hold while
  /// it asks its database.
  static constexpr int kLockWaitMs = 30000;

  RequestedResends(FileSystem& files, AppFolder folder, const DailyLog& log, int lockWaitMs = kLockWaitMs);

  /// At the run's start, before the journal is marked, under the requests'
  /// lock. A new request makes its document pending again (ENVIADA=0,
  /// through `connection`, whatever happened since the request was made),
  /// takes it out of `journal` if it is there, since it was asked for again,
  /// and gets one log line naming it and its address. A request without --to
  /// is then done; one with it stays while the view lists its document, so
  /// the mail that the server accepts (and marks) is the last one it
  /// redirects. Raises what the lock, the request file, the journal or the
  /// database raise; a request is marked applied only after all of it, so
  /// one cut short is applied again by the next run.
  ///
  /// Returns the lock, for the caller to hold until it has read the view: a
  /// request made in between would set its document pending behind the
  /// run's back, and the document would be mailed by this run and again by
  /// the next. Returns nullptr, with one log line naming the holder, when
  /// another process holds the lock past the wait: the run then leaves
  /// everything for the next tick.
  [[nodiscard]] std::unique_ptr<ResendRequests::Lock> apply(Connection& connection, UnmarkedJournal& journal);

  /// Where the document's mail goes in this run: its request's --to, or
  /// `eMail`.
  QString recipient(const QString& serie, qint32 numero, const QString& eMail) const;

  /// Whether the document's next accepted mail answers a request applied
  /// while this program runs (its ledger line says so); mailed() ends that.
  bool isResend(const QString& serie, qint32 numero) const;
  void mailed(const QString& serie, qint32 numero);

 private:
  void update(Connection& connection, UnmarkedJournal& journal, const ResendRequest& request);

  AppFolder m_folder;
  const DailyLog& m_log;
  int m_lockWaitMs;
  ResendRequests m_requests;
  /// The requests with a --to in force in this run.
  QList<ResendRequest> m_redirects;
  /// The documents asked for again whose mail has not been accepted yet, by
  /// their key with the series in upper case.
  QSet<QString> m_unmailed;
};

}  // namespace corvex
