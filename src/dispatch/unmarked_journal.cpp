#include "dispatch/unmarked_journal.h"

#include "base/checked_file.h"
#include "base/error.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace corvex {

namespace {

// Far beyond any real journal (an entry is about 150 bytes), and small enough
// that a file that is not a journal cannot take the memory.
constexpr qint64 kMaxJournalBytes = 4 * 1024 * 1024;

QByteArray toLine(const UnmarkedDocument& document) {
  const QJsonObject object{{QStringLiteral("serie"), document.serie},
                           {QStringLiteral("numero"), document.numero},
                           {QStringLiteral("idDocumento"), document.idDocumento},
                           {QStringLiteral("eMail"), document.eMail},
                           {QStringLiteral("mailed"), document.mailedAt}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + "\r\n";
}

bool isWholeNumber(double value) {
  return value == double(qint32(value)) && value >= std::numeric_limits<qint32>::min() &&
         value <= std::numeric_limits<qint32>::max();
}

UnmarkedDocument fromLine(const QByteArray& line, int lineNumber) {
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  const QJsonValue serie = object.value(QStringLiteral("serie"));
  const QJsonValue numero = object.value(QStringLiteral("numero"));
  if (!serie.isString() || !numero.isDouble() || !isWholeNumber(numero.toDouble())) {
    throw Error(kInvalidFileFormat, QStringLiteral("%1 line %2: not an entry with \"serie\" and \"numero\"")
                                        .arg(UnmarkedJournal::kFileName)
                                        .arg(lineNumber));
  }
  return {serie.toString(), qint32(numero.toDouble()), object.value(QStringLiteral("idDocumento")).toString(),
          object.value(QStringLiteral("eMail")).toString(), object.value(QStringLiteral("mailed")).toString()};
}

}  // namespace

const QString UnmarkedJournal::kFileName = QStringLiteral("mailed-unmarked.jsonl");

UnmarkedJournal::UnmarkedJournal(FileSystem& files, AppFolder folder) : m_files(files), m_folder(std::move(folder)) {}

QString UnmarkedJournal::path() const { return m_folder.path(kFileName); }

void UnmarkedJournal::load() {
  m_entries.clear();
  if (!QFile::exists(path()) && !QFileInfo(path()).isSymLink()) return;
  const QList<QByteArray> lines = readBoundedFile(path(), kMaxJournalBytes).split('\n');
  for (int i = 0; i < lines.size(); ++i) {
    const QByteArray line = lines[i].trimmed();
    if (!line.isEmpty()) m_entries << fromLine(line, i + 1);
  }
}

void UnmarkedJournal::add(const UnmarkedDocument& document) {
  m_entries << document;
  try {
    save();
  } catch (const FileError&) {
    // Trapped to keep memory and disk alike; the caller hears of it.
    m_entries.removeLast();
    throw;
  }
}

void UnmarkedJournal::remove(const QString& serie, qint32 numero) {
  m_entries.removeIf([&](const UnmarkedDocument& entry) { return entry.serie == serie && entry.numero == numero; });
  save();
}

void UnmarkedJournal::save() {
  if (m_entries.isEmpty()) {
    m_files.remove(path());
  } else {
    QByteArray content;
    for (const UnmarkedDocument& entry : m_entries) content += toLine(entry);
    writeFileReplacing(m_files, path(), content);
  }
  m_files.syncFolder(m_folder.root());
}

}  // namespace corvex
