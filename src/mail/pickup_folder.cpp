#include "mail/pickup_folder.h"

#include <QDir>
#include <QSaveFile>

namespace corvex {

SendResult writeToPickupFolder(const QString& folder, const QString& name, const QByteArray& message) {
  if (!QDir(folder).exists())
    return SendResult::temporary(0, QStringLiteral("pickup folder does not exist: ") + folder);
  // QSaveFile writes to a temporary file beside the target and renames it on commit.
  const QString path = QDir(folder).filePath(name + QStringLiteral(".eml"));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(message) != message.size() || !file.commit())
    return SendResult::temporary(
        0, QStringLiteral("cannot write to pickup folder ") + folder + QStringLiteral(": ") + file.errorString());
  return SendResult::sent(0, QStringLiteral("written to ") + QDir::toNativeSeparators(path));
}

}  // namespace corvex
