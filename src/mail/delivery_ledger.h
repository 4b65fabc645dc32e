#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "mail/ledger_entry.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

namespace corvex {

/// The delivery ledger, the proof of what was mailed: one line per mail a
/// transport accepted, per bounce read back and per dismissal of a bounce
/// (see LedgerEntry), JSON, UTF-8, CR LF, in one file a month of the
/// Application folder, "ledger-YYYY-MM.jsonl" by the local month of the
/// entry's time.
///
/// Append-only: a line, once written, is never rewritten; only whole months
/// older than what the operator keeps are removed (see removeBefore()). A
/// new file is readable by its owner alone, since it holds the buyers'
/// addresses. Each append is one write of one whole line, forced to disk
/// before it returns, so a line that append() returned survives a crash or
/// a power cut; a line cut short by one is passed over by every reader, and
/// the next append starts on a line of its own.
///
/// Safe to use from several threads; another process (`corvex
/// dismiss-bounce`) may append at the same time, each line landing whole.
/// `files` must outlive the ledger.
class DeliveryLedger {
 public:
  DeliveryLedger(FileSystem& files, AppFolder folder);

  /// "ledger-YYYY-MM.jsonl" for the month of `day`.
  static QString fileName(const QDate& day);

  /// Appends `entry` to its month's file; raises FileError, the line then
  /// not (or not wholly) written.
  void append(const LedgerEntry& entry);

  /// Calls `visit` for each entry of the months from that of `from` through
  /// that of `to` (each day's month counts whole), in the files' order.
  /// Lines that are no entry are passed over, and so is a line longer than
  /// any entry could be. A file that cannot be read is passed over too: the
  /// readers (status, history) show what they can.
  void forEach(const QDate& from, const QDate& to, const std::function<void(const LedgerEntry&)>& visit) const;
  /// The first day of every month that has a file, in order.
  QList<QDate> months() const;

  /// Removes the files of the months before the month of `keepFrom`;
  /// returns their names. Raises FileError for one that cannot be removed,
  /// the files before it gone.
  QStringList removeBefore(const QDate& keepFrom);

 private:
  QByteArray separatorBefore(const QString& path) const;

  FileSystem& m_files;
  AppFolder m_folder;
  std::mutex m_mutex;  // one appender at a time in this process
};

}  // namespace corvex
