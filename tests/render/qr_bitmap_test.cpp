#include "render/qr_bitmap.h"

#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>

namespace corvex {
namespace {

using test::TempAppDir;

const QString kUrl = QStringLiteral(
    "https://admin.factura.gob.sv/consultaPublica?ambiente=01&codGen=3F2504E0-4F89-11D3-9A0C-0305E82C3301"
    "&fechaEmi=2023-10-04");

/// Every symbol zbarimg finds in the picture, one per line.
QString decode(const QString& path) {
  QProcess zbar;
  zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
  if (!zbar.waitForFinished(60000)) {
    zbar.kill();
    zbar.waitForFinished();
    return QStringLiteral("<zbarimg did not finish>");
  }
  return QString::fromUtf8(zbar.readAllStandardOutput());
}

bool isBlack(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(0, 0, 0); }

/// True when the band of `width` pixels along the top and left edges is all white.
bool whiteBorder(const QImage& image, int width) {
  for (int a = 0; a < image.width(); ++a) {
    for (int b = 0; b < width; ++b) {
      if (isBlack(image, a, b) || isBlack(image, b, a)) return false;
    }
  }
  return true;
}

class QrBitmapTest : public ::testing::Test {
 protected:
  TempAppDir dir{{QStringLiteral("qr")}};
  QString path = dir.filePath(QStringLiteral("qr/uno.bmp"));
  RealFileSystem files;
};

TEST_F(QrBitmapTest, ReaderDecodesTheExactPublicQueryUrl) {
  GenerateBMPW(files, path, kUrl, 3, 5, 0);
  EXPECT_EQ(decode(path), kUrl + QLatin1Char('\n'));
}

TEST_F(QrBitmapTest, SecondCallLeavesOnlyTheSecondSymbol) {
  const QString second = QString(kUrl).replace(QLatin1String("2023-10-04"), QLatin1String("2024-02-29"));
  GenerateBMPW(files, path, kUrl, 3, 5, 0);
  GenerateBMPW(files, path, second, 3, 5, 0);
  EXPECT_EQ(decode(path), second + QLatin1Char('\n'));
}

TEST_F(QrBitmapTest, PictureHasFiveByFiveModulesAndAFourModuleQuietZone) {
  GenerateBMPW(files, path, kUrl, 3, 5, 0);
  const QImage image(path, "BMP");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), image.height());
  EXPECT_EQ(image.width() % 5, 0);
  EXPECT_EQ((image.width() / 5 - 2 * 4 - 17) % 4, 0) << "not a QR symbol side plus two quiet zones";
  EXPECT_TRUE(whiteBorder(image, 20));
  EXPECT_TRUE(isBlack(image, 20, 20)) << "finder pattern does not start after the quiet zone";
}

TEST_F(QrBitmapTest, WiderBorderAndLowerLevelAreHonoured) {
  GenerateBMPW(files, path, kUrl, 3, 5, 0);
  const int highLevelSide = QImage(path).width();
  GenerateBMPW(files, path, kUrl, 0, 5, 6);
  const QImage image(path);
  EXPECT_TRUE(whiteBorder(image, 30));
  EXPECT_TRUE(isBlack(image, 30, 30));
  EXPECT_LT(image.width() - 2 * 10, highLevelSide - 2 * 20) << "level L should need a smaller symbol than H";
  EXPECT_EQ(decode(path), kUrl + QLatin1Char('\n'));
}

TEST_F(QrBitmapTest, FolderNameOutsideAsciiWorks) {
  const QString folder = dir.filePath(QStringLiteral("qr año"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString file = folder + QStringLiteral("/uno.bmp");
  GenerateBMPW(files, file, kUrl, 3, 5, 0);
  EXPECT_FALSE(QImage(file).isNull());
  EXPECT_EQ(decode(file), kUrl + QLatin1Char('\n'));
}

TEST_F(QrBitmapTest, MissingFolderRaisesTheSystemsReasonAndCreatesNothing) {
  const QString file = dir.filePath(QStringLiteral("missing/uno.bmp"));
  try {
    GenerateBMPW(files, file, kUrl, 3, 5, 0);
    ADD_FAILURE() << "wrote into a missing folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.number(), kPathNotFound);
    EXPECT_TRUE(error.description().endsWith(QStringLiteral("No such file or directory"))) << error.what();
  }
  EXPECT_FALSE(dir.exists(QStringLiteral("missing")));
}

TEST_F(QrBitmapTest, TextTooLongForAnySymbolRemovesTheOldPicture) {
  GenerateBMPW(files, path, kUrl, 3, 5, 0);
  ASSERT_TRUE(dir.exists(QStringLiteral("qr/uno.bmp")));
  GenerateBMPW(files, path, QString(5000, QLatin1Char('x')), 3, 5, 0);
  EXPECT_FALSE(dir.exists(QStringLiteral("qr/uno.bmp")));
}

}  // namespace
}  // namespace corvex
