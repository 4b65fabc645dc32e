#include "log/event_sink.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvex {

#ifdef _WIN32

namespace {

// The source's name is the package's registry key below
// EventLog\Application; an unregistered source still logs, its entries
// shown without their message text.
class WindowsEventLog final : public EventSink {
 public:
  WindowsEventLog() : m_source(::RegisterEventSourceW(nullptr, L"Corvex")) {}
  ~WindowsEventLog() override {
    if (m_source) ::DeregisterEventSource(m_source);
  }
  WindowsEventLog(const WindowsEventLog&) = delete;
  WindowsEventLog& operator=(const WindowsEventLog&) = delete;

  void report(const EventEntry& entry) override {
    if (!m_source) return;
    const std::wstring text = entry.text.toStdWString();
    LPCWSTR strings[] = {text.c_str()};
    ::ReportEventW(m_source, eventType(entry.type), 0, entry.id, nullptr, 1, 0, strings, nullptr);
  }

 private:
  static WORD eventType(EventEntry::Type type) {
    switch (type) {
      case EventEntry::Type::Error:
        return EVENTLOG_ERROR_TYPE;
      case EventEntry::Type::Warning:
        return EVENTLOG_WARNING_TYPE;
      case EventEntry::Type::Information:
        break;
    }
    return EVENTLOG_INFORMATION_TYPE;
  }

  HANDLE m_source;
};

}  // namespace

std::unique_ptr<EventSink> systemEventLog() { return std::make_unique<WindowsEventLog>(); }

#else

std::unique_ptr<EventSink> systemEventLog() { return nullptr; }

#endif

}  // namespace corvex
