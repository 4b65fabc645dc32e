#pragma once

#include "base/app_folder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace corvex::test {

/// A throw-away Application folder with the sub-folders a test asks for.
class TempAppDir {
 public:
  explicit TempAppDir(const QStringList& folders = {QStringLiteral("logs")});

  QString path() const { return m_dir.path(); }
  AppFolder folder() const { return AppFolder(m_dir.path()); }
  QString filePath(const QString& relative) const { return m_dir.filePath(relative); }

  void writeFile(const QString& relative, const QByteArray& content) const;
  QByteArray readFile(const QString& relative) const;
  bool exists(const QString& relative) const;

  /// Every line of every log file, in file-name order, without line ends.
  QStringList logLines() const;

  /// Creates a SQLite database file at `relative` and runs `sql` on it
  /// (several statements separated by ';' at line ends).
  void createSqlite(const QString& relative, const QString& sql) const;

  /// Runs `sql` (one statement) on an existing SQLite file and returns the
  /// first column of every row as text.
  QStringList querySqlite(const QString& relative, const QString& sql) const;

 private:
  QTemporaryDir m_dir;
};

}  // namespace corvex::test
