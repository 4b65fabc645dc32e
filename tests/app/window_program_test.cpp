#include "demo/demo_database.h"
#include "support/temp_app_dir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

// The real program on a real X server (Xvfb), driven the way a user and a
// window manager would: find the window, look at it, close it.
QJsonObject driveWindow(const QString& appDir) {
  QProcess xvfb;
  // The test's own offscreen platform must not reach the program.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  xvfb.setProcessEnvironment(environment);
  xvfb.start(QStringLiteral("xvfb-run"),
             {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
              QStringLiteral("/usr/bin/python3"), QStringLiteral(CORVEX_SOURCE_DIR "/tests/support/window_check.py"),
              QStringLiteral(CORVEX_BINARY), appDir});
  if (!xvfb.waitForFinished(90000)) {
    xvfb.kill();
    xvfb.waitForFinished(5000);
    return {};
  }
  return QJsonDocument::fromJson(xvfb.readAllStandardOutput()).object();
}

TEST(WindowProgramTest, ShowsTheFixedWindowAndEndsWhenClosed) {
  TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::SchemaOnly);
  const QJsonObject result = driveWindow(dir.path());
  ASSERT_TRUE(result.value(QStringLiteral("found")).toBool()) << QJsonDocument(result).toJson().toStdString();
  EXPECT_EQ(result.value(QStringLiteral("title")).toString(), QStringLiteral("Main"));
  EXPECT_EQ(result.value(QStringLiteral("width")).toInt(), 239);
  EXPECT_EQ(result.value(QStringLiteral("height")).toInt(), 159);
  EXPECT_EQ(result.value(QStringLiteral("exit_code")).toInt(-1), 0);
  EXPECT_EQ(result.value(QStringLiteral("stdout")).toString(), QString());
  EXPECT_TRUE(dir.logLines().isEmpty());
}

}  // namespace
}  // namespace corvex
