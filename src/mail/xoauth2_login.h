#pragma once

#include "mail/smtp_dialogue.h"

namespace corvex {

/// The SASL XOAUTH2 login on an open dialogue: "AUTH XOAUTH2 " with
/// base64("user=" account.user "\x01auth=Bearer " token "\x01\x01") as its
/// initial response, the token from account.tokens. A refusal of a token
/// that was kept from before fetches a new one and tries once more (on a new
/// connection when the server closed this one).
///
/// Returns the server's 235, or the refusal as "AUTH XOAUTH2 failed: " and
/// the server's reply. Raises what TokenCache raises when no token can be
/// had; the dialogue is then left as it is.
SmtpReply logInWithToken(SmtpDialogue& dialogue, const SmtpAccount& account);

/// The line that logs in `user` with `token`; it holds the token.
QByteArray xoauth2Command(const QString& user, const QByteArray& token);

}  // namespace corvex
