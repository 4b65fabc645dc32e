#pragma once

#include "base/app_folder.h"
#include "base/error.h"
#include "base/file_system.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace corvex {

/// A small file of the Application folder holding one JSON object per line,
/// UTF-8, CR LF, such as the journal of unmarked documents. No file means no
/// line.
///
/// Every write replaces the whole file through writeFileReplacing() and
/// makes the new name durable before it returns, so a write that returned
/// survives a crash or a power cut and an interrupted one leaves the previous
/// file. The references must outlive the object.
class JsonLinesFile {
 public:
  JsonLinesFile(FileSystem& files, AppFolder folder, QString fileName);

  const QString& fileName() const { return m_fileName; }
  QString path() const { return m_folder.path(m_fileName); }

  struct Line {
    int number = 0;
    QJsonObject object;
  };

  /// Every non-empty line. Raises Error(kInvalidFileFormat) naming the file
  /// and the line for one that is no JSON object, and the errors of
  /// readBoundedFile().
  QList<Line> read() const;
  /// Writes `objects` as the whole file, or removes it when there are none;
  /// raises FileError, leaving the file as it was.
  void write(const QList<QJsonObject>& objects);

  /// The error for a line whose object lacks what it must hold:
  /// kInvalidFileFormat, "FILE line N: what".
  Error badLine(int lineNumber, const QString& what) const;

 private:
  FileSystem& m_files;
  AppFolder m_folder;
  QString m_fileName;
};

/// `value` as a 32-bit whole number, if it is one.
std::optional<qint32> wholeNumber(const QJsonValue& value);

}  // namespace corvex
