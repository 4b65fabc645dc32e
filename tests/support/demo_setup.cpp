#include "support/demo_setup.h"

#include "demo/demo_database.h"

namespace corvex::test {

QStringList demoRunFolders() {
  return {QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")};
}

void writeDemoSetUp(const TempAppDir& dir, const QString& sql) {
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::Documents, sql);
}

}  // namespace corvex::test
