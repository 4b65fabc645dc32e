#include "startup/default_app_dir.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace corvex {

namespace {

QString recordedDataFolder() {
#ifdef Q_OS_WIN
  // The 64-bit view, where the package writes, whatever this build is.
  const QSettings recorded(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Corvex"), QSettings::Registry64Format);
  return recorded.value(QStringLiteral("DataFolder")).toString();
#else
  return {};
#endif
}

}  // namespace

QString defaultAppDir(const QString& programDir) {
  if (QFileInfo::exists(QDir(programDir).filePath(QStringLiteral("main.ini")))) return programDir;
  const QString recorded = recordedDataFolder();
  return recorded.isEmpty() || !QFileInfo(recorded).isDir() ? programDir : QDir::cleanPath(recorded);
}

}  // namespace corvex
