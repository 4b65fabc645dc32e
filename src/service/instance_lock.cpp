#include "service/instance_lock.h"

#include "base/error.h"

#include <QDir>
#include <QFileInfo>

namespace corvex {

InstanceLock::InstanceLock(const AppFolder& folder)
    : m_path(folder.path(QString::fromLatin1(kFileName))), m_lock(m_path) {
  // Age alone never makes a lock stale: a service holds it for months.
  m_lock.setStaleLockTime(0);
}

void InstanceLock::acquire() {
  if (m_lock.tryLock(0)) return;
  if (m_lock.error() != QLockFile::LockFailedError)
    throw Error(kPathFileAccessError,
                QStringLiteral("Cannot create the lock file %1").arg(QDir::toNativeSeparators(m_path)));
  qint64 pid = 0;
  QString host;
  QString application;
  m_lock.getLockInfo(&pid, &host, &application);
  const QString folder = QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
  throw Error(kPermissionDenied, QStringLiteral("Another Corvex is already working on %1 (process %2 on %3)")
                                     .arg(folder, QString::number(pid), host.isEmpty() ? QStringLiteral("?") : host));
}

}  // namespace corvex
