#include "base/checked_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

namespace corvex {

namespace {

// Random, so that a temporary file a killed process left behind never blocks
// the next write, and two writers never share one.
QString temporaryPathFor(const QString& path) {
  return QStringLiteral("%1.%2.tmp").arg(path).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

void writeNewFile(FileSystem& files, const QString& path, const QByteArray& bytes, FileReaders readers) {
  std::unique_ptr<WritableFile> file =
      readers == FileReaders::OwnerOnly ? files.createPrivate(path) : files.createNew(path);
  file->append(bytes);
  file->sync();
  file->close();
}

Error readError(const QString& path, const QString& reason) {
  return Error(kPathFileAccessError, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

// The file up to one byte past `maxBytes`, which tells a file that grew
// since it was measured. The buffers follow the file, from its measured size
// doubling, never the bound: a buffer is allocated whole for each read, and
// Wine's ReadFile touches every page of it (25 MB for a PDF of 30 kB).
QByteArray readUpTo(QFile& file, qint64 measured, qint64 maxBytes) {
  QByteArray content;
  qint64 wanted = std::min(measured, maxBytes) + 1;
  for (;;) {
    const QByteArray more = file.read(wanted);
    if (file.error() != QFileDevice::NoError) throw readError(file.fileName(), file.errorString());
    content += more;
    // A short read is the file's end.
    if (more.size() < wanted || content.size() > maxBytes) return content;
    wanted = std::min(qint64(content.size()), maxBytes + 1 - content.size());
  }
}

}  // namespace

void writeFileReplacing(FileSystem& files, const QString& path, const QByteArray& bytes, FileReaders readers) {
  const QString temporary = temporaryPathFor(path);
  try {
    writeNewFile(files, temporary, bytes, readers);
    files.rename(temporary, path);
  } catch (const FileError&) {
    // Trapped only to tidy up: the original failure is the one that counts.
    try {
      files.remove(temporary);
    } catch (const FileError&) {
    }
    throw;
  }
}

QByteArray readBoundedFile(const QString& path, qint64 maxBytes) {
  const QFileInfo info(path);
  if (!info.exists())
    throw Error(kFileNotFound, QStringLiteral("File not found: %1").arg(QDir::toNativeSeparators(path)));
  if (!info.isFile()) throw readError(path, QStringLiteral("not a regular file"));
  if (info.size() > maxBytes) throw readError(path, QStringLiteral("larger than %1 bytes").arg(maxBytes));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw readError(path, file.errorString());
  const QByteArray content = readUpTo(file, info.size(), maxBytes);
  if (content.size() > maxBytes) throw readError(path, QStringLiteral("larger than %1 bytes").arg(maxBytes));
  return content;
}

}  // namespace corvex
