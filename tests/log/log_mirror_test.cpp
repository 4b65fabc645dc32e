#include "log/log_mirror.h"

#include "log/daily_log.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

#include <QDir>

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;
using Type = EventEntry::Type;

class RecordingSink final : public EventSink {
 public:
  explicit RecordingSink(std::vector<EventEntry>& entries) : m_entries(entries) {}
  void report(const EventEntry& entry) override { m_entries.push_back(entry); }

 private:
  std::vector<EventEntry>& m_entries;
};

struct LineCase {
  const char* line;
  int number;  // 0: not mirrored
  Type type;
};

// The lines an administrator's monitoring must see, as the program writes
// them, and their neighbours that stay in the daily log alone.
const LineCase kLines[] = {
    {"Service=> Started", 1, Type::Information},
    {"Service=> Stopped, exit code 0", 2, Type::Information},
    {"Service=> Stopped, exit code 1", 3, Type::Warning},
    {"Service=> Stopped, exit code 2", 3, Type::Warning},
    {"Start-up=> error 53: main.ini: no such file", 10, Type::Error},
    {"sendDTEbyMail=> Invalid use of Null", 11, Type::Error},
    {"sendDTEbyMail=> CF-318: JSonDTE cannot be printed: no emisor", 11, Type::Error},
    {"sendDTEbyMail=> Run: 3 mailed, 1 failed, 0.8 seconds", 0, Type::Information},
    {"sendDTEbyMail=> Marked from the journal: CF-318", 0, Type::Information},
    {"sendDTEbyMail=> Removed at last: files/CF-318.pdf", 0, Type::Information},
    {"sendDTEbyMail=> Removed ledger-2024-01.jsonl: older than [Ledger] KeepMonths=24", 0, Type::Information},
    {"sendDTEbyMail=> Resend of CF-318, asked 2026-12-07 08:41:03: ana@example.com", 0, Type::Information},
    {"sendDTEbyMail=> Dispatch lock of the database obtained", 0, Type::Information},
    {"Corvex=> Sending stopped for 5 min, next login at 08:46:03 (refused login 1 in a row; ...): 535 5.7.8", 12,
     Type::Error},
    {"Corvex=> Sending stopped for 10 min, next try at 08:51:03, as the service asked: HTTP 429", 0, Type::Information},
    {"Corvex=> Sending stopped until the next run: 421 4.7.0 try later", 0, Type::Information},
    {"Corvex=> Email send failed: FA-1--ana@example.com: 550 5.1.1 no such user", 13, Type::Error},
    {"Corvex=> Email send failed: FA-1--ana@example.com: 550 (3 attempts since 2026-12-07 08:41:03)", 13, Type::Error},
    {"Corvex=> Email sent successfully! FA-1--ana@example.com", 0, Type::Information},
    {"Corvex=> Sending paused until the next run: MessagesPerMinute=10 used up", 0, Type::Information},
    {"Corvex=> Failed to add attachment 2: missing", 0, Type::Information},
    {"OpenConnection=> login failed", 0, Type::Information},
    {"Service=> Started twice", 0, Type::Information},
    {"x Service=> Started", 0, Type::Information},
};

#ifdef _WIN32
// The message of `id` in corvex.exe's message table with `line` inserted,
// as Event Viewer shows it; empty when the table lacks it.
QString eventViewerText(unsigned int id, const QString& line) {
  const std::wstring program = QStringLiteral(CORVEX_BINARY ".exe").toStdWString();
  const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return QStringLiteral("corvex.exe not loaded");
  const std::wstring insertion = line.toStdWString();
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion.c_str())};
  wchar_t text[1024] = {};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, 0,
                                        text, 1024, reinterpret_cast<va_list*>(arguments));
  ::FreeLibrary(module);
  return QString::fromWCharArray(text, int(length));
}
#endif

TEST(LogMirror, MirrorsTheLinesAnAdministratorMustSee) {
  for (const LineCase& row : kLines) {
    SCOPED_TRACE(row.line);
    const std::optional<EventEntry> entry = mirroredEvent(QString::fromUtf8(row.line));
    ASSERT_EQ(entry.has_value(), row.number != 0);
    if (!entry) continue;
    EXPECT_EQ(int(entry->id & 0xFFFF), row.number);
    EXPECT_EQ(entry->type, row.type);
    EXPECT_EQ(entry->text, QString::fromUtf8(row.line));
#ifdef _WIN32
    EXPECT_TRUE(eventViewerText(entry->id, entry->text).contains(entry->text))
        << eventViewerText(entry->id, entry->text).toStdString();
#endif
  }
}

class LogMirrorThrottle : public ::testing::Test {
 protected:
  TempAppDir dir;
  FixedClock clock{localTime(2026, 12, 7, 8, 0, 0)};
  std::vector<EventEntry> entries;

  // A fresh process each time: what it knows it read from the folder.
  void write(const QString& line) {
    LogMirror mirror(dir.folder(), std::make_unique<RecordingSink>(entries));
    DailyLog(dir.folder(), clock, &mirror).WriteLog(line);
  }
};

TEST_F(LogMirrorThrottle, AServiceRestartedEveryMinuteWritesOneStartAnHour) {
  for (int minute = 0; minute < 120; ++minute) {
    write(QStringLiteral("Service=> Started"));
    write(QStringLiteral("Service=> Stopped, exit code 1"));
    clock.advanceSeconds(60);
  }
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[2].text, QStringLiteral("Service=> Started"));
  EXPECT_EQ(dir.logLines().size(), 240);
}

TEST_F(LogMirrorThrottle, AnotherTextOrAClockSetBackIsNoRepeat) {
  write(QStringLiteral("sendDTEbyMail=> one"));
  write(QStringLiteral("sendDTEbyMail=> two"));
  write(QStringLiteral("sendDTEbyMail=> one"));
  write(QStringLiteral("Start-up=> one"));
  clock.advanceSeconds(-600);
  write(QStringLiteral("Start-up=> one"));
  EXPECT_EQ(entries.size(), 5u);
}

TEST_F(LogMirrorThrottle, AMemoryThatCannotBeKeptReportsEveryLine) {
  // A folder where the memory file should be: it can be neither read nor written.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("eventlog.json")));
  write(QStringLiteral("Service=> Started"));
  write(QStringLiteral("Service=> Started"));
  EXPECT_EQ(entries.size(), 2u);
}

}  // namespace
}  // namespace corvex
