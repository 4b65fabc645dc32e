#pragma once

#include "mail/smtp_dialogue.h"

namespace corvex {

/// Logs in on `dialogue`, just opened, as account.user with account.password
/// (RFC 4954), by the best of the mechanisms the server offers in
/// `mechanisms` (its EHLO AUTH line): PLAIN, then LOGIN; CRAM-MD5 comes first
/// on a connection without TLS, where it keeps the password off the wire.
/// Returns the server's 235, or the reply that refused the login (never a
/// line the program sent: those carry the password); code 0 when none of
/// the mechanisms is one the program speaks, or the connection failed.
SmtpReply logIn(SmtpDialogue& dialogue, const MailAccount& account, const QList<QByteArray>& mechanisms);

}  // namespace corvex
