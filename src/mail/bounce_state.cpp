#include "mail/bounce_state.h"

#include "base/checked_file.h"
#include "base/error.h"

#include <QJsonDocument>

namespace corvex {

namespace {

// No real state file is this long; a larger one is not ours.
constexpr qint64 kMaxFileBytes = 1024 * 1024;

QString timeText(const QDateTime& time) { return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString(); }

QDateTime timeOf(const QJsonValue& value) { return QDateTime::fromString(value.toString(), Qt::ISODate).toLocalTime(); }

QString path(const AppFolder& folder) { return folder.path(QString::fromLatin1(BounceState::kFileName)); }

}  // namespace

BounceState readBounceState(const AppFolder& folder) {
  QJsonObject object;
  // Trapped here: a state that cannot be read is no state.
  try {
    object = QJsonDocument::fromJson(readBoundedFile(path(folder), kMaxFileBytes)).object();
  } catch (const Error&) {
    return {};
  }
  return BounceState{object[QStringLiteral("mailbox")].toString(),
                     object[QStringLiteral("cursor")].toObject(),
                     timeOf(object[QStringLiteral("lastRead")]),
                     timeOf(object[QStringLiteral("lastSuccess")]),
                     object[QStringLiteral("failure")].toString(),
                     timeOf(object[QStringLiteral("failingSince")]),
                     QDate::fromString(object[QStringLiteral("lastDigest")].toString(), Qt::ISODate),
                     timeOf(object[QStringLiteral("digestedThrough")])};
}

void writeBounceState(FileSystem& files, const AppFolder& folder, const BounceState& state) {
  const QJsonObject object{{QStringLiteral("mailbox"), state.mailbox},
                           {QStringLiteral("cursor"), state.cursor},
                           {QStringLiteral("lastRead"), timeText(state.lastRead)},
                           {QStringLiteral("lastSuccess"), timeText(state.lastSuccess)},
                           {QStringLiteral("failure"), state.failure},
                           {QStringLiteral("failingSince"), timeText(state.failingSince)},
                           {QStringLiteral("lastDigest"), state.lastDigest.toString(Qt::ISODate)},
                           {QStringLiteral("digestedThrough"), timeText(state.digestedThrough)}};
  writeFileReplacing(files, path(folder), QJsonDocument(object).toJson());
}

}  // namespace corvex
