#include "mail/login_wait.h"

#include "base/checked_file.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <algorithm>

namespace corvex {

namespace {

// No real state file is this long; a larger one is not ours.
constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kKeyBytes = 32;

const QString kLogin = QStringLiteral("login");
const QString kThrottle = QStringLiteral("throttle");

QByteArray fingerprint(const QByteArray& key, const QByteArray& settings) {
  return QMessageAuthenticationCode::hash(settings, key, QCryptographicHash::Sha256).toHex();
}

QString timeText(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate); }

QDateTime timeOf(const QJsonValue& value) { return QDateTime::fromString(value.toString(), Qt::ISODate); }

QByteArray newKey() {
  QByteArray key(kKeyBytes, '\0');
  QRandomGenerator::system()->generate(key.begin(), key.end());
  return key;
}

}  // namespace

struct LoginWait::Stored {
  SendingWait wait;
  QByteArray key;
  QByteArray fingerprint;
};

namespace {

std::optional<QJsonObject> readObject(const QString& path) {
  // Trapped here: a file that cannot be read holds no wait.
  try {
    const QJsonDocument document = QJsonDocument::fromJson(readBoundedFile(path, kMaxFileBytes));
    if (!document.isObject()) return std::nullopt;
    return document.object();
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::optional<SendingWait> waitOf(const QJsonObject& object) {
  const QString kind = object[QStringLiteral("kind")].toString();
  SendingWait wait{kind == kThrottle ? SendingWait::Kind::Throttle : SendingWait::Kind::Login,
                   object[QStringLiteral("reason")].toString(), timeOf(object[QStringLiteral("since")]),
                   timeOf(object[QStringLiteral("until")]), object[QStringLiteral("refusals")].toInt()};
  if ((kind != kLogin && kind != kThrottle) || !wait.since.isValid() || !wait.until.isValid()) return std::nullopt;
  return wait;
}

}  // namespace

LoginWait::LoginWait(const AppFolder& folder, FileSystem& files)
    : m_path(folder.path(QString::fromLatin1(kFileName))), m_files(files) {}

std::optional<LoginWait::Stored> LoginWait::load() const {
  const std::optional<QJsonObject> object = readObject(m_path);
  if (!object) return std::nullopt;
  const std::optional<SendingWait> wait = waitOf(*object);
  if (!wait) return std::nullopt;
  return Stored{*wait, QByteArray::fromBase64((*object)[QStringLiteral("key")].toString().toLatin1()),
                (*object)[QStringLiteral("fingerprint")].toString().toLatin1()};
}

std::optional<SendingWait> LoginWait::current(const QByteArray& settings, const QDateTime& now) const {
  const std::optional<Stored> stored = load();
  if (!stored || stored->fingerprint != fingerprint(stored->key, settings) || now >= stored->wait.until)
    return std::nullopt;
  return stored->wait;
}

SendingWait LoginWait::refused(const QByteArray& settings, const QString& reason, const QDateTime& now) {
  const std::optional<Stored> stored = load();
  const bool same = stored && stored->fingerprint == fingerprint(stored->key, settings);
  const int refusals = same ? stored->wait.refusals + 1 : 1;
  const QDateTime since = same && stored->wait.refusals > 0 ? stored->wait.since : now;
  return store(settings,
               SendingWait{SendingWait::Kind::Login, reason, since, now.addSecs(waitSeconds(refusals)), refusals});
}

SendingWait LoginWait::paused(const QByteArray& settings, const QString& reason, const QDateTime& now,
                              const QDateTime& until) {
  const std::optional<Stored> stored = load();
  const bool same = stored && stored->fingerprint == fingerprint(stored->key, settings);
  return store(settings,
               SendingWait{SendingWait::Kind::Throttle, reason, now, until, same ? stored->wait.refusals : 0});
}

void LoginWait::ended() { m_files.remove(m_path); }

bool LoginWait::keptFor(const QByteArray& settings) const {
  const std::optional<Stored> stored = load();
  return stored && stored->fingerprint == fingerprint(stored->key, settings);
}

qint64 LoginWait::waitSeconds(int refusals) {
  qint64 seconds = kFirstWaitSeconds;
  for (int i = 1; i < refusals && seconds < kLongestWaitSeconds; ++i) seconds *= 2;
  return std::min(seconds, kLongestWaitSeconds);
}

SendingWait LoginWait::store(const QByteArray& settings, SendingWait wait) {
  const QByteArray key = newKey();
  const QJsonObject object{
      {QStringLiteral("kind"), wait.kind == SendingWait::Kind::Throttle ? kThrottle : kLogin},
      {QStringLiteral("reason"), wait.reason},
      {QStringLiteral("since"), timeText(wait.since)},
      {QStringLiteral("until"), timeText(wait.until)},
      {QStringLiteral("refusals"), wait.refusals},
      {QStringLiteral("key"), QString::fromLatin1(key.toBase64())},
      {QStringLiteral("fingerprint"), QString::fromLatin1(fingerprint(key, settings))},
  };
  writeFileReplacing(m_files, m_path, QJsonDocument(object).toJson(), FileReaders::OwnerOnly);
  return wait;
}

std::optional<SendingWait> readSendingWait(const AppFolder& folder) {
  const std::optional<QJsonObject> object = readObject(folder.path(QString::fromLatin1(LoginWait::kFileName)));
  return object ? waitOf(*object) : std::nullopt;
}

}  // namespace corvex
