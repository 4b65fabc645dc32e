#include "dispatch/document_files.h"

#include "base/error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(DocumentFilesTest, PlainNamesGiveTheTwoScratchFiles) {
  const DocumentFiles files =
      documentFiles(AppFolder(QStringLiteral("/srv/corvex/")), QStringLiteral("6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B"));
  EXPECT_EQ(files.json, QStringLiteral("/srv/corvex/files/6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B.json"));
  EXPECT_EQ(files.pdf, QStringLiteral("/srv/corvex/files/6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B.pdf"));
  for (const char* name : {"a", "ABC-123", "a.b", "...", "Peña ñ", "con.txt", "COM0", "LPT10"})
    EXPECT_NO_THROW(checkDocumentFileName(QString::fromUtf8(name))) << name;
}

TEST(DocumentFilesTest, RefusesNamesThatAreNotPlainFileNames) {
  const QString refused[] = {
      "",         ".",      "..",  "../main", "a/b",  "..\\main.ini", "C:x",         "a<b",
      "a>b",      "a\"b",   "a|b", "a?b",     "a*b",  "a\nb",         "a\tb",        QString(QChar(0)),
      "x\u0085y", "x\x7fy", "CON", "nul",     "Com1", "lpt9",         "/etc/passwd",
  };
  for (const QString& name : refused) {
    try {
      documentFiles(AppFolder(QStringLiteral("/srv/corvex")), name);
      ADD_FAILURE() << "accepted " << name.toStdString();
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kTypeMismatch);
      EXPECT_TRUE(error.description().startsWith(QStringLiteral("IdDocumento \""))) << error.what();
      for (const QChar c : error.description()) EXPECT_NE(c.category(), QChar::Other_Control);
    }
  }
}

}  // namespace
}  // namespace corvex
