#include "app/main_window.h"
#include "app/logo.h"

#include "base/error.h"
#include "support/expected_error.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <QBuffer>
#include <QPainter>

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

TEST(MainWindowTest, FixedSmallFormWithCaptionAndIcon) {
  fMain window{QImage()};
  window.showCentred();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Main"));
  EXPECT_EQ(window.size(), QSize(239, 159));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.windowIcon().availableSizes().size(), 4);
  EXPECT_EQ(window.Logo().geometry(), QRect(48, 16, 129, 113));
  EXPECT_TRUE(window.Logo().pixmap().isNull());
  window.setCaption(QStringLiteral("Error"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Error"));
}

TEST(MainWindowTest, LargeLogoIsClippedAtItsNaturalSizeNotScaled) {
  // Red top-left quarter: if the picture were scaled into the box, red would
  // cover the whole box's top-left quarter only; unscaled, the box is all red.
  QImage logo = solid(QSize(400, 300), Qt::blue);
  QPainter(&logo).fillRect(0, 0, 200, 150, Qt::red);
  fMain window(logo);
  window.showCentred();
  EXPECT_EQ(window.Logo().pixmap().size(), QSize(400, 300));
  const QImage shot = window.grab().toImage();
  EXPECT_EQ(shot.pixelColor(48, 16), QColor(Qt::red));
  EXPECT_EQ(shot.pixelColor(48 + 128, 16 + 112), QColor(Qt::red));
  EXPECT_NE(shot.pixelColor(48 + 129, 16 + 112), QColor(Qt::red));
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
