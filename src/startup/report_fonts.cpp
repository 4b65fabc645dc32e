#include "startup/report_fonts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace corvex {

namespace {

// The layouts print in Arial, Arial Narrow and Arial Black.
const QStringList kSystemFontFiles = {QStringLiteral("arial*.ttf"), QStringLiteral("ariblk.ttf")};

const QString kProgramFontFolder = QStringLiteral("fonts");

#ifdef Q_OS_WIN
// C:\Windows\Fonts wherever Windows is installed.
QString systemFontFolder() {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return QDir(QString::fromWCharArray(windows, int(length))).filePath(QStringLiteral("Fonts"));
}

// The program's folder before QCoreApplication can tell it.
QString programFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return QFileInfo(QString::fromWCharArray(path, int(length))).absolutePath();
}
#endif

void addFontFiles(const QString& folder, const QStringList& patterns) {
  if (folder.isEmpty()) return;
  const QDir dir(folder);
  for (const QString& file : dir.entryList(patterns, QDir::Files))
    QFontDatabase::addApplicationFont(dir.filePath(file));
}

}  // namespace

void chooseFontFolder() {
#ifdef Q_OS_WIN
  if (!qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) return;
  const QString own = QDir(programFolder()).filePath(kProgramFontFolder);
  const QString folder = QFileInfo(own).isDir() ? own : systemFontFolder();
  if (!folder.isEmpty()) qputenv("QT_QPA_FONTDIR", QDir::toNativeSeparators(folder).toLocal8Bit());
#endif
}

void addReportFonts() {
#ifdef Q_OS_WIN
  addFontFiles(systemFontFolder(), kSystemFontFiles);
#endif
  addFontFiles(QDir(QCoreApplication::applicationDirPath()).filePath(kProgramFontFolder), {QStringLiteral("*.ttf")});
}

}  // namespace corvex
