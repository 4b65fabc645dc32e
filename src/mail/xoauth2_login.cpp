#include "mail/xoauth2_login.h"

#include "base/error.h"

namespace corvex {

namespace {

// A refused XOAUTH2 login may first come as a 334 carrying the error
// details; the client answers it with an empty line to get the final reply.
SmtpReply authenticate(SmtpDialogue& dialogue, const MailAccount& account, const QByteArray& token) {
  SmtpReply reply = dialogue.command(xoauth2Command(account.user, token));
  if (reply.code == kSmtpGoOn) reply = dialogue.command(QByteArray());
  return reply;
}

// A server that closed the connection after the refusal gets no second
// try: a new connection would log in anew, with the token now kept.
SmtpReply logInWith(SmtpDialogue& dialogue, const MailAccount& account, TokenCache::Token token) {
  SmtpReply reply = authenticate(dialogue, account, token.value);
  if (reply.code != kSmtpLoggedIn && token.kept) {
    token = account.tokens->renewed(token.value);
    if (dialogue.isOpen()) reply = authenticate(dialogue, account, token.value);
  }
  return reply;
}

}  // namespace

QByteArray xoauth2Command(const QString& user, const QByteArray& token) {
  return "AUTH XOAUTH2 " + ("user=" + user.toUtf8() +
                            "\x01"
                            "auth=Bearer " +
                            token + "\x01\x01")
                               .toBase64();
}

// Trapped here: a token the endpoint refuses refuses the login as surely as
// the server would. An endpoint that cannot answer for now ends the session
// as a lost connection does: no refusal, the message fails for this run.
SmtpReply logInWithToken(SmtpDialogue& dialogue, const MailAccount& account) {
  if (!account.tokens) return SmtpReply{0, QStringLiteral("no OAuth token source")};
  try {
    return logInWith(dialogue, account, account.tokens->token());
  } catch (const TokenUnavailableError& error) {
    dialogue.quit();
    return SmtpReply{0, error.description()};
  } catch (const Error& error) {
    return SmtpReply{0, error.description()};
  }
}

}  // namespace corvex
