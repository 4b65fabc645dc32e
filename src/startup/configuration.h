#pragma once

#include "base/settings.h"
#include "db/connection_string.h"
#include "db/database.h"

#include <QString>

#include <cstdint>

namespace corvex {

/// The provider connection string for a server name: the head with `login`
/// (by default the fixed login and catalog), the name exactly as main.ini
/// gives it (no trimming, no quoting), the fixed tail.
QString buildConnectionString(const QString& server, const DatabaseLogin& login = {});

/// The login from the [DB] section of `iniPath`: User and Password (both or
/// neither), Database, and Authentication=integrated (which takes neither
/// User nor Password). Without these keys, the fixed login and catalog.
/// Raises 5 naming the keys (never the password) for any other combination.
DatabaseLogin readDatabaseLogin(const QString& iniPath);

/// What every connection needs besides its string, from the [DB] section of
/// `iniPath`: the ODBC driver (default defaultOdbcDriver()), its extra
/// options, and the login and statement time-outs, which main.ini may
/// shorten but never lift above their bounds.
DbEnvironment databaseEnvironment(const AppFolder& folder, const QString& iniPath);

/// sysSMTPPort's text as a 16-bit number: blanks allowed, fractions rounded
/// with halves to the even neighbour. Raises 13 for empty or non-numeric
/// text, 6 outside -32768..32767.
std::int16_t smtpPortFromText(const QString& text);

/// Fills the seven database-held fields of `settings` in their fixed order,
/// one GetParameter call (one open and close of DbConnection) each. Raises
/// whatever a lookup or the port conversion raises.
void readParameters(Database& database, Settings& settings);

/// Fills MaxMessagesPerConnection (1..100000, default 100),
/// MessagesPerMinute (0..100000, default 0: no limit), Connections (1..10,
/// default 1) and HeloName (see configuredHeloName()) from the [SMTP] section
/// of settings.IniPath. Raises 5 naming the key for any other value.
void readSmtpLimits(Settings& settings);

/// Fills Auth (main.ini [SMTP] Auth: password, the default, or xoauth2, in
/// any letter case) and OAuth (the [OAuth] keys, each read whole and
/// trimmed; Provider in lower case) of `settings` from settings.IniPath.
/// Raises 5 for another Auth or Provider; the keys a provider needs are
/// checked when a token is asked for (see tokenClientProblem()).
void readOAuthSettings(Settings& settings);

/// Fills LedgerKeepMonths (main.ini [Ledger] KeepMonths, 0..1200, default 0:
/// every month kept) and Bounces (the [Bounces] keys, trimmed) of `settings`
/// from settings.IniPath. Raises 5 naming the key for a KeepMonths out of
/// range, a Mailbox that names no mailbox (see mailboxAddress()) or graph:
/// without [OAuth] Provider (readOAuthSettings() must have run first), a
/// User without its Password or the other way round, or a Notify that is not
/// one address.
void readLedgerAndBounceSettings(Settings& settings);

/// main.ini [Render] Source of `iniPath`, "procedure" or "json" in any letter
/// case; Procedure when not set. Raises 5 for any other value.
RenderSource configuredRenderSource(const QString& iniPath);

/// main.ini [SMTP] HeloName of `iniPath`, trimmed; empty when not set. Raises
/// 5 when it is neither a fully qualified domain name nor an address literal.
QString configuredHeloName(const QString& iniPath);

}  // namespace corvex
