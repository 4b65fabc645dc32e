#include "mail/xoauth2_login.h"

namespace corvex {

namespace {

constexpr int kLoggedIn = 235;
constexpr int kChallenge = 334;

// A refused XOAUTH2 login may first come as a 334 carrying the error
// details; the client answers it with an empty line to get the final reply.
SmtpReply authenticate(SmtpDialogue& dialogue, const SmtpAccount& account, const QByteArray& token) {
  SmtpReply reply = dialogue.command(xoauth2Command(account.user, token));
  if (reply.code == kChallenge) reply = dialogue.command(QByteArray());
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

SmtpReply logInWithToken(SmtpDialogue& dialogue, const SmtpAccount& account) {
  if (!account.tokens) return SmtpReply{0, QStringLiteral("AUTH XOAUTH2 failed: no token source")};
  TokenCache::Token token = account.tokens->token();
  SmtpReply reply = authenticate(dialogue, account, token.value);
  if (reply.code != kLoggedIn && token.kept) {
    token = account.tokens->renewed(token.value);
    if (!dialogue.isOpen()) reply = dialogue.open(account);
    if (dialogue.isOpen()) reply = authenticate(dialogue, account, token.value);
  }
  if (reply.code == kLoggedIn) return reply;
  return SmtpReply{reply.code, QStringLiteral("AUTH XOAUTH2 failed: ") + reply.toString()};
}

}  // namespace corvex
