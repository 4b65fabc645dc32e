#pragma once

#include "base/file_system.h"

#include <QByteArray>
#include <QString>

namespace corvex {

/// Who may read a file that writeFileReplacing() writes.
enum class FileReaders {
  Anyone,     ///< as the system's defaults allow
  OwnerOnly,  ///< its owner alone, from its creation on (see FileSystem::createPrivate())
};

/// Every file a mail depends on (the JSON, the PDF, the QR picture) and the
/// journal of unmarked documents is written here, so that no failure of the
/// disk can go unseen.
///
/// Writes `bytes` to a new file beside `path` under a temporary name, checks
/// every write, forces it to disk and closes it (each step checked), then
/// renames it over `path` in one step. Whatever stood at `path` (an old file,
/// a link, a device) is replaced as an entry, never opened or followed. On
/// failure `path` is as it was, the temporary file is gone and FileError is
/// raised with the system's reason.
void writeFileReplacing(FileSystem& files, const QString& path, const QByteArray& bytes,
                        FileReaders readers = FileReaders::Anyone);

/// The whole content of the regular file at `path` (a link to one is
/// followed), refused with Error(kPathFileAccessError) when it holds more
/// than `maxBytes` or is no regular file (a device or pipe could be endless
/// or block forever), Error(kFileNotFound) when there is none.
QByteArray readBoundedFile(const QString& path, qint64 maxBytes);

}  // namespace corvex
