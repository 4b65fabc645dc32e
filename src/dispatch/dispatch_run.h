#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/settings.h"
#include "base/status_display.h"
#include "db/database.h"
#include "dispatch/json_document.h"
#include "dispatch/run_summary.h"
#include "log/daily_log.h"
#include "mail/mailer.h"
#include "render/document_renderer.h"

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
};

/// One pass over the documents the view vwDTECorvex lists as pending, in
/// Fecha order: for each, the signed JSON and the PDF are written to files/,
/// mailed to the buyer, the document is marked as mailed when the mail went
/// out, and both files are deleted.
///
/// The run holds DbConnection2 from its start to its normal end; the
/// renderer's own use of DbConnection never disturbs its record set.
class DispatchRun {
 public:
  explicit DispatchRun(DispatchParts parts);

  /// Returns true after a normal end, with "Last Run: " and the end time in
  /// the caption. Any error ends the run at once: one "sendDTEbyMail=> " log
  /// line, caption "Error", false; rows already mailed stay marked and
  /// DbConnection2 is left as it is. Either way a run that found documents
  /// ends with one summary line (RunSummary). Never raises.
  bool sendDTEbyMail();

 private:
  void processPending(RecordSet& pending);
  void processRow(const RecordSet& row);
  void renderPdf(const RecordSet& row);
  void logSummary() const;

  DispatchParts m_parts;
  JsonDocument m_taxDocument;
  JsonDocument m_signedDocument;
  RunSummary m_summary;
};

}  // namespace corvex
