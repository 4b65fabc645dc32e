#include "mail/delivery_ledger.h"
#include "base/file_system.h"
#include "support/temp_app_dir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace corvex {
namespace {

using test::TempAppDir;

LedgerEntry entry(const QString& messageId) {
  LedgerEntry line;
  line.time = QDateTime(QDate(2026, 12, 9), QTime(14, 30, 5));
  line.serie = QStringLiteral("FA");
  line.numero = 1251;
  line.to = QStringLiteral("ana@example.com");
  line.messageId = messageId;
  line.attachments = {{QStringLiteral("x.json"), "ab"}, {QStringLiteral("x.pdf"), "cd"}};
  return line;
}

const QString kFile = DeliveryLedger::fileName(QDate(2026, 12, 9));

struct StandingCase {
  const char* name;
  /// What stands at the month's file before the append.
  std::function<void(const TempAppDir&)> before;
  bool appended;
  /// The entries read back afterwards, by Message-ID.
  QStringList read;
};

void PrintTo(const StandingCase& c, std::ostream* out) { *out << c.name; }

const StandingCase kCases[] = {
    {"Nothing", [](const TempAppDir&) {}, true, {"m2@x"}},
    // A crash cut the last line short: the next line stands on a line of its own.
    {"ALineCutShort",
     [](const TempAppDir& dir) {
       dir.writeFile(kFile,
                     "{\"kind\":\"mail\",\"time\":\"2026-12-09T10:00:00Z\",\"serie\":\"FA\",\"numero\":1,"
                     "\"messageId\":\"m1@x\"}\r\n{\"kind\":\"mail\",\"ti");
     },
     true,
     {"m1@x", "m2@x"}},
    {"ALineTooLongForAnEntry",
     [](const TempAppDir& dir) { dir.writeFile(kFile, QByteArray(200000, 'x') + "\r\n"); },
     true,
     {"m2@x"}},
    // Nothing is ever appended through a link, nor into a pipe.
    {"ALink",
     [](const TempAppDir& dir) {
       dir.writeFile(QStringLiteral("elsewhere"), "");
       QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(kFile));
     },
     false,
     {}},
    {"APipe",
     [](const TempAppDir& dir) { ::mkfifo(QFile::encodeName(dir.filePath(kFile)).constData(), 0600); },
     false,
     {}},
};

class DeliveryLedgerTest : public ::testing::TestWithParam<StandingCase> {};

TEST_P(DeliveryLedgerTest, AppendsWholeLinesAndReadsBackOnlyEntries) {
  const StandingCase& c = GetParam();
  const TempAppDir dir;
  c.before(dir);
  RealFileSystem files;
  DeliveryLedger ledger(files, dir.folder());
  bool appended = true;
  try {
    ledger.append(entry(QStringLiteral("m2@x")));
  } catch (const FileError&) {
    appended = false;
  }
  EXPECT_EQ(appended, c.appended);
  QStringList read;
  ledger.forEach(QDate(2026, 12, 1), QDate(2026, 12, 31), [&read](const LedgerEntry& line) { read << line.messageId; });
  EXPECT_EQ(read, c.read);
  if (QFile::exists(dir.filePath(QStringLiteral("elsewhere")))) {
    EXPECT_TRUE(dir.readFile(QStringLiteral("elsewhere")).isEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(Standing, DeliveryLedgerTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StandingCase>& info) {
                           return std::string(info.param.name);
                         });

// What the ledger writes it reads back the same: every member of every kind.
TEST(DeliveryLedgerTest, EntriesComeBackAsTheyWereWritten) {
  const TempAppDir dir;
  RealFileSystem files;
  DeliveryLedger ledger(files, dir.folder());
  LedgerEntry mail = entry(QStringLiteral("m1@x"));
  mail.idDocumento = QStringLiteral("ID-1");
  mail.tipoDte = QStringLiteral("01");
  mail.envelopeId = QStringLiteral("FA-1251/m1");
  mail.transport = QStringLiteral("smtp");
  mail.reply = QStringLiteral("250 2.0.0 Ok: queued as 4F2A");
  mail.resend = true;
  LedgerEntry bounce = entry(QStringLiteral("m1@x"));
  bounce.kind = LedgerEntry::Kind::Bounce;
  bounce.time = bounce.time.addMonths(1);
  bounce.attachments.clear();
  bounce.status = QStringLiteral("5.1.1");
  bounce.diagnostic = QStringLiteral("smtp; 550 5.1.1 \"quoted\" \\ \u00f1");
  bounce.reportId = QStringLiteral("r@x");
  bounce.recipient = QStringLiteral("ana@example.com");
  ledger.append(mail);
  ledger.append(bounce);
  QList<LedgerEntry> read;
  ledger.forEach(QDate(2026, 1, 1), QDate(2027, 12, 1), [&read](const LedgerEntry& line) { read << line; });
  ASSERT_EQ(read.size(), 2);
  EXPECT_EQ(ledgerObject(read[0]), ledgerObject(mail));
  EXPECT_EQ(ledgerObject(read[1]), ledgerObject(bounce));
  EXPECT_EQ(ledger.months(), (QList<QDate>{QDate(2026, 12, 1), QDate(2027, 1, 1)}));
  EXPECT_EQ(ledger.removeBefore(QDate(2027, 1, 15)), QStringList{kFile});
}

}  // namespace
}  // namespace corvex
