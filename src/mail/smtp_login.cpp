#include "mail/smtp_login.h"

#include <QMessageAuthenticationCode>

namespace corvex {

namespace {

QByteArray base64(const QByteArray& bytes) { return bytes.toBase64(); }

SmtpReply plain(SmtpDialogue& dialogue, const MailAccount& account) {
  return dialogue.command("AUTH PLAIN " + base64('\0' + account.user.toUtf8() + '\0' + account.password.toUtf8()));
}

SmtpReply login(SmtpDialogue& dialogue, const MailAccount& account) {
  SmtpReply reply = dialogue.command("AUTH LOGIN");
  if (reply.code == kSmtpGoOn) reply = dialogue.command(base64(account.user.toUtf8()));
  if (reply.code == kSmtpGoOn) reply = dialogue.command(base64(account.password.toUtf8()));
  return reply;
}

// RFC 2195: the server's challenge, keyed with the password.
SmtpReply cramMd5(SmtpDialogue& dialogue, const MailAccount& account) {
  const SmtpReply reply = dialogue.command("AUTH CRAM-MD5");
  if (reply.code != kSmtpGoOn) return reply;
  const QByteArray challenge = QByteArray::fromBase64(reply.text.toLatin1());
  const QByteArray digest =
      QMessageAuthenticationCode::hash(challenge, account.password.toUtf8(), QCryptographicHash::Md5).toHex();
  return dialogue.command(base64(account.user.toUtf8() + ' ' + digest));
}

bool offered(const QList<QByteArray>& mechanisms, const char* name) {
  for (const QByteArray& mechanism : mechanisms)
    if (mechanism.compare(name, Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

SmtpReply logIn(SmtpDialogue& dialogue, const MailAccount& account, const QList<QByteArray>& mechanisms) {
  const bool plainText = tlsModeFor(account.port, account.requireTls) == TlsMode::None;
  SmtpReply reply{0, QStringLiteral("the server offers no login mechanism Corvex speaks (AUTH %1)")
                         .arg(QString::fromLatin1(mechanisms.join(' ')))};
  if (plainText && offered(mechanisms, "CRAM-MD5"))
    reply = cramMd5(dialogue, account);
  else if (offered(mechanisms, "PLAIN"))
    reply = plain(dialogue, account);
  else if (offered(mechanisms, "LOGIN"))
    reply = login(dialogue, account);
  else if (offered(mechanisms, "CRAM-MD5"))
    reply = cramMd5(dialogue, account);
  // A server still asking has refused what it got: "*" cancels the exchange
  // (RFC 4954), and its answer to that is the refusal.
  if (reply.code == kSmtpGoOn) reply = dialogue.command("*");
  return reply;
}

}  // namespace corvex
