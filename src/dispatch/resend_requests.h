#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "dispatch/json_lines_file.h"

#include <QList>
#include <QLockFile>
#include <QString>

#include <optional>

namespace corvex {

/// What `corvex resend` asks of the next run: mail that document again.
struct ResendRequest {
  QString serie;
  qint32 numero = 0;
  /// Where the next accepted mail of the document goes; empty: the view's
  /// eMail, as always.
  QString to;
  /// When it was asked, for the operator.
  QString requestedAt;
  /// The run has made the document pending again and taken it out of the
  /// journal; the request stays only while its `to` waits for a mail.
  bool applied = false;
};

/// The requests of `corvex resend`, the file "resend-requests.jsonl" in the
/// Application folder, one JSON object per line ({"serie", "numero", "to",
/// "requested", "applied"}), written like the journal of unmarked
/// documents (see JsonLinesFile). One request per document: a newer one
/// replaces it. `corvex resend` and the run change the file only while they
/// hold its Lock, since a service may be running beside the command.
class ResendRequests {
 public:
  static const QString kFileName;

  /// The lock "resend-requests.lock" beside the file, held while this
  /// object lives. A lock left by a process that no longer runs is taken
  /// over.
  class Lock {
   public:
    /// Waits at most `waitMs`. Raises Error(kPermissionDenied) naming the
    /// process that holds it, or kPathFileAccessError when the lock file
    /// cannot be made.
    Lock(const AppFolder& folder, int waitMs);

   private:
    QLockFile m_lock;
  };

  /// The references must outlive the object.
  ResendRequests(FileSystem& files, AppFolder folder);

  /// Reads the file again. Raises Error(kInvalidFileFormat) naming the line
  /// for one that is not a request, and the errors of JsonLinesFile::read().
  void load();
  const QList<ResendRequest>& entries() const { return m_entries; }
  /// The request for that document (the series compared without regard to
  /// case, as SQL Server does).
  std::optional<ResendRequest> find(const QString& serie, qint32 numero) const;

  /// Adds `request`, replacing one for the same document, and writes the
  /// file; raises FileError, leaving the file and the entries as they were.
  void put(const ResendRequest& request);
  /// Drops the request for that document and writes the file (removes it
  /// once empty); raises FileError, leaving the file and the entries as
  /// they were.
  void remove(const QString& serie, qint32 numero);

 private:
  void save(QList<ResendRequest> entries);

  JsonLinesFile m_file;
  QList<ResendRequest> m_entries;
};

}  // namespace corvex
