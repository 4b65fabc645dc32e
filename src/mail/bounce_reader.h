#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "log/daily_log.h"
#include "mail/bounce_mailbox.h"
#include "mail/bounce_state.h"
#include "mail/delivery_ledger.h"
#include "mail/delivery_report.h"
#include "mail/ledger_view.h"
#include "mail/repeated_failures.h"
#include "oauth/token_cache.h"

#include <functional>
#include <memory>

namespace corvex {

/// What reading the bounce mailbox works with. Every reference must outlive
/// the reader.
struct BounceParts {
  const Settings& settings;
  AppFolder folder;
  const DailyLog& log;
  const Clock& clock;
  FileSystem& files;
  DeliveryLedger& ledger;
  /// Asked between messages and while connecting: true ends the read there.
  std::function<bool()> stopRequested;
};

/// One read of main.ini's [Bounces] Mailbox: the messages that arrived since
/// the last read (at most 100, each read up to 1 MiB, for at most a minute;
/// the rest waits for the next read), each delivery report among them
/// matched to the ledger's mail, first by its Original-Envelope-Id, then by
/// the Message-ID of the returned message, never by an address alone.
///
/// Each failed recipient of a report that names one of our mails becomes a
/// bounce line in the ledger (once, however often the report is read) and
/// one log line "Corvex=> Bounced: SERIE-NUMERO--address: status diagnostic",
/// with a hint where the reply table has one. A report that cannot be read,
/// or that names no mail of the ledger, is skipped with one line; any other
/// message is left alone without a word. A handled report is moved to
/// [Bounces] DoneFolder when one is named. A mailbox that cannot be read is
/// logged once, then at most hourly. After the read, a digest of the
/// bounces goes to [Bounces] Notify once a day (see bounceDigest()).
///
/// Where it stands is kept in BounceState after every message. Used by one
/// thread at a time; never raises.
class BounceReader {
 public:
  explicit BounceReader(BounceParts parts);

  void read();

 private:
  std::unique_ptr<BounceMailbox> openMailbox();
  std::shared_ptr<TokenCache> tokens(const char* scope);
  void readMessages(BounceState& state, LedgerView& view);
  bool handle(const QByteArray& message, LedgerView& view);
  void record(const DeliveryReport& report, const LedgerEntry& mail, LedgerView& view);
  void moveToDone(BounceMailbox& mailbox, const QString& id);
  void failed(BounceState& state, const QString& reason);
  void sendDigest(BounceState& state, const LedgerView& view);
  void logThrottled(const QString& key, const QString& line);
  void save(const BounceState& state);

  BounceParts m_parts;
  RepeatedFailures m_failures;
  std::shared_ptr<TokenCache> m_tokens;
};

}  // namespace corvex
