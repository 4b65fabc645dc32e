#pragma once

#include <QString>

#include <memory>

namespace corvex {

/// One entry of the system's event log: its message number in the message
/// table compiled into corvex.exe (severity bits included, as
/// FormatMessage wants it) and the log line it mirrors, the message's one
/// insertion string.
struct EventEntry {
  enum class Type { Information, Warning, Error };
  unsigned int id = 0;
  Type type = Type::Information;
  QString text;
};

/// Where mirrored entries go. Abstract so that a test can record them.
class EventSink {
 public:
  virtual ~EventSink() = default;
  /// Never fails: an entry the system refuses is lost, as a log line is.
  virtual void report(const EventEntry& entry) = 0;
};

/// The Application log under the event source "Corvex", which the package
/// registers with corvex.exe as its message file; null where the system has
/// no such log (Linux, where the journal already holds what systemd saw).
std::unique_ptr<EventSink> systemEventLog();

}  // namespace corvex
