#include "mail/bounce_digest.h"

#include "base/clock.h"
#include "mail/mail_account.h"
#include "mail/reply_hints.h"

namespace corvex {

namespace {

QString bounceText(const LedgerEntry& bounce, const HintContext& context) {
  const QString reply = (bounce.status + QLatin1Char(' ') + bounce.diagnostic).trimmed();
  QString text =
      QStringLiteral("%1 (%2), mailed to %3, bounced %4:\r\n  %5\r\n")
          .arg(bounce.documentKey(), bounce.idDocumento, bounce.to, formatTimestamp(bounce.time.toLocalTime()), reply);
  if (const QString hint = replyHint(reply, context); !hint.isEmpty()) text += QStringLiteral("  %1\r\n").arg(hint);
  return text + QStringLiteral("  corvex resend %1 %2 --to ADDRESS\r\n\r\n").arg(bounce.serie).arg(bounce.numero);
}

}  // namespace

OutgoingMessage bounceDigest(const Settings& settings, const QList<LedgerEntry>& bounces) {
  const HintContext context{settings.OAuth.Provider, usesTokens(settings)};
  QString body = QStringLiteral(
      "The buyers' mail servers refused these electronic tax documents after Corvex's server had accepted them.\r\n"
      "Correct each buyer's address in the sales system, then have Corvex mail the document again with the command "
      "shown.\r\n\r\n");
  for (const LedgerEntry& bounce : bounces) body += bounceText(bounce, context);
  OutgoingMessage message;
  message.setFrom(settings.sysSMTPFrom);
  message.setSubject(QStringLiteral("Corvex: %1 bounced %2")
                         .arg(bounces.size())
                         .arg(bounces.size() == 1 ? QStringLiteral("mail") : QStringLiteral("mails")));
  message.setBody(body);
  message.addRecipient(QString(), settings.Bounces.Notify);
  return message;
}

}  // namespace corvex
