#include "app/main_window.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

// Resources compiled into a static library must be registered by hand.
static void registerIcons() { Q_INIT_RESOURCE(icons); }

namespace corvex {

namespace {

QIcon corvexIcon() {
  registerIcons();
  QIcon icon;
  for (int size : {16, 24, 32, 48}) icon.addFile(QStringLiteral(":/icons/corvex-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

fMain::fMain(const QImage& logo) : m_logo(this) {
  // A fixed single border: nothing to maximise or resize.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Main"));
  setWindowIcon(corvexIcon());
  setFixedSize(kClientSize);
  // The picture keeps its own size, anchored at the box's top-left corner; a
  // larger one is clipped by the box, never scaled.
  m_logo.setGeometry(kLogoRect);
  m_logo.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_logo.setScaledContents(false);
  m_logo.setFrameShape(QFrame::NoFrame);
  if (!logo.isNull()) m_logo.setPixmap(QPixmap::fromImage(logo));
}

void fMain::setCaption(const QString& caption) { setWindowTitle(caption); }

void fMain::showCentred() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
  show();
}

}  // namespace corvex
