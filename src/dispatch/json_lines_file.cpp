#include "dispatch/json_lines_file.h"

#include "base/checked_file.h"
#include "base/error.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <limits>

namespace corvex {

namespace {

// Far beyond any real file of this kind (a line is about 150 bytes), and
// small enough that a file that is something else cannot take the memory.
constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

}  // namespace

JsonLinesFile::JsonLinesFile(FileSystem& files, AppFolder folder, QString fileName)
    : m_files(files), m_folder(std::move(folder)), m_fileName(std::move(fileName)) {}

QList<JsonLinesFile::Line> JsonLinesFile::read() const {
  QList<Line> objects;
  if (!QFile::exists(path()) && !QFileInfo(path()).isSymLink()) return objects;
  const QList<QByteArray> lines = readBoundedFile(path(), kMaxBytes).split('\n');
  for (int i = 0; i < lines.size(); ++i) {
    const QByteArray line = lines[i].trimmed();
    if (line.isEmpty()) continue;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) throw badLine(i + 1, QStringLiteral("no JSON object"));
    objects << Line{i + 1, document.object()};
  }
  return objects;
}

void JsonLinesFile::write(const QList<QJsonObject>& objects) {
  if (objects.isEmpty()) {
    m_files.remove(path());
  } else {
    QByteArray content;
    for (const QJsonObject& object : objects) content += QJsonDocument(object).toJson(QJsonDocument::Compact) + "\r\n";
    writeFileReplacing(m_files, path(), content);
  }
  m_files.syncFolder(m_folder.root());
}

Error JsonLinesFile::badLine(int lineNumber, const QString& what) const {
  return Error(kInvalidFileFormat, QStringLiteral("%1 line %2: %3").arg(m_fileName, QString::number(lineNumber), what));
}

std::optional<qint32> wholeNumber(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max() ||
      number != double(qint32(number)))
    return std::nullopt;
  return qint32(number);
}

}  // namespace corvex
