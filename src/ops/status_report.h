#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "dispatch/run_status.h"
#include "dispatch/unmarked_journal.h"
#include "mail/bounce_state.h"
#include "mail/ledger_entry.h"
#include "mail/login_wait.h"
#include "ops/running_program.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvex {

/// Everything `corvex status` tells, gathered from the files the running
/// program keeps and from the database, without a lock.
struct StatusReport {
  /// A bounce of the last 30 days, and whether a resend or a dismissal has
  /// settled it.
  struct Bounce {
    LedgerEntry entry;
    bool settled = false;
  };

  QDateTime now;
  /// Documents the view lists; none when the database could not be asked.
  std::optional<qint64> pending;
  QString databaseProblem;
  /// The Corvex working on the folder (see runningProgram()).
  std::optional<RunningProgram> program;
  std::optional<RunStatus> run;
  std::optional<SendingWait> wait;
  QList<UnmarkedDocument> journal;
  QString journalProblem;
  QList<Bounce> bounces;
  /// main.ini's [Bounces] Mailbox, and where reading it stands.
  QString mailbox;
  BounceState bounceState;

  /// Why a person is needed, one sentence each; empty when all is well.
  QStringList reasons() const;
};

/// Gathers the report for `folder` at `clock`'s time.
StatusReport gatherStatus(const AppFolder& folder, const Clock& clock);

}  // namespace corvex
