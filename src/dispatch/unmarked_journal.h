#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "dispatch/json_lines_file.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace corvex {

/// A document that was mailed but could not be marked as mailed.
struct UnmarkedDocument {
  QString serie;
  qint32 numero = 0;
  /// For the operator reading the file: what went to whom and when.
  QString idDocumento;
  QString eMail;
  QString mailedAt;
  /// The delivery ledger's line for the mail, while it still has to be
  /// written there (see DeliveryLedger); empty once it is.
  QJsonObject ledgerLine = {};
};

/// The journal of mailed-but-unmarked documents, the file
/// "mailed-unmarked.jsonl" in the Application folder: one JSON object per
/// line ({"serie", "numero", "idDocumento", "eMail", "mailed"}, and "ledger"
/// while the entry's ledger line waits), UTF-8, CR LF.
/// No file means no entry.
///
/// Every change rewrites the whole file and makes it durable (see
/// JsonLinesFile), so an entry that add() accepted survives a crash or a power
/// cut; an interrupted change leaves the previous file. The file is small: it
/// only holds documents whose mark failed.
class UnmarkedJournal {
 public:
  static const QString kFileName;

  /// The references must outlive the journal.
  UnmarkedJournal(FileSystem& files, AppFolder folder);

  /// Reads the file again. Raises Error(kInvalidFileFormat) naming the line
  /// for a line that is not an entry, and the errors of JsonLinesFile::read():
  /// a journal that cannot be read must stop any mailing.
  void load();
  const QList<UnmarkedDocument>& entries() const { return m_entries; }

  /// Adds the entry and writes the file; raises FileError, leaving the file
  /// as it was.
  void add(const UnmarkedDocument& document);
  /// Drops the entry of that document and writes the file (removes it once
  /// empty); raises FileError.
  void remove(const QString& serie, qint32 numero);
  /// The ledger line of that document's entry was written: it is dropped
  /// from the entry and the file written; raises FileError.
  void ledgerWritten(const QString& serie, qint32 numero);

 private:
  void save();

  JsonLinesFile m_file;
  QList<UnmarkedDocument> m_entries;
};

}  // namespace corvex
