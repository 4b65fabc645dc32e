#include "startup/logo.h"

#include "base/error.h"
#include "support/expected_error.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;

QImage solid(QSize size, QColor colour) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

class LogoTest : public ::testing::Test {
 protected:
  // Each call builds a database file of its own.
  QImage load(const QString& sql) {
    const QString file = QStringLiteral("v%1.db").arg(++m_files);
    dir.createSqlite(file, QStringLiteral("CREATE TABLE SYSDATA (LOGO BLOB);\n") + sql);
    Database database(QStringLiteral("Data Source=sqlite:") + file, DbEnvironment{dir.folder(), QString()}, log);
    return loadLogo(database);
  }
  TempAppDir dir;
  FixedClock clock{localTime(2026, 12, 7)};
  DailyLog log{dir.folder(), clock};

 private:
  int m_files = 0;
};

QByteArray encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

TEST_F(LogoTest, ReadsTheFirstRowsPicture) {
  // Qt writes no GIF, so that one is a ready-made 1 x 1 file.
  const std::pair<QByteArray, QSize> cases[] = {
      {encoded(solid(QSize(20, 10), Qt::green), "PNG"), QSize(20, 10)},
      {encoded(solid(QSize(21, 11), Qt::green), "JPEG"), QSize(21, 11)},
      {encoded(solid(QSize(22, 12), Qt::green), "BMP"), QSize(22, 12)},
      {QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b"),
       QSize(1, 1)},
  };
  for (const auto& [bytes, size] : cases) {
    const QImage logo = load(QStringLiteral("INSERT INTO SYSDATA VALUES (X'%1');\nINSERT INTO SYSDATA VALUES (NULL);\n")
                                 .arg(QString::fromLatin1(bytes.toHex())));
    EXPECT_EQ(logo.size(), size);
  }
}

TEST_F(LogoTest, NoRowOrNullGivesNoPictureAndNoError) {
  EXPECT_TRUE(load(QString()).isNull());
  EXPECT_TRUE(load(QStringLiteral("INSERT INTO SYSDATA VALUES (NULL);\n")).isNull());
}

TEST_F(LogoTest, BytesThatAreNoPictureAreAnError) {
  EXPECT_EQ(test::errorNumberOf([&] { load(QStringLiteral("INSERT INTO SYSDATA VALUES (X'00010203');\n")); }),
            kInvalidPicture);
}

}  // namespace
}  // namespace corvex
