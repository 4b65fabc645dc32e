#include "mail/bounce_reader.h"

#include "base/error.h"
#include "mail/bounce_digest.h"
#include "mail/graph_mailbox.h"
#include "mail/imap_mailbox.h"
#include "mail/login_wait.h"
#include "mail/mail_account.h"
#include "mail/mail_address.h"
#include "mail/mail_sender.h"
#include "mail/mailbox_address.h"
#include "mail/reply_hints.h"

#include <QElapsedTimer>

namespace corvex {

namespace {

// Bounds of one read: the rest waits for the next one.
constexpr int kMostMessages = 100;
constexpr qsizetype kMaxMessageBytes = 1024 * 1024;
constexpr qint64 kReadBudgetMs = 60000;
// A mailbox read for the first time: the reports of the last week.
constexpr int kLookBackDays = 7;
// Reports come within days (a delayed mail is given up after five): the
// ledger's last two months hold every mail they can be about.
constexpr int kLedgerMonths = 2;

const QString kMailboxKey = QStringLiteral("[Bounces] Mailbox");
const QString kDoneKey = QStringLiteral("[Bounces] DoneFolder");
const QString kDigestKey = QStringLiteral("[Bounces] Notify");
const QString kStateKey = QString::fromLatin1(BounceState::kFileName);

QString reportName(const DeliveryReport& report) {
  return report.reportId.isEmpty() ? QStringLiteral("without a Message-ID") : u'<' + report.reportId + u'>';
}

}  // namespace

BounceReader::BounceReader(BounceParts parts) : m_parts(std::move(parts)) {}

// Trapped here: whatever keeps the mailbox from being read is logged, and
// mailing goes on.
void BounceReader::read() {
  BounceState state = readBounceState(m_parts.folder);
  if (state.mailbox != m_parts.settings.Bounces.Mailbox) {
    state.mailbox = m_parts.settings.Bounces.Mailbox;
    state.cursor = QJsonObject();
  }
  const QDateTime now = m_parts.clock.now();
  state.lastRead = now;
  save(state);
  LedgerView view = LedgerView::read(m_parts.ledger, now.date().addMonths(1 - kLedgerMonths), now.date());
  try {
    readMessages(state, view);
    if (!state.failure.isEmpty()) m_parts.log.WriteLog(QStringLiteral("Corvex=> Bounces are read again"));
    m_failures.succeeded(kMailboxKey);
    state.failure.clear();
    state.failingSince = QDateTime();
    state.lastSuccess = now;
  } catch (const Error& error) {
    failed(state, error.description());
  }
  save(state);
  sendDigest(state, view);
}

void BounceReader::readMessages(BounceState& state, LedgerView& view) {
  const std::unique_ptr<BounceMailbox> mailbox = openMailbox();
  const QStringList ids = mailbox->arrivedAfter(state.cursor, kLookBackDays, kMostMessages);
  QElapsedTimer spent;
  spent.start();
  for (const QString& id : ids) {
    if (m_parts.stopRequested() || spent.hasExpired(kReadBudgetMs)) break;
    if (handle(mailbox->fetch(id, kMaxMessageBytes), view)) moveToDone(*mailbox, id);
    state.cursor = mailbox->cursorAfter(id);
    save(state);
  }
  mailbox->close();
}

std::unique_ptr<BounceMailbox> BounceReader::openMailbox() {
  const Settings& settings = m_parts.settings;
  const MailboxAddress address = mailboxAddress(settings.Bounces.Mailbox);
  if (address.kind == MailboxAddress::Kind::Graph)
    return std::make_unique<GraphMailbox>(address.graphBase, parseMailbox(settings.sysSMTPFrom).address,
                                          tokens(kMicrosoftGraphScope));
  ImapLogin login{address, settings.Bounces.User, settings.Bounces.Password, nullptr};
  if (login.user.isEmpty()) {
    login.user = settings.sysSMTPUser;
    login.password = settings.sysSMTPPassword;
    if (usesTokens(settings)) login.tokens = tokens(kMicrosoftSmtpScope);
  }
  return std::make_unique<ImapMailbox>(login, !settings.Bounces.DoneFolder.isEmpty(), kMaxMessageBytes,
                                       m_parts.stopRequested);
}

// Microsoft's Exchange scope covers IMAP as it covers SMTP; Google's mail
// scope covers both by itself.
std::shared_ptr<TokenCache> BounceReader::tokens(const char* scope) {
  if (!m_tokens) {
    TokenClient client = tokenClientOf(m_parts.settings, m_parts.folder);
    client.defaultScope = QString::fromLatin1(scope);
    m_tokens = std::make_shared<TokenCache>([client] { return requestToken(client); });
  }
  return m_tokens;
}

// True for a report about one of our mails, recorded now or before.
bool BounceReader::handle(const QByteArray& message, LedgerView& view) {
  const DeliveryReport report = readDeliveryReport(message);
  if (!report.isReport) return false;
  const QString skipped = QStringLiteral("Corvex=> Bounce report %1 skipped: ").arg(reportName(report));
  if (!report.problem.isEmpty()) {
    m_parts.log.WriteLog(skipped + report.problem);
    return false;
  }
  // Delayed or relayed only: the mail may still arrive.
  if (report.failures.isEmpty()) return false;
  const LedgerEntry* mail = report.envelopeId.isEmpty() ? nullptr : view.mailByEnvelopeId(report.envelopeId);
  if (!mail && !report.originalMessageId.isEmpty()) mail = view.mailByMessageId(report.originalMessageId);
  if (!mail) {
    m_parts.log.WriteLog(skipped +
                         QStringLiteral("it names no mail of the ledger (envelope id \"%1\", Message-ID <%2>)")
                             .arg(report.envelopeId, report.originalMessageId));
    return false;
  }
  record(report, LedgerEntry(*mail), view);
  return true;
}

void BounceReader::record(const DeliveryReport& report, const LedgerEntry& mail, LedgerView& view) {
  const HintContext context{m_parts.settings.OAuth.Provider, usesTokens(m_parts.settings)};
  for (const DeliveryReport::Failure& failure : report.failures) {
    LedgerEntry bounce = mail;
    bounce.kind = LedgerEntry::Kind::Bounce;
    bounce.time = m_parts.clock.now();
    bounce.envelopeId = bounce.transport = bounce.reply = QString();
    bounce.attachments.clear();
    bounce.resend = false;
    bounce.status = failure.status;
    bounce.diagnostic = failure.diagnostic;
    bounce.reportId = report.reportId;
    bounce.recipient = failure.recipient.isEmpty() ? mail.to : failure.recipient;
    const QString label = mail.documentKey() + QStringLiteral("--") + mail.to;
    if (view.contains(bounce)) {
      m_parts.log.WriteLog(QStringLiteral("Corvex=> Bounce report %1 skipped: the bounce of %2 is recorded already")
                               .arg(reportName(report), label));
      continue;
    }
    m_parts.ledger.append(bounce);
    view.add(bounce);
    m_parts.log.WriteLog(withHint(
        QStringLiteral("Corvex=> Bounced: %1: %2 %3").arg(label, bounce.status, bounce.diagnostic).trimmed(), context));
  }
}

void BounceReader::moveToDone(BounceMailbox& mailbox, const QString& id) {
  const QString folder = m_parts.settings.Bounces.DoneFolder;
  if (folder.isEmpty()) return;
  // Trapped here: a report that stays where it is harms nothing.
  try {
    mailbox.move(id, folder);
  } catch (const Error& error) {
    logThrottled(
        kDoneKey,
        QStringLiteral("Corvex=> A bounce report could not be moved to %1: %2").arg(folder, error.description()));
  }
}

void BounceReader::failed(BounceState& state, const QString& reason) {
  if (state.failure.isEmpty()) state.failingSince = m_parts.clock.now();
  state.failure = reason;
  logThrottled(
      kMailboxKey,
      QStringLiteral("Corvex=> Bounces cannot be read from %1: %2").arg(m_parts.settings.Bounces.Mailbox, reason));
}

// Once a day, the bounces read since the last digest; none while sending
// waits after a refused login, which a further login would only prolong.
void BounceReader::sendDigest(BounceState& state, const LedgerView& view) {
  const QString notify = m_parts.settings.Bounces.Notify;
  const QDateTime now = m_parts.clock.now();
  if (notify.isEmpty() || state.lastDigest == now.date()) return;
  const QList<LedgerEntry> bounces = view.bouncesSince(
      state.digestedThrough.isValid() ? state.digestedThrough.addSecs(1) : now.addDays(-kLookBackDays));
  const std::optional<SendingWait> wait = readSendingWait(m_parts.folder);
  if (bounces.isEmpty() || (wait && wait->until > now)) return;
  SendResult result = SendResult::temporary(0, QString());
  // Trapped here: a digest that cannot go out is tried again at the next read.
  try {
    result = MailSender(m_parts.folder, mailAccount(m_parts.settings, m_parts.folder), 1)
                 .send(prepareMail(bounceDigest(m_parts.settings, bounces)));
  } catch (const Error& error) {
    result = SendResult::temporary(0, error.description());
  }
  if (!result.isSent()) {
    logThrottled(
        kDigestKey,
        QStringLiteral("Corvex=> The digest of bounces to %1 could not be mailed: %2").arg(notify, result.text()));
    return;
  }
  m_parts.log.WriteLog(QStringLiteral("Corvex=> Digest of %1 bounces mailed to %2").arg(bounces.size()).arg(notify));
  state.lastDigest = now.date();
  state.digestedThrough = bounces.last().time;
  save(state);
}

void BounceReader::logThrottled(const QString& key, const QString& line) {
  const QString text = m_failures.failed(key, line, false, m_parts.clock.now());
  if (!text.isEmpty()) m_parts.log.WriteLog(text);
}

// Trapped here: a cursor that could not be kept only means reading some
// messages again, which records nothing twice.
void BounceReader::save(const BounceState& state) {
  try {
    writeBounceState(m_parts.files, m_parts.folder, state);
  } catch (const FileError& error) {
    logThrottled(kStateKey, QStringLiteral("Corvex=> ") + error.description());
  }
}

}  // namespace corvex
