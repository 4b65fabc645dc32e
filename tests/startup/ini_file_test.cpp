#include "startup/ini_file.h"

#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

struct IniCase {
  const char* name;
  QByteArray content;
  QString expected;
};

QByteArray utf16(const char* mark, const QString& text, bool bigEndian) {
  QByteArray bytes(mark);
  for (const QChar c : text) {
    const char high = char(c.unicode() >> 8);
    const char low = char(c.unicode() & 0xFF);
    bytes += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1} : QByteArray{&low, 1} + QByteArray{&high, 1};
  }
  return bytes;
}

TEST(IniFileTest, ReadsLikeThePrivateProfileReader) {
  const IniCase cases[] = {
      {"plain", "[DB]\r\ncString=db01\r\n", "db01"},
      {"names ignore case", "[db]\ncstring=db01\n", "db01"},
      {"blanks around key and value", "  [ DB ]  \n  cString   =   db01\\VENTAS  \n", "db01\\VENTAS"},
      {"double quotes", "[DB]\ncString=\" db01 \"\n", " db01 "},
      {"single quotes", "[DB]\ncString='db01'\n", "db01"},
      {"unmatched quote kept", "[DB]\ncString=\"db01\n", "\"db01"},
      {"comment line", "[DB]\n;cString=old\ncString=new\n", "new"},
      {"first key wins", "[DB]\ncString=one\ncString=two\n", "one"},
      {"first section wins", "[DB]\nother=1\n[DB]\ncString=later\n", "default"},
      {"key in another section", "[Mail]\ncString=db01\n[DB]\nkey=1\n", "default"},
      {"no section", "cString=db01\n", "default"},
      {"empty value", "[DB]\ncString=\n", ""},
      {"value with equals", "[DB]\ncString=a=b\n", "a=b"},
      {"byte order mark", "\xEF\xBB\xBF[DB]\ncString=db01\n", "db01"},
      {"utf-8", "[DB]\ncString=servidor-peña\n", "servidor-peña"},
      // What Windows editors write when saving as "Unicode" or "Unicode big endian".
      {"utf-16le with mark", utf16("\xFF\xFE", QStringLiteral("[DB]\r\ncString=servidor-peña\r\n"), false),
       "servidor-peña"},
      {"utf-16be with mark", utf16("\xFE\xFF", QStringLiteral("[DB]\r\ncString=db01\r\n"), true), "db01"},
  };
  for (const IniCase& c : cases) {
    TempAppDir dir;
    dir.writeFile(QStringLiteral("main.ini"), c.content);
    EXPECT_EQ(ReadIniValue(dir.filePath(QStringLiteral("main.ini")), QStringLiteral("DB"), QStringLiteral("cString"),
                           QStringLiteral("default")),
              c.expected)
        << c.name;
  }
}

TEST(IniFileTest, MissingFileGivesTheDefault) {
  TempAppDir dir;
  EXPECT_EQ(ReadIniValue(dir.filePath(QStringLiteral("main.ini")), "DB", "cString", QString()), QString());
}

TEST(IniFileTest, OnlyTheConnectionStringIsCutTo254Characters) {
  TempAppDir dir;
  const QByteArray value(300, 'x');
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\ncString=" + value + "\n[OAuth]\nRefreshToken=" + value + "\n");
  const QString path = dir.filePath(QStringLiteral("main.ini"));
  EXPECT_EQ(ReadIniConnectionString(path), QString(254, QLatin1Char('x')));
  EXPECT_EQ(ReadIniValue(path, "OAuth", "RefreshToken", QString()), QString(300, QLatin1Char('x')));
}

}  // namespace
}  // namespace corvex
