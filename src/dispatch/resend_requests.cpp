#include "dispatch/resend_requests.h"

#include "base/error.h"

#include <QDir>
#include <QJsonObject>

namespace corvex {

namespace {

const QString kLockFileName = QStringLiteral("resend-requests.lock");

bool sameDocument(const ResendRequest& request, const QString& serie, qint32 numero) {
  return request.numero == numero && request.serie.compare(serie, Qt::CaseInsensitive) == 0;
}

QJsonObject toObject(const ResendRequest& request) {
  return QJsonObject{{QStringLiteral("serie"), request.serie},
                     {QStringLiteral("numero"), request.numero},
                     {QStringLiteral("to"), request.to},
                     {QStringLiteral("requested"), request.requestedAt},
                     {QStringLiteral("applied"), request.applied}};
}

ResendRequest fromLine(const JsonLinesFile& file, const JsonLinesFile::Line& line) {
  const QJsonValue serie = line.object.value(QStringLiteral("serie"));
  const std::optional<qint32> numero = wholeNumber(line.object.value(QStringLiteral("numero")));
  if (!serie.isString() || !numero)
    throw file.badLine(line.number, QStringLiteral("not a request with \"serie\" and \"numero\""));
  return {serie.toString(), *numero, line.object.value(QStringLiteral("to")).toString(),
          line.object.value(QStringLiteral("requested")).toString(),
          line.object.value(QStringLiteral("applied")).toBool()};
}

}  // namespace

const QString ResendRequests::kFileName = QStringLiteral("resend-requests.jsonl");

ResendRequests::Lock::Lock(const AppFolder& folder, int waitMs) : m_lock(folder.path(kLockFileName)) {
  // Only a dead holder makes it stale: a resend may wait long on its database.
  m_lock.setStaleLockTime(0);
  if (m_lock.tryLock(waitMs)) return;
  const QString path = QDir::toNativeSeparators(folder.path(kLockFileName));
  if (m_lock.error() != QLockFile::LockFailedError)
    throw Error(kPathFileAccessError, QStringLiteral("Cannot create the lock file %1").arg(path));
  qint64 pid = 0;
  QString host;
  QString application;
  m_lock.getLockInfo(&pid, &host, &application);
  throw Error(kPermissionDenied, QStringLiteral("%1 is held by process %2 on %3")
                                     .arg(path, QString::number(pid), host.isEmpty() ? QStringLiteral("?") : host));
}

ResendRequests::ResendRequests(FileSystem& files, AppFolder folder) : m_file(files, std::move(folder), kFileName) {}

void ResendRequests::load() {
  QList<ResendRequest> entries;
  for (const JsonLinesFile::Line& line : m_file.read()) entries << fromLine(m_file, line);
  m_entries = entries;
}

std::optional<ResendRequest> ResendRequests::find(const QString& serie, qint32 numero) const {
  for (const ResendRequest& request : m_entries) {
    if (sameDocument(request, serie, numero)) return request;
  }
  return std::nullopt;
}

void ResendRequests::put(const ResendRequest& request) {
  QList<ResendRequest> entries = m_entries;
  entries.removeIf([&](const ResendRequest& entry) { return sameDocument(entry, request.serie, request.numero); });
  entries << request;
  save(entries);
}

void ResendRequests::remove(const QString& serie, qint32 numero) {
  QList<ResendRequest> entries = m_entries;
  entries.removeIf([&](const ResendRequest& entry) { return sameDocument(entry, serie, numero); });
  save(entries);
}

// The entries change only once the file holds them.
void ResendRequests::save(QList<ResendRequest> entries) {
  QList<QJsonObject> objects;
  for (const ResendRequest& request : entries) objects << toObject(request);
  m_file.write(objects);
  m_entries = std::move(entries);
}

}  // namespace corvex
