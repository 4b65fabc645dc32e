#include "app/main_window.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace corvex {
namespace {

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

}  // namespace
}  // namespace corvex
