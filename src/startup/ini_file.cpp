#include "startup/ini_file.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

namespace corvex {

namespace {

// GetPrivateProfileString's buffer of the original's cString reading.
constexpr qsizetype kMaxValueLength = 254;

std::optional<QString> sectionName(const QString& line) {
  if (!line.startsWith(QLatin1Char('['))) return std::nullopt;
  const qsizetype close = line.indexOf(QLatin1Char(']'));
  return (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
}

QString unquoted(const QString& value) {
  if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
      value.back() == value.front())
    return value.mid(1, value.size() - 2);
  return value;
}

std::optional<QString> findValue(const QStringList& lines, const QString& section, const QString& key) {
  bool inSection = false;
  for (const QString& raw : lines) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
    if (const auto name = sectionName(line)) {
      // The first section of that name is the one; a later twin is never read.
      if (inSection) return std::nullopt;
      inSection = name->compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (inSection && equals >= 0 && line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
      return unquoted(line.mid(equals + 1).trimmed());
  }
  return std::nullopt;
}

// UTF-8 unless a byte-order mark says otherwise: Windows editors save
// "Unicode" as UTF-16 with one, and GetPrivateProfileString reads that too.
QString iniText(const QByteArray& bytes) {
  QStringDecoder decoder(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
  QString text = decoder(bytes);
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text;
}

}  // namespace

QString ReadIniValue(const QString& path, const QString& section, const QString& key, const QString& defaultValue) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return defaultValue;
  return iniValue(file.readAll(), section, key, defaultValue);
}

QString ReadIniConnectionString(const QString& path) {
  return ReadIniValue(path, QStringLiteral("DB"), QStringLiteral("cString"), QString()).left(kMaxValueLength);
}

QString iniValue(const QByteArray& content, const QString& section, const QString& key, const QString& defaultValue) {
  const std::optional<QString> value =
      findValue(iniText(content).split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))), section, key);
  return value.value_or(defaultValue);
}

}  // namespace corvex
