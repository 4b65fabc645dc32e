#include "ops/status_output.h"

#include <QJsonArray>

namespace corvex {

namespace {

const QString kIndent = QStringLiteral("             ");

QString at(const QDateTime& time) { return time.isValid() ? formatTimestamp(time.toLocalTime()) : QString(); }

QString head(const char* subject) { return QStringLiteral("%1 ").arg(QString::fromLatin1(subject), -12); }

QString line(const char* subject, const QString& text) { return head(subject) + text + u'\n'; }

QString runText(const StatusReport& report) {
  if (!report.run || !report.run->lastEnded.isValid()) return QStringLiteral("none yet");
  const RunStatus& run = *report.run;
  const QString how =
      run.lastNormal ? QStringLiteral("ended normally") : QStringLiteral("took the error path: ") + run.lastError;
  return QStringLiteral("%1, %2: %3 mailed, %4 failed, %5 still pending")
      .arg(at(run.lastEnded), how)
      .arg(run.mailed)
      .arg(run.failed)
      .arg(run.listed - run.mailed);
}

QString programText(const StatusReport& report) {
  if (!report.program) return QStringLiteral("not running");
  QString text = QStringLiteral("running (process %1)").arg(report.program->pid);
  if (report.run && report.run->running)
    text += QStringLiteral(", a run under way since ") + at(report.run->runStarted);
  return text;
}

QString waitText(const StatusReport& report) {
  if (!report.wait || report.wait->until <= report.now) return QStringLiteral("not waiting");
  const SendingWait& wait = *report.wait;
  return QStringLiteral("waits until %1 (%2 since %3): %4")
      .arg(at(wait.until),
           wait.kind == SendingWait::Kind::Login ? QStringLiteral("a refused login") : QStringLiteral("asked to wait"),
           at(wait.since), wait.reason);
}

QString listText(const QStringList& items) {
  return items.isEmpty() ? QStringLiteral("none\n") : items.join(QStringLiteral("\n") + kIndent) + u'\n';
}

QString bounceLine(const StatusReport::Bounce& bounce) {
  const LedgerEntry& entry = bounce.entry;
  return QStringLiteral("%1 %2--%3: %4 %5 (%6)")
      .arg(at(entry.time), entry.documentKey(), entry.to, entry.status, entry.diagnostic,
           bounce.settled ? QStringLiteral("settled") : QStringLiteral("not settled"));
}

QString mailboxText(const StatusReport& report) {
  if (report.mailbox.isEmpty()) return QStringLiteral("not read ([Bounces] Mailbox is not set)");
  const BounceState& state = report.bounceState;
  QString text = QStringLiteral("%1, last read %2")
                     .arg(report.mailbox, state.lastRead.isValid() ? at(state.lastRead) : QStringLiteral("never"));
  if (!state.failure.isEmpty())
    text += QStringLiteral("; unreadable since %1: %2").arg(at(state.failingSince), state.failure);
  return text;
}

QStringList failingLines(const StatusReport& report) {
  QStringList lines;
  for (const RepeatedFailures::Failure& failure : report.run ? report.run->failing : QList<RepeatedFailures::Failure>())
    lines << QStringLiteral("%1 since %2 (%3 attempts): %4")
                 .arg(failure.key, at(failure.since))
                 .arg(failure.attempts)
                 .arg(failure.line);
  return lines;
}

QStringList journalLines(const StatusReport& report) {
  QStringList lines;
  if (!report.journalProblem.isEmpty()) lines << QStringLiteral("cannot be read: ") + report.journalProblem;
  for (const UnmarkedDocument& document : report.journal)
    lines << QStringLiteral("%1-%2--%3 mailed %4, not marked")
                 .arg(document.serie)
                 .arg(document.numero)
                 .arg(document.eMail, document.mailedAt);
  return lines;
}

QString isoTime(const QDateTime& time) { return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString(); }

QJsonObject programJson(const StatusReport& report) {
  return QJsonObject{{QStringLiteral("running"), bool(report.program)},
                     {QStringLiteral("pid"), report.program ? QJsonValue(double(report.program->pid)) : QJsonValue()},
                     {QStringLiteral("runUnderWay"), report.run && report.run->running}};
}

QJsonObject runJson(const StatusReport& report) {
  if (!report.run || !report.run->lastEnded.isValid()) return {};
  const RunStatus& run = *report.run;
  return QJsonObject{{QStringLiteral("ended"), isoTime(run.lastEnded)},
                     {QStringLiteral("normal"), run.lastNormal},
                     {QStringLiteral("error"), run.lastError},
                     {QStringLiteral("mailed"), double(run.mailed)},
                     {QStringLiteral("failed"), double(run.failed)},
                     {QStringLiteral("stillPending"), double(run.listed - run.mailed)}};
}

QJsonObject waitJson(const StatusReport& report) {
  if (!report.wait || report.wait->until <= report.now) return QJsonObject{{QStringLiteral("waiting"), false}};
  const SendingWait& wait = *report.wait;
  return QJsonObject{{QStringLiteral("waiting"), true},
                     {QStringLiteral("kind"),
                      wait.kind == SendingWait::Kind::Login ? QStringLiteral("login") : QStringLiteral("throttle")},
                     {QStringLiteral("reason"), wait.reason},
                     {QStringLiteral("since"), isoTime(wait.since)},
                     {QStringLiteral("until"), isoTime(wait.until)}};
}

}  // namespace

QString statusText(const StatusReport& report) {
  QString text = line("pending", report.pending ? QStringLiteral("%1 documents").arg(*report.pending)
                                                : QStringLiteral("unknown: ") + report.databaseProblem);
  text += line("program", programText(report));
  text += line("last run", runText(report));
  text += line("sending", waitText(report));
  text += head("failing") + listText(failingLines(report));
  text += head("journal") + listText(journalLines(report));
  QStringList bounces;
  for (const StatusReport::Bounce& bounce : report.bounces) bounces << bounceLine(bounce);
  text += head("bounces") + listText(bounces);
  text += line("mailbox", mailboxText(report));
  const QStringList reasons = report.reasons();
  if (reasons.isEmpty()) return text + line("verdict", QStringLiteral("all is well"));
  const QString bullet = kIndent + QStringLiteral("- ");
  return text + line("verdict", QStringLiteral("a person is needed:")) + bullet + reasons.join(u'\n' + bullet) + u'\n';
}

QJsonObject statusJson(const StatusReport& report) {
  const QStringList reasons = report.reasons();
  QJsonArray bounces;
  for (const StatusReport::Bounce& bounce : report.bounces) {
    QJsonObject object = ledgerObject(bounce.entry);
    object.insert(QStringLiteral("settled"), bounce.settled);
    bounces << object;
  }
  return QJsonObject{{QStringLiteral("personNeeded"), !reasons.isEmpty()},
                     {QStringLiteral("reasons"), QJsonArray::fromStringList(reasons)},
                     {QStringLiteral("pending"), report.pending ? QJsonValue(double(*report.pending)) : QJsonValue()},
                     {QStringLiteral("databaseProblem"), report.databaseProblem},
                     {QStringLiteral("program"), programJson(report)},
                     {QStringLiteral("lastRun"), runJson(report)},
                     {QStringLiteral("sending"), waitJson(report)},
                     {QStringLiteral("failing"), QJsonArray::fromStringList(failingLines(report))},
                     {QStringLiteral("journal"), QJsonArray::fromStringList(journalLines(report))},
                     {QStringLiteral("bounces"), bounces},
                     {QStringLiteral("mailbox"), mailboxText(report)}};
}

}  // namespace corvex
