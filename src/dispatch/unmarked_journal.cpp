#include "dispatch/unmarked_journal.h"

#include <QJsonObject>

#include <optional>

namespace corvex {

namespace {

QJsonObject toObject(const UnmarkedDocument& document) {
  QJsonObject object{{QStringLiteral("serie"), document.serie},
                     {QStringLiteral("numero"), document.numero},
                     {QStringLiteral("idDocumento"), document.idDocumento},
                     {QStringLiteral("eMail"), document.eMail},
                     {QStringLiteral("mailed"), document.mailedAt}};
  if (!document.ledgerLine.isEmpty()) object.insert(QStringLiteral("ledger"), document.ledgerLine);
  return object;
}

UnmarkedDocument fromLine(const JsonLinesFile& file, const JsonLinesFile::Line& line) {
  const QJsonValue serie = line.object.value(QStringLiteral("serie"));
  const std::optional<qint32> numero = wholeNumber(line.object.value(QStringLiteral("numero")));
  if (!serie.isString() || !numero)
    throw file.badLine(line.number, QStringLiteral("not an entry with \"serie\" and \"numero\""));
  return {serie.toString(),
          *numero,
          line.object.value(QStringLiteral("idDocumento")).toString(),
          line.object.value(QStringLiteral("eMail")).toString(),
          line.object.value(QStringLiteral("mailed")).toString(),
          line.object.value(QStringLiteral("ledger")).toObject()};
}

}  // namespace

const QString UnmarkedJournal::kFileName = QStringLiteral("mailed-unmarked.jsonl");

UnmarkedJournal::UnmarkedJournal(FileSystem& files, AppFolder folder) : m_file(files, std::move(folder), kFileName) {}

void UnmarkedJournal::load() {
  QList<UnmarkedDocument> entries;
  for (const JsonLinesFile::Line& line : m_file.read()) entries << fromLine(m_file, line);
  m_entries = entries;
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

void UnmarkedJournal::ledgerWritten(const QString& serie, qint32 numero) {
  for (UnmarkedDocument& entry : m_entries) {
    if (entry.serie == serie && entry.numero == numero) entry.ledgerLine = QJsonObject();
  }
  save();
}

void UnmarkedJournal::save() {
  QList<QJsonObject> objects;
  for (const UnmarkedDocument& entry : m_entries) objects << toObject(entry);
  m_file.write(objects);
}

}  // namespace corvex
