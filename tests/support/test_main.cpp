#include "service/process_exit.h"

#include <QApplication>

#include <gtest/gtest.h>

// Every test program gets a QApplication: the database drivers, images, fonts
// and the PDF writer all need one. The offscreen platform works without a display.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  // As the program ends: under Wine a plain return now and then hung in the
  // runtime's DLL detach after every test had passed.
  corvex::endProcess(RUN_ALL_TESTS());
}
