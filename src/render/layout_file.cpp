#include "render/layout_file.h"

#include "base/error.h"
#include "render/layout_parts.h"
#include "render/value_format.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>

// The built-in layouts live in a resource of this static library; a static
// library's resources must be registered by hand, outside any namespace.
static void initLayoutResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(layouts);
    return true;
  }();
  Q_UNUSED(registered);
}

namespace corvex {

namespace {

const QHash<QString, ControlKind>& controlKinds() {
  static const QHash<QString, ControlKind> kinds{
      {QStringLiteral("label"), ControlKind::Label},         {QStringLiteral("field"), ControlKind::Field},
      {QStringLiteral("rectangle"), ControlKind::Rectangle}, {QStringLiteral("line"), ControlKind::Line},
      {QStringLiteral("image"), ControlKind::Image},         {QStringLiteral("datacontrol"), ControlKind::DataControl}};
  return kinds;
}

// The keys each kind may carry; anything else is a typo that would silently
// change the printed page, so it is refused.
QSet<QString> allowedKeys(ControlKind kind) {
  const QSet<QString> common{QStringLiteral("name"), QStringLiteral("kind")};
  const QSet<QString> text{QStringLiteral("box"),       QStringLiteral("font"),  QStringLiteral("size"),
                           QStringLiteral("bold"),      QStringLiteral("align"), QStringLiteral("color"),
                           QStringLiteral("background")};
  switch (kind) {
    case ControlKind::Label:
      return common + text + QSet<QString>{QStringLiteral("caption"), QStringLiteral("with")};
    case ControlKind::Field:
      return common + text + QSet<QString>{QStringLiteral("column"),    QStringLiteral("columns"),
                                           QStringLiteral("separator"), QStringLiteral("format"),
                                           QStringLiteral("grow"),      QStringLiteral("shrink"),
                                           QStringLiteral("counted"),   QStringLiteral("distinct")};
    case ControlKind::Rectangle:
      return common + QSet<QString>{QStringLiteral("box"), QStringLiteral("filled")};
    case ControlKind::Line:
      return common + QSet<QString>{QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("weight")};
    case ControlKind::Image:
    case ControlKind::DataControl:
      return common + QSet<QString>{QStringLiteral("box")};
  }
  return common;
}

// Reads one layout file; every problem raises with the file and the place named.
class LayoutReader {
 public:
  explicit LayoutReader(QString origin) : m_origin(std::move(origin)) {}

  QJsonObject parse(const QByteArray& json) const {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
      fail(QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    }
    if (!document.isObject()) fail(QStringLiteral("the file holds no JSON object"));
    return document.object();
  }

  Layout read(const QJsonObject& root) {
    checkKeys(root, {QStringLiteral("name"), QStringLiteral("page"), QStringLiteral("bands"), QStringLiteral("parts")});
    Layout layout;
    layout.name = requiredString(root, QStringLiteral("name"));
    layout.page = readPage(requiredObject(root, QStringLiteral("page")));
    const QJsonObject bands = requiredObject(root, QStringLiteral("bands"));
    checkKeys(bands, {QStringLiteral("PageHeader"), QStringLiteral("Detail"), QStringLiteral("Body"),
                      QStringLiteral("PageFooter")});
    layout.pageHeader = readBand(bands, QStringLiteral("PageHeader"), BandKind::PageHeader);
    if (bands.contains(QStringLiteral("Body"))) {
      if (bands.contains(QStringLiteral("Detail"))) fail(QStringLiteral("a layout has either \"Detail\" or \"Body\""));
      layout.body = readBody(bands.value(QStringLiteral("Body")));
    } else {
      layout.detail = readBand(bands, QStringLiteral("Detail"), BandKind::Detail);
    }
    layout.pageFooter = readBand(bands, QStringLiteral("PageFooter"), BandKind::PageFooter);
    return layout;
  }

 private:
  [[noreturn]] void fail(const QString& problem) const {
    const QString where = m_place.isEmpty() ? QString() : m_place + QStringLiteral(": ");
    throw Error(kInvalidFileFormat, QStringLiteral("Layout file %1: %2%3").arg(m_origin, where, problem));
  }

  void checkKeys(const QJsonObject& object, const QSet<QString>& allowed) const {
    for (const QString& key : object.keys()) {
      if (!allowed.contains(key)) fail(QStringLiteral("unknown key \"%1\"").arg(key));
    }
  }

  QJsonValue required(const QJsonObject& object, const QString& key) const {
    if (!object.contains(key)) fail(QStringLiteral("\"%1\" is missing").arg(key));
    return object.value(key);
  }

  QJsonObject requiredObject(const QJsonObject& object, const QString& key) const {
    const QJsonValue value = required(object, key);
    if (!value.isObject()) fail(QStringLiteral("\"%1\" must be an object").arg(key));
    return value.toObject();
  }

  QString requiredString(const QJsonObject& object, const QString& key) const {
    const QJsonValue value = required(object, key);
    if (!value.isString() || value.toString().isEmpty()) {
      fail(QStringLiteral("\"%1\" must be a non-empty text").arg(key));
    }
    return value.toString();
  }

  QString optionalString(const QJsonObject& object, const QString& key) const {
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isString()) fail(QStringLiteral("\"%1\" must be a text").arg(key));
    return value.toString();
  }

  int toTwips(const QJsonValue& value, const QString& key) const {
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > 1e6 || std::trunc(number) != number) {
      fail(QStringLiteral("\"%1\" must hold whole numbers of twips from 0").arg(key));
    }
    return int(number);
  }

  std::vector<int> numbers(const QJsonObject& object, const QString& key, int count) const {
    const QJsonValue value = required(object, key);
    if (!value.isArray() || value.toArray().size() != count) {
      fail(QStringLiteral("\"%1\" must be a list of %2 numbers").arg(key).arg(count));
    }
    std::vector<int> result;
    for (const QJsonValue& item : value.toArray()) result.push_back(toTwips(item, key));
    return result;
  }

  PageSetup readPage(const QJsonObject& page) {
    m_place = QStringLiteral("page");
    checkKeys(page, {QStringLiteral("paper"), QStringLiteral("printWidth"), QStringLiteral("margins")});
    PageSetup setup;
    const std::vector<int> paper = numbers(page, QStringLiteral("paper"), 2);
    setup.paperWidth = paper[0];
    setup.paperHeight = paper[1];
    setup.printWidth = toTwips(required(page, QStringLiteral("printWidth")), QStringLiteral("printWidth"));
    const std::vector<int> margins = numbers(page, QStringLiteral("margins"), 4);
    setup.margins = PageMargins{margins[0], margins[1], margins[2], margins[3]};
    m_place.clear();
    return setup;
  }

  Band readBand(const QJsonObject& bands, const QString& key, BandKind kind) {
    m_place = key;
    Band band = readBandObject(requiredObject(bands, key), key, kind, {});
    m_place.clear();
    return band;
  }

  // The band's own keys plus `extra`, which its caller reads.
  Band readBandObject(const QJsonObject& object, const QString& place, BandKind kind, const QSet<QString>& extra) {
    checkKeys(object, QSet<QString>{QStringLiteral("height"), QStringLiteral("controls")} + extra);
    Band band{kind, toTwips(required(object, QStringLiteral("height")), QStringLiteral("height")), {}};
    if (kind == BandKind::Detail && band.height == 0) fail(QStringLiteral("the height must be above 0"));
    const QJsonValue controls = required(object, QStringLiteral("controls"));
    if (!controls.isArray()) fail(QStringLiteral("\"controls\" must be a list"));
    for (const QJsonValue& item : controls.toArray()) {
      m_place = place;
      if (!item.isObject()) fail(QStringLiteral("every control must be an object"));
      band.controls.push_back(readControl(item.toObject(), place));
    }
    m_place = place;
    checkLabelFields(band);
    return band;
  }

  void checkLabelFields(const Band& band) const {
    for (const Control& label : band.controls) {
      if (label.with.isEmpty()) continue;
      const auto field = std::find_if(band.controls.begin(), band.controls.end(), [&label](const Control& control) {
        return control.kind == ControlKind::Field && control.name.compare(label.with, Qt::CaseInsensitive) == 0;
      });
      if (field == band.controls.end())
        fail(QStringLiteral("label %1: \"with\" names no field of its band: %2").arg(label.name, label.with));
    }
  }

  std::vector<BodySection> readBody(const QJsonValue& body) {
    m_place = QStringLiteral("Body");
    if (!body.isArray() || body.toArray().isEmpty()) fail(QStringLiteral("\"Body\" must be a list of sections"));
    std::vector<BodySection> sections;
    for (const QJsonValue& item : body.toArray()) {
      const QString place = QStringLiteral("Body section %1").arg(sections.size() + 1);
      m_place = place;
      if (!item.isObject()) fail(QStringLiteral("every section must be an object"));
      sections.push_back(readSection(item.toObject(), place));
    }
    m_place.clear();
    return sections;
  }

  BodySection readSection(const QJsonObject& object, const QString& place) {
    BodySection section;
    section.band = readBandObject(object, place, BandKind::Body,
                                  {QStringLiteral("list"), QStringLiteral("caption"), QStringLiteral("when")});
    if (section.band.height == 0) fail(QStringLiteral("the height must be above 0"));
    section.list = optionalString(object, QStringLiteral("list"));
    section.when = optionalString(object, QStringLiteral("when"));
    if (object.contains(QStringLiteral("caption"))) {
      if (section.list.isEmpty()) fail(QStringLiteral("only a list section has a \"caption\""));
      section.caption = readBandObject(requiredObject(object, QStringLiteral("caption")),
                                       place + QStringLiteral(" caption"), BandKind::Body, {});
    }
    return section;
  }

  Control readControl(const QJsonObject& object, const QString& bandName) {
    Control control;
    control.name = requiredString(object, QStringLiteral("name"));
    m_place = QStringLiteral("%1 control %2").arg(bandName, control.name);
    if (m_names.contains(control.name.toLower())) fail(QStringLiteral("the name is used twice"));
    m_names.insert(control.name.toLower());
    const QString kindName = requiredString(object, QStringLiteral("kind"));
    if (!controlKinds().contains(kindName)) fail(QStringLiteral("unknown kind \"%1\"").arg(kindName));
    control.kind = controlKinds().value(kindName);
    if (control.kind == ControlKind::DataControl && std::exchange(m_hasDataControl, true)) {
      fail(QStringLiteral("a layout holds at most one data control"));
    }
    checkKeys(object, allowedKeys(control.kind));
    readGeometry(object, control);
    control.style = readStyle(object);
    readContent(object, control);
    return control;
  }

  void readGeometry(const QJsonObject& object, Control& control) const {
    if (control.kind == ControlKind::Line) {
      const std::vector<int> from = numbers(object, QStringLiteral("from"), 2);
      const std::vector<int> to = numbers(object, QStringLiteral("to"), 2);
      control.line = QLine(from[0], from[1], to[0], to[1]);
      return;
    }
    const std::vector<int> box = numbers(object, QStringLiteral("box"), 4);
    control.box = QRect(box[0], box[1], box[2], box[3]);
  }

  TextStyle readStyle(const QJsonObject& object) const {
    TextStyle style;
    if (object.contains(QStringLiteral("font"))) style.family = requiredString(object, QStringLiteral("font"));
    const QJsonValue size = object.value(QStringLiteral("size"));
    if (!size.isUndefined() && (!size.isDouble() || size.toDouble() < 1 || size.toDouble() > 200)) {
      fail(QStringLiteral("\"size\" must be a number of points from 1 to 200"));
    }
    style.pointSize = size.toDouble(style.pointSize);
    style.bold = readBool(object, QStringLiteral("bold"));
    style.alignment = readAlignment(optionalString(object, QStringLiteral("align")));
    if (object.contains(QStringLiteral("color"))) style.color = readColor(object, QStringLiteral("color"));
    if (object.contains(QStringLiteral("background")))
      style.background = readColor(object, QStringLiteral("background"));
    return style;
  }

  bool readBool(const QJsonObject& object, const QString& key) const {
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isBool()) fail(QStringLiteral("\"%1\" must be true or false").arg(key));
    return value.toBool(false);
  }

  Qt::Alignment readAlignment(const QString& align) const {
    if (align.isEmpty() || align == QLatin1String("left")) return Qt::AlignLeft;
    if (align == QLatin1String("center")) return Qt::AlignHCenter;
    if (align == QLatin1String("right")) return Qt::AlignRight;
    fail(QStringLiteral("\"align\" must be left, center or right"));
  }

  QColor readColor(const QJsonObject& object, const QString& key) const {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    const QString text = optionalString(object, key);
    if (!hex.match(text).hasMatch()) fail(QStringLiteral("\"%1\" must be six hexadecimal digits RRGGBB").arg(key));
    return QColor(QLatin1Char('#') + text);
  }

  void readContent(const QJsonObject& object, Control& control) const {
    control.caption = optionalString(object, QStringLiteral("caption"));
    control.with = optionalString(object, QStringLiteral("with"));
    control.filled = readBool(object, QStringLiteral("filled"));
    if (control.kind == ControlKind::Field) readColumns(object, control);
    control.format = optionalString(object, QStringLiteral("format"));
    if (!isSupportedFormat(control.format)) fail(QStringLiteral("unsupported format \"%1\"").arg(control.format));
    if (object.contains(QStringLiteral("weight"))) {
      control.weight = toTwips(object.value(QStringLiteral("weight")), QStringLiteral("weight"));
      if (control.weight < 1 || control.weight > 20) fail(QStringLiteral("\"weight\" must be from 1 to 20"));
    }
  }

  // "column", or "columns": the first is the bound column, the rest follow it.
  void readColumns(const QJsonObject& object, Control& control) const {
    control.grow = readBool(object, QStringLiteral("grow"));
    control.shrink = readBool(object, QStringLiteral("shrink"));
    control.counted = readBool(object, QStringLiteral("counted"));
    control.distinct = readBool(object, QStringLiteral("distinct"));
    if (object.contains(QStringLiteral("separator")))
      control.separator = optionalString(object, QStringLiteral("separator"));
    if (!object.contains(QStringLiteral("columns"))) {
      control.column = requiredString(object, QStringLiteral("column"));
      return;
    }
    const QJsonValue columns = object.value(QStringLiteral("columns"));
    if (object.contains(QStringLiteral("column")) || !columns.isArray() || columns.toArray().isEmpty()) {
      fail(QStringLiteral("a field has either \"column\" or a non-empty list \"columns\""));
    }
    for (const QJsonValue& column : columns.toArray()) {
      if (!column.isString() || column.toString().isEmpty()) fail(QStringLiteral("\"columns\" must hold texts"));
      control.moreColumns.append(column.toString());
    }
    control.column = control.moreColumns.takeFirst();
    if (control.counted && control.moreColumns.isEmpty())
      fail(QStringLiteral("a counted field names its unit's column"));
  }

  QString m_origin;
  QString m_place;
  QSet<QString> m_names;
  bool m_hasDataControl = false;
};

QByteArray readLayoutFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw Error(kPathFileAccessError, QStringLiteral("Layout file %1: %2").arg(path, file.errorString()));
  }
  return file.readAll();
}

// The company's own copy in the Application folder first, so a layout can be
// restyled without a rebuild; else the one built into the program.
QString layoutPath(const QString& name, const AppFolder& folder) {
  initLayoutResources();
  const QString fileName = name + QStringLiteral(".json");
  QString path = folder.path(QStringLiteral("layouts/") + fileName);
  if (!QFile::exists(path)) path = QStringLiteral(":/layouts/") + fileName;
  if (!QFile::exists(path)) throw Error(kFileNotFound, QStringLiteral("File not found: layout %1").arg(name));
  return path;
}

QJsonObject readLayoutObject(const QString& path) { return LayoutReader(path).parse(readLayoutFile(path)); }

}  // namespace

Layout parseLayout(const QByteArray& json, const QString& origin) {
  LayoutReader reader(origin);
  return reader.read(reader.parse(json));
}

Layout loadLayout(const QString& name, const AppFolder& folder) {
  const QString path = layoutPath(name, folder);
  const QJsonObject file = readLayoutObject(path);
  const PartsReader parts = [&folder](const QString& partsName) {
    const QString partsPath = layoutPath(partsName, folder);
    return PartsFile{partsPath, readLayoutObject(partsPath)};
  };
  Layout layout = LayoutReader(path).read(withParts(file, path, parts));
  if (layout.name != name) {
    throw Error(kInvalidFileFormat,
                QStringLiteral("Layout file %1: \"name\" is \"%2\", expected \"%3\"").arg(path, layout.name, name));
  }
  return layout;
}

}  // namespace corvex
