#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "db/connection.h"
#include "dispatch/resend_requests.h"
#include "dispatch/unmarked_journal.h"
#include "log/daily_log.h"

#include <QList>
#include <QString>

namespace corvex {

/// The run's side of `corvex resend` (see ResendRequests): the requests are
/// applied when a run starts, and a request's --to then redirects that
/// document's next accepted mail. Used from the run's own thread only. The
/// references must outlive the object.
class RequestedResends {
 public:
  /// How long a run waits for the lock that `corvex resend` may hold while
  /// it asks its database.
  static constexpr int kLockWaitMs = 30000;

  RequestedResends(FileSystem& files, AppFolder folder, const DailyLog& log);

  /// Applies every new request, before the journal is marked: the document
  /// becomes pending again (ENVIADA=0, through `connection`, whatever
  /// happened since the request), leaves `journal` if it is there, since it
  /// was asked for again, and gets one log line naming it and its address.
  /// A request without --to is then done; one with it stays, applied, until
  /// its mail is accepted. Raises what the lock, the request file, the
  /// journal or the database raise; a request is marked applied only after
  /// all of it, so one cut short is applied again by the next run.
  void apply(Connection& connection, UnmarkedJournal& journal);

  /// Where the document's next mail goes: its request's --to, or `eMail`.
  QString recipient(const QString& serie, qint32 numero, const QString& eMail) const;
  /// The document's mail was accepted: a --to that waited for it is done
  /// with. Raises what the lock and the request file raise.
  void mailed(const QString& serie, qint32 numero);

 private:
  void applyOne(Connection& connection, UnmarkedJournal& journal, const ResendRequest& request);

  AppFolder m_folder;
  const DailyLog& m_log;
  ResendRequests m_requests;
  /// The applied requests with a --to, as the last apply() or mailed() left them.
  QList<ResendRequest> m_redirects;
};

}  // namespace corvex
