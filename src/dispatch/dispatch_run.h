#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/settings.h"
#include "base/status_display.h"
#include "db/database.h"
#include "dispatch/dispatch_lock.h"
#include "dispatch/json_document.h"
#include "log/daily_log.h"
#include "mail/mailer.h"
#include "render/document_renderer.h"

#include <functional>

namespace corvex {

/// What one dispatch run works with. Every reference must outlive the run.
struct DispatchParts {
  Database& database;
  DocumentRenderer& renderer;
  Mailer& mailer;
  const Settings& settings;
  AppFolder folder;
  const DailyLog& log;
  const Clock& clock;
  StatusDisplay& display;
  /// Asked before each document: true ends the run normally there, leaving
  /// the rest pending for the next start.
  std::function<bool()> stopRequested = [] { return false; };
};

/// One pass over the documents the view vwDTECorvex lists as pending, in
/// Fecha order: for each, the signed JSON and the PDF are written to files/,
/// mailed to the buyer, the document is marked as mailed when the mail went
/// out, and both files are deleted.
///
/// The run holds DbConnection2 from its start to its normal end; the
/// renderer's own use of DbConnection never disturbs its record set. On SQL
/// Server it first takes the database's dispatch lock (see DispatchLock); a
/// run that cannot get it at once ends normally without touching anything.
class DispatchRun {
 public:
  explicit DispatchRun(DispatchParts parts);

  /// Returns true after a normal end, with "Last Run: " and the end time in
  /// the caption. Any error ends the run at once: one "sendDTEbyMail=> " log
  /// line, caption "Error", false; rows already mailed stay marked and
  /// DbConnection2 is left as it is. Never raises.
  bool sendDTEbyMail();

 private:
  void processPending(RecordSet& pending);
  void processRow(const RecordSet& row);
  void renderPdf(const RecordSet& row);

  DispatchParts m_parts;
  DispatchLock m_dispatchLock;
  JsonDocument m_taxDocument;
  JsonDocument m_signedDocument;
};

}  // namespace corvex
