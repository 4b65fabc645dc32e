#include "base/file_name.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(FileNameTest, PlainNamesPass) {
  for (const char* name : {"a", "ABC-123", "a.b", "...", "Peña ñ", "con.txt", "COM0", "LPT10"})
    EXPECT_NO_THROW(requirePlainFileName(QString::fromUtf8(name), QStringLiteral("IdDocumento"))) << name;
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
