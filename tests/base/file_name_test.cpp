#include "base/file_name.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(FileNameTest, PlainNamesPass) {
  for (const char* name : {"a", "ABC-123", "a.b", "...", "Peña ñ", "COM0", "LPT10", "CONSOLE", "nul_1", "xNUL.txt",
                           "AUX-2.json", "COM1x.json", ".NUL"})
    EXPECT_NO_THROW(requirePlainFileName(QString::fromUtf8(name), QStringLiteral("IdDocumento"))) << name;
}

// Windows opens the device for these, whatever follows the name.
TEST(FileNameTest, RefusesDeviceNamesWithAnyExtension) {
  for (const char* name : {"CON", "con.txt", "NUL.x", "CON.a", "COM1.json", "lpt9.tar.gz", "Aux.", "PRN ", "nul .pdf",
                           "COM\u00B9", "lpt\u00B3.bmp", "CONIN$", "conout$.json"}) {
    const auto error = test::raisedError([&] { requirePlainFileName(QString::fromUtf8(name), QStringLiteral("Id")); });
    ASSERT_TRUE(error) << "accepted " << name;
    EXPECT_TRUE(error->description().endsWith(QStringLiteral("it is a reserved device name."))) << error->what();
  }
}

TEST(FileNameTest, RefusesNamesThatAreNotPlainFileNames) {
  const QString refused[] = {
      "",         ".",      "..",  "../main", "a/b",  "..\\main.ini", "C:x",         "a<b",
      "a>b",      "a\"b",   "a|b", "a?b",     "a*b",  "a\nb",         "a\tb",        QString(QChar(0)),
      "x\u0085y", "x\x7fy", "CON", "nul",     "Com1", "lpt9",         "/etc/passwd",
  };
  for (const QString& name : refused) {
    const auto error = test::raisedError([&] { requirePlainFileName(name, QStringLiteral("IdDocumento")); });
    ASSERT_TRUE(error) << "accepted " << name.toStdString();
    EXPECT_EQ(error->number(), kBadFileName);
    EXPECT_TRUE(error->description().startsWith(QStringLiteral("IdDocumento \""))) << error->what();
    for (const QChar c : error->description()) EXPECT_NE(c.category(), QChar::Other_Control);
  }
}

}  // namespace
}  // namespace corvex
