#pragma once

#include "base/app_folder.h"
#include "log/event_sink.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace corvex {

/// The event that mirrors a line of the daily log, or none: the lines an
/// administrator's monitoring must see. Service start and stop
/// ("Service=> Started", "Service=> Stopped, exit code N"; a non-zero code a
/// warning), a start-up that failed ("Start-up=> "), a run's failure
/// ("sendDTEbyMail=> ", but not its summary or its notes of work done),
/// sending stopped by a refused login ("Corvex=> Sending stopped for ...,
/// next login at ...") and a document whose mail failed
/// ("Corvex=> Email send failed: ", which the mailer writes once and then
/// hourly while the document keeps failing) are errors unless said
/// otherwise. Every other line stays in the daily log alone.
std::optional<EventEntry> mirroredEvent(const QString& line);

/// Mirrors the daily log's lines into the system's event log, each entry no
/// more often than the log says it, and an entry that repeats the last one
/// of its kind word for word at most once an hour, across processes too: a
/// service that fails and is restarted every minute writes one start entry
/// an hour, not 1,440 a day. What was last reported of each kind is kept in
/// `eventlog.json` in the Application folder; when it cannot be kept,
/// entries are reported unthrottled rather than lost.
class LogMirror {
 public:
  LogMirror(AppFolder folder, std::unique_ptr<EventSink> sink);

  /// `line` as given to WriteLog, `now` its stamp.
  void mirror(const QString& line, const QDateTime& now);

 private:
  AppFolder m_folder;
  std::unique_ptr<EventSink> m_sink;
};

}  // namespace corvex
