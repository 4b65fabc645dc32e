#include "oauth/refresh_token_store.h"

#include "base/checked_file.h"
#include "base/error.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace corvex {

namespace {

// No real file is this long; a larger one is not ours.
constexpr qint64 kMaxFileBytes = 64 * 1024;
// Longer than a grant's request may take (its time-out), so a holder that
// lives is never taken for a dead one.
constexpr int kStaleLockMs = 180 * 1000;
constexpr auto kLongestLockWait = std::chrono::seconds(150);

const QString kConfigured = QStringLiteral("configured_sha256");
const QString kToken = QStringLiteral("refresh_token");
const QString kSince = QStringLiteral("since");

QString sha256(const QString& text) {
  return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

}  // namespace

RefreshTokenStore::RefreshTokenStore(QString path, QString configured)
    : m_path(std::move(path)), m_configured(std::move(configured)) {}

RefreshTokenStore::InUse RefreshTokenStore::current() const {
  // Trapped here: a file that cannot be read keeps nothing.
  try {
    const QJsonObject kept = QJsonDocument::fromJson(readBoundedFile(m_path, kMaxFileBytes)).object();
    const QString token = kept[kToken].toString();
    const QDateTime since = QDateTime::fromString(kept[kSince].toString(), Qt::ISODate);
    if (kept[kConfigured].toString() == sha256(m_configured) && !token.isEmpty() && since.isValid())
      return InUse{token, since};
  } catch (const Error&) {
  }
  return InUse{m_configured, QDateTime()};
}

void RefreshTokenStore::keep(const QString& token, const QDateTime& now) {
  const QJsonObject kept{
      {kConfigured, sha256(m_configured)}, {kToken, token}, {kSince, now.toUTC().toString(Qt::ISODate)}};
  RealFileSystem files;
  writeFileReplacing(files, m_path, QJsonDocument(kept).toJson(), FileReaders::OwnerOnly);
}

std::unique_ptr<QLockFile> RefreshTokenStore::lock(const StopCheck& stop) const {
  auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
  lock->setStaleLockTime(kStaleLockMs);
  const auto end = std::chrono::steady_clock::now() + kLongestLockWait;
  while (!lock->tryLock(static_cast<int>(kStopPollInterval.count()))) {
    if (stopAsked(stop) || std::chrono::steady_clock::now() > end) return nullptr;
  }
  return lock;
}

}  // namespace corvex
