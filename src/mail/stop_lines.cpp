#include "mail/stop_lines.h"

#include "base/clock.h"

namespace corvex {

namespace {

QString duration(qint64 seconds) {
  if (seconds % 60 == 0 && seconds >= 60) return QStringLiteral("%1 min").arg(seconds / 60);
  return QStringLiteral("%1 s").arg(seconds);
}

QString localTime(const QDateTime& time) { return formatTimestamp(time.toLocalTime()); }

}  // namespace

QString waitLine(const SendingWait& wait, const HintContext& context) {
  const QString reply = withHint(wait.reason, context);
  if (wait.kind == SendingWait::Kind::Throttle)
    return QStringLiteral("Corvex=> Sending stopped for %1, next try at %2, as the service asked: %3")
        .arg(duration(wait.since.secsTo(wait.until)), localTime(wait.until), reply);
  return QStringLiteral(
             "Corvex=> Sending stopped for %1, next login at %2 (refused login %3 in a row; each refusal doubles the "
             "wait, up to an hour; a successful check or test-mail, or new login settings, end it): %4")
      .arg(duration(LoginWait::waitSeconds(wait.refusals)), localTime(wait.until))
      .arg(wait.refusals)
      .arg(reply);
}

QString waitDescription(const SendingWait& wait) {
  if (wait.kind == SendingWait::Kind::Throttle)
    return QStringLiteral("the running program sends nothing until %1, as the service asked: %2")
        .arg(localTime(wait.until), wait.reason);
  return QStringLiteral("the running program logs in no more until %1 (%2 refused logins in a row since %3): %4")
      .arg(localTime(wait.until))
      .arg(wait.refusals)
      .arg(localTime(wait.since), wait.reason);
}

}  // namespace corvex
