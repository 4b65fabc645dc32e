#pragma once

#include "base/status_display.h"

#include <QImage>
#include <QLabel>
#include <QWidget>

namespace corvex {

/// The program's one window: a small fixed form with the company logo, its
/// caption as the status line. Closing it ends the program.
class fMain final : public QWidget, public StatusDisplay {
  Q_OBJECT

 public:
  static constexpr QSize kClientSize{239, 159};
  static constexpr QRect kLogoRect{48, 16, 129, 113};

  explicit fMain(const QImage& logo);

  void setCaption(const QString& caption) override;
  /// Centres the window on its screen and shows it.
  void showCentred();

  const QLabel& Logo() const { return m_logo; }

 private:
  QLabel m_logo;
};

}  // namespace corvex
