#include "mail/delivery_report.h"

#include "mail/mime_entity.h"
#include "mail/xtext.h"

#include <QRegularExpression>

#include <functional>

namespace corvex {

namespace {

constexpr qsizetype kLongestDiagnostic = 500;
// Our mails go to one buyer, or to the few addresses of one eMail field; a
// report naming more is not about one of them, and must not fill the ledger.
constexpr qsizetype kMostFailures = 20;

const MimeEntity* findEntity(const MimeEntity& entity, const std::function<bool(const MimeEntity&)>& wanted) {
  if (wanted(entity)) return &entity;
  for (const MimeEntity& part : entity.parts) {
    if (const MimeEntity* found = findEntity(part, wanted)) return found;
  }
  return nullptr;
}

const MimeEntity* ofType(const MimeEntity& entity, std::initializer_list<const char*> types) {
  return findEntity(entity, [types](const MimeEntity& candidate) {
    for (const char* type : types) {
      if (candidate.type == type) return true;
    }
    return false;
  });
}

QString text(const QByteArray& value, qsizetype longest = kLongestDiagnostic) {
  return QString::fromUtf8(value).simplified().left(longest);
}

// "<id@host>" or "id@host", with whatever comment follows.
QString messageIdOf(const QByteArray& value) {
  QByteArray id = value.trimmed();
  const qsizetype open = id.indexOf('<');
  const qsizetype close = id.indexOf('>', open + 1);
  if (open >= 0 && close > open) id = id.mid(open + 1, close - open - 1);
  return text(id.trimmed(), 250);
}

// "rfc822; ana@example.com" or "smtp; 550 5.1.1 ...": the part after the type.
QByteArray afterType(const QByteArray& value) {
  const qsizetype semicolon = value.indexOf(';');
  return (semicolon >= 0 ? value.mid(semicolon + 1) : value).trimmed();
}

QByteArray firstWord(const QByteArray& value) { return value.trimmed().split(' ').value(0).toLower(); }

// The blocks of fields of a delivery-status body: per message, then one per
// recipient, separated by empty lines.
QList<HeaderFields> fieldBlocks(const QByteArray& body) {
  QList<HeaderFields> blocks;
  QByteArray block;
  for (const QByteArray& rawLine : body.split('\n')) {
    const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
    if (!line.trimmed().isEmpty()) {
      block += line + '\n';
      continue;
    }
    if (!block.isEmpty()) blocks << headerFields(block);
    block.clear();
  }
  if (!block.isEmpty()) blocks << headerFields(block);
  return blocks;
}

void readStatusPart(const MimeEntity& part, DeliveryReport& report) {
  const QList<HeaderFields> blocks = fieldBlocks(part.body);
  bool recipients = false;
  for (const HeaderFields& block : blocks) {
    if (const QByteArray envelope = fieldValue(block, "original-envelope-id"); !envelope.isEmpty())
      report.envelopeId = xtextDecoded(envelope.trimmed()).left(250);
    const QByteArray action = firstWord(fieldValue(block, "action"));
    if (action.isEmpty()) continue;
    recipients = true;
    if (action != "failed" || report.failures.size() == kMostFailures) continue;
    QByteArray recipient = afterType(fieldValue(block, "final-recipient"));
    if (recipient.isEmpty()) recipient = afterType(fieldValue(block, "original-recipient"));
    report.failures << DeliveryReport::Failure{text(recipient, 250), text(firstWord(fieldValue(block, "status"))),
                                               text(afterType(fieldValue(block, "diagnostic-code")))};
  }
  if (!recipients) report.problem = QStringLiteral("a delivery report without recipient fields");
}

// The first enhanced status code in a text bounce and the line it stands in.
void readTextBounce(const MimeEntity& message, DeliveryReport& report) {
  static const QRegularExpression code(QStringLiteral("\\b([45]\\.\\d{1,3}\\.\\d{1,3})\\b"));
  const MimeEntity* body = ofType(message, {"text/plain"});
  const QString bodyText = body ? QString::fromUtf8(body->body) : QString();
  const QRegularExpressionMatch match = code.match(bodyText);
  QString status = QStringLiteral("5.0.0");
  QString diagnostic;
  if (match.hasMatch()) {
    status = match.captured(1);
    const qsizetype lineStart = bodyText.lastIndexOf(u'\n', match.capturedStart()) + 1;
    diagnostic = bodyText.mid(lineStart, bodyText.indexOf(u'\n', lineStart) - lineStart).simplified();
  }
  for (const QByteArray& recipient : message.header("x-failed-recipients").split(',')) {
    if (!recipient.trimmed().isEmpty() && report.failures.size() < kMostFailures)
      report.failures << DeliveryReport::Failure{text(recipient, 250), status, diagnostic.left(kLongestDiagnostic)};
  }
}

// The Message-ID of the mail that bounced: from the returned message or its
// headers, else from headers quoted in the text of the report.
QString returnedMessageId(const MimeEntity& message) {
  if (const MimeEntity* returned = ofType(message, {"message/rfc822", "message/global"});
      returned && !returned->parts.isEmpty())
    return messageIdOf(returned->parts.first().header("message-id"));
  if (const MimeEntity* headers = ofType(message, {"text/rfc822-headers", "message/global-headers"}))
    return messageIdOf(fieldValue(headerFields(headers->body), "message-id"));
  static const QRegularExpression quoted(
      QStringLiteral("^\\s*Message-ID:\\s*(<[^>\\r\\n]+>)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
  const MimeEntity* body = ofType(message, {"text/plain"});
  const QRegularExpressionMatch match = body ? quoted.match(QString::fromUtf8(body->body)) : QRegularExpressionMatch();
  return match.hasMatch() ? messageIdOf(match.captured(1).toUtf8()) : QString();
}

}  // namespace

DeliveryReport readDeliveryReport(const QByteArray& message) {
  const MimeEntity entity = readMimeEntity(message);
  DeliveryReport report;
  const MimeEntity* status = ofType(entity, {"message/delivery-status", "message/global-delivery-status"});
  if (status)
    readStatusPart(*status, report);
  else if (!entity.header("x-failed-recipients").isEmpty())
    readTextBounce(entity, report);
  else
    return report;
  report.isReport = true;
  report.reportId = messageIdOf(entity.header("message-id"));
  report.originalMessageId = returnedMessageId(entity);
  return report;
}

}  // namespace corvex
