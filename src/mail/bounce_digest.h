#pragma once

#include "base/settings.h"
#include "mail/ledger_entry.h"
#include "mail/outgoing_message.h"

#include <QList>

namespace corvex {

/// The digest of `bounces` for main.ini's [Bounces] Notify: one plain-text
/// message from sysSMTPFrom that lists each bounced document with its
/// buyer's address, the reason the buyer's server gave (and what to do, where
/// the reply table knows), and the command that mails it again once the
/// address is corrected.
OutgoingMessage bounceDigest(const Settings& settings, const QList<LedgerEntry>& bounces);

}  // namespace corvex
