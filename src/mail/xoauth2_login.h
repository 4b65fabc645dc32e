#pragma once

#include "mail/smtp_dialogue.h"

namespace corvex {

/// The SASL XOAUTH2 login on an open dialogue: "AUTH XOAUTH2 " with
/// base64("user=" account.user "\x01auth=Bearer " token "\x01\x01") as its
/// initial response, the token from account.tokens. A refusal of a token
/// that was kept from before fetches a new one and tries once more, while
/// the server keeps the connection open.
///
/// Returns the server's 235, or its refusal; code 0 with the reason when no
/// token can be had: the token endpoint refused (the dialogue stays open, a
/// refused login), or cannot answer for now (the dialogue is closed, as
/// after a lost connection).
SmtpReply logInWithToken(SmtpDialogue& dialogue, const MailAccount& account);

/// The line that logs in `user` with `token`; it holds the token.
QByteArray xoauth2Command(const QString& user, const QByteArray& token);

}  // namespace corvex
