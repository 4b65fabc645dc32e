#include "ops/status_report.h"

#include "base/error.h"
#include "mail/delivery_ledger.h"
#include "mail/ledger_view.h"
#include "ops/beside_program.h"
#include "startup/ini_file.h"

namespace corvex {

namespace {

constexpr qint64 kFailingTooLongSeconds = 3600;
constexpr qint64 kBounceDays = 30;
constexpr int kLatePollIntervals = 3;
// A run under way may take this long over one mail before it is late: the
// longest one message may take (see kSmtpMessageTimeoutSeconds).
constexpr qint64 kLongestMailSeconds = 300;

QString at(const QDateTime& time) { return formatTimestamp(time.toLocalTime()); }

void countPending(const AppFolder& folder, StatusReport& report) {
  Connection database = commandConnection(folder);
  // Trapped here: a database that cannot be asked is part of the report.
  try {
    openCommandDatabase(database, folder);
    const auto rows = database.execute(QStringLiteral("SELECT COUNT(*) AS N FROM vwDTECorvex"));
    report.pending = qint64(rows->field(QStringLiteral("N")).toNumber());
  } catch (const Error& error) {
    report.databaseProblem = error.description();
  }
}

void readJournal(const AppFolder& folder, StatusReport& report) {
  RealFileSystem files;
  UnmarkedJournal journal(files, folder);
  // Trapped here: a journal that cannot be read is part of the report.
  try {
    journal.load();
    report.journal = journal.entries();
  } catch (const Error& error) {
    report.journalProblem = error.description();
  }
}

void readBounces(const AppFolder& folder, StatusReport& report) {
  report.mailbox =
      ReadIniValue(folder.path(QStringLiteral("main.ini")), QStringLiteral("Bounces"), QStringLiteral("Mailbox"), {})
          .trimmed();
  report.bounceState = readBounceState(folder);
  RealFileSystem files;
  const DeliveryLedger ledger(files, folder);
  const QDateTime since = report.now.addDays(-kBounceDays);
  const LedgerView view = LedgerView::read(ledger, since.date().addMonths(-1), report.now.date());
  for (const LedgerEntry& bounce : view.bouncesSince(since))
    report.bounces << StatusReport::Bounce{bounce, view.isSettled(bounce)};
}

// The newest sign of life: the last run's end, or the last document of a run
// under way; a status file of an earlier process counts from this one's start.
bool isLate(const StatusReport& report) {
  const RunStatus* run = report.run && report.run->pid == report.program->pid ? &*report.run : nullptr;
  const qint64 interval = run ? run->intervalSeconds : kPollIntervalMs / 1000;
  const qint64 allowed = kLatePollIntervals * interval + (run && run->running ? kLongestMailSeconds : 0);
  const QDateTime last = !run ? report.program->since : run->running ? run->lastBeat : run->lastEnded;
  return !last.isValid() || last.secsTo(report.now) > allowed;
}

}  // namespace

StatusReport gatherStatus(const AppFolder& folder, const Clock& clock) {
  StatusReport report;
  report.now = clock.now();
  countPending(folder, report);
  report.program = runningProgram(folder);
  report.run = readRunStatus(folder);
  report.wait = readSendingWait(folder);
  readJournal(folder, report);
  readBounces(folder, report);
  return report;
}

QStringList StatusReport::reasons() const {
  QStringList reasons;
  if (!databaseProblem.isEmpty()) reasons << QStringLiteral("the database cannot be read: ") + databaseProblem;
  if (wait && wait->kind == SendingWait::Kind::Login && wait->until > now)
    reasons << QStringLiteral("sending waits until %1 after a refused login: %2").arg(at(wait->until), wait->reason);
  for (const RepeatedFailures::Failure& failure : run ? run->failing : QList<RepeatedFailures::Failure>()) {
    if (failure.since.secsTo(now) > kFailingTooLongSeconds)
      reasons << QStringLiteral("%1 has failed since %2: %3").arg(failure.key, at(failure.since), failure.line);
  }
  if (!journalProblem.isEmpty()) reasons << QStringLiteral("the journal cannot be read: ") + journalProblem;
  if (!journal.isEmpty())
    reasons << QStringLiteral("%1 mailed documents could not be marked (%2)")
                   .arg(journal.size())
                   .arg(UnmarkedJournal::kFileName);
  if (program && isLate(*this))
    reasons << QStringLiteral("Corvex runs (process %1) but its last run is more than three poll intervals old")
                   .arg(program->pid);
  for (const Bounce& bounce : bounces) {
    if (bounce.settled) continue;
    const LedgerEntry& entry = bounce.entry;
    reasons << QStringLiteral(
                   "%1--%2 bounced (%3): correct the address and mail it again (corvex resend %4 %5 --to "
                   "ADDRESS), or dismiss the bounce (corvex dismiss-bounce %4 %5)")
                   .arg(entry.documentKey(), entry.to, entry.status, entry.serie)
                   .arg(entry.numero);
  }
  return reasons;
}

}  // namespace corvex
