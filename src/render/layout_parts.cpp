#include "render/layout_parts.h"

#include "base/error.h"

#include <QJsonArray>

namespace corvex {

namespace {

bool isUse(const QJsonValue& value) {
  return value.isObject() && value.toObject().size() == 1 && value.toObject().contains(QStringLiteral("use"));
}

// {"use": PART} or {"use": PART, "at": [x, y]} in a list of controls.
bool isControlsUse(const QJsonValue& value) {
  if (!value.isObject() || !value.toObject().contains(QStringLiteral("use"))) return false;
  const QJsonObject object = value.toObject();
  return object.size() == 1 || (object.size() == 2 && object.contains(QStringLiteral("at")));
}

QJsonArray shifted(QJsonArray point, int dx, int dy) {
  if (point.size() >= 2 && point.at(0).isDouble() && point.at(1).isDouble()) {
    point.replace(0, point.at(0).toInt() + dx);
    point.replace(1, point.at(1).toInt() + dy);
  }
  return point;
}

QJsonObject movedControl(QJsonObject control, int dx, int dy) {
  for (const QString& key : {QStringLiteral("box"), QStringLiteral("from"), QStringLiteral("to")}) {
    if (control.value(key).isArray()) control.insert(key, shifted(control.value(key).toArray(), dx, dy));
  }
  return control;
}

class PartsResolver {
 public:
  PartsResolver(QString origin, QJsonObject parts) : m_origin(std::move(origin)), m_parts(std::move(parts)) {}

  // A band, or a section: the part it uses, with the control groups of its
  // list of controls put in.
  QJsonValue resolve(const QJsonValue& value) const {
    const QJsonValue resolved = isUse(value) ? part(value.toObject()) : value;
    if (!resolved.isObject() || !resolved.toObject().value(QStringLiteral("controls")).isArray()) return resolved;
    QJsonObject band = resolved.toObject();
    band.insert(QStringLiteral("controls"), controls(band.value(QStringLiteral("controls")).toArray()));
    return band;
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
  QJsonValue part(const QJsonObject& use) const {
    const QString name = use.value(QStringLiteral("use")).toString();
    if (!m_parts.contains(name)) fail(QStringLiteral("the parts hold no part \"%1\"").arg(name));
    return m_parts.value(name);
  }

  // A group of controls moved by "at", so that one group serves in several
  // places of several layouts.
  QJsonArray controls(const QJsonArray& list) const {
    QJsonArray resolved;
    for (const QJsonValue& item : list) {
      if (!isControlsUse(item)) {
        resolved.append(item);
        continue;
      }
      const QJsonValue group = part(item.toObject());
      if (!group.isArray()) fail(QStringLiteral("the part \"%1\" is no list of controls").arg(item["use"].toString()));
      const QJsonArray at = item.toObject().value(QStringLiteral("at")).toArray();
      for (const QJsonValue& control : group.toArray())
        resolved.append(movedControl(control.toObject(), at.at(0).toInt(), at.at(1).toInt()));
    }
    return resolved;
  }

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
    throw Error(kInvalidFileFormat, QStringLiteral("Layout file %1: expected {\"name\": \"%2\", \"parts\": {...}}")
                                        .arg(file.path, name.toString()));
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
