#include "render/layout_parts.h"

#include "base/error.h"

#include <QJsonArray>

namespace corvex {

namespace {

bool isUse(const QJsonValue& value) {
  return value.isObject() && value.toObject().size() == 1 && value.toObject().contains(QStringLiteral("use"));
}

class PartsResolver {
 public:
  PartsResolver(QString origin, QJsonObject parts) : m_origin(std::move(origin)), m_parts(std::move(parts)) {}

  QJsonValue resolve(const QJsonValue& value) const {
    if (!isUse(value)) return value;
    const QString name = value.toObject().value(QStringLiteral("use")).toString();
    if (!m_parts.contains(name)) fail(QStringLiteral("the parts hold no part \"%1\"").arg(name));
    return m_parts.value(name);
  }

  QJsonArray body(const QJsonArray& sections) const {
    QJsonArray resolved;
    for (const QJsonValue& item : sections) {
      const QJsonValue section = resolve(item);
      if (section.isArray()) {
        for (const QJsonValue& inner : section.toArray()) resolved.append(withCaption(resolve(inner)));
      } else {
        resolved.append(withCaption(section));
      }
    }
    return resolved;
  }

  [[noreturn]] void fail(const QString& problem) const {
    throw Error(kInvalidFileFormat, QStringLiteral("Layout file %1: %2").arg(m_origin, problem));
  }

 private:
  QJsonValue withCaption(const QJsonValue& section) const {
    if (!section.isObject() || !section.toObject().contains(QStringLiteral("caption"))) return section;
    QJsonObject object = section.toObject();
    object.insert(QStringLiteral("caption"), resolve(object.value(QStringLiteral("caption"))));
    return object;
  }

  QString m_origin;
  QJsonObject m_parts;
};

QJsonObject readPartsOf(const QJsonObject& layout, const QString& origin, const PartsReader& readParts) {
  const QJsonValue name = layout.value(QStringLiteral("parts"));
  if (name.isUndefined()) return QJsonObject();
  if (!name.isString() || name.toString().isEmpty()) {
    throw Error(kInvalidFileFormat, QStringLiteral("Layout file %1: \"parts\" must be a non-empty text").arg(origin));
  }
  const PartsFile file = readParts(name.toString());
  if (file.object.value(QStringLiteral("name")).toString() != name.toString() ||
      !file.object.value(QStringLiteral("parts")).isObject()) {
    throw Error(kInvalidFileFormat,
                QStringLiteral("Layout file %1: expected {\"name\": \"%2\", \"parts\": {...}}").arg(file.path, name.toString()));
  }
  return file.object.value(QStringLiteral("parts")).toObject();
}

}  // namespace

QJsonObject withParts(const QJsonObject& layout, const QString& origin, const PartsReader& readParts) {
  const PartsResolver resolver(origin, readPartsOf(layout, origin, readParts));
  QJsonObject bands = layout.value(QStringLiteral("bands")).toObject();
  for (const QString& key : bands.keys()) {
    const QJsonValue band = bands.value(key);
    bands.insert(key, band.isArray() ? QJsonValue(resolver.body(band.toArray())) : resolver.resolve(band));
  }
  QJsonObject resolved = layout;
  if (layout.value(QStringLiteral("bands")).isObject()) resolved.insert(QStringLiteral("bands"), bands);
  return resolved;
}

}  // namespace corvex
