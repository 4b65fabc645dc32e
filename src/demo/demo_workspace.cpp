#include "demo/demo_workspace.h"

#include "base/error.h"
#include "demo/demo_database.h"

#include <QDir>
#include <QFile>

namespace corvex {

namespace {

// The classic "Path/File access error".

const QString kDatabaseFile = QStringLiteral("corvex-demo.db");
const QStringList kFolders = {QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"),
                              QStringLiteral("outbox")};

Error accessError(const QString& what, const QString& path) {
  return Error(kPathFileAccessError, QStringLiteral("%1 \"%2\".").arg(what, QDir::toNativeSeparators(path)));
}

void prepareFolder(const QDir& dir) {
  if (!dir.exists() && !QDir().mkpath(dir.path()))
    throw accessError(QStringLiteral("Cannot create the folder"), dir.path());
  const bool empty = dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  if (!empty && !dir.exists(QString::fromLatin1(kDemoMarker)))
    throw accessError(
        QStringLiteral("Not a demo folder (it is not empty and has no %1 file):").arg(QString::fromLatin1(kDemoMarker)),
        dir.path());
}

void removePreviousDemo(QDir dir) {
  for (const QString& folder : kFolders) {
    if (dir.exists(folder) && !QDir(dir.filePath(folder)).removeRecursively())
      throw accessError(QStringLiteral("Cannot remove the folder"), dir.filePath(folder));
  }
  for (const QString& file : {kDatabaseFile, QStringLiteral("main.ini")}) {
    if (dir.exists(file) && !dir.remove(file))
      throw accessError(QStringLiteral("Cannot remove the file"), dir.filePath(file));
  }
}

void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
    throw accessError(QStringLiteral("Cannot write the file"), path);
}

}  // namespace

void createDemoWorkspace(const QString& dir) {
  const QDir root(QDir(dir).absolutePath());
  prepareFolder(root);
  writeFile(root.filePath(QString::fromLatin1(kDemoMarker)), QByteArrayLiteral("Made by corvex for its demo.\r\n"));
  removePreviousDemo(root);
  writeFile(root.filePath(QStringLiteral("main.ini")),
            QByteArrayLiteral("[DB]\r\ncString=sqlite:") + kDatabaseFile.toUtf8() + QByteArrayLiteral("\r\n"));
  buildDemoDatabase(root.filePath(kDatabaseFile));
  for (const QString& folder : kFolders) {
    if (!root.mkdir(folder)) throw accessError(QStringLiteral("Cannot create the folder"), root.filePath(folder));
  }
}

}  // namespace corvex
