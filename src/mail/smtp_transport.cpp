#include "mail/smtp_transport.h"

#include "mail/xtext.h"

#include <algorithm>
#include <csignal>
#include <optional>

namespace corvex {

namespace {

constexpr int kStartInput = 354;

// libcurl is told not to use signals (it would otherwise disturb the event
// loop's), so a peer that resets a TLS connection under a write would raise
// SIGPIPE, whose default action ends the process.
void ignoreBrokenPipes() {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

// "RCPT TO:<b@example.com> failed: 550 5.1.1 Mailbox unavailable": the
// command names the step, and for a recipient the recipient.
SmtpReply failed(const QByteArray& command, const SmtpReply& reply) {
  const QByteArray step = command.startsWith("MAIL FROM") ? QByteArray("MAIL FROM") : command;
  return SmtpReply{reply.code, QString::fromUtf8(step) + QStringLiteral(" failed: ") + reply.toString()};
}

// Only a 5xx reply says the same message would fail again; everything else
// (4xx, a lost connection, a time-out, TLS trouble) may clear by itself.
SendResult classify(const SmtpReply& reply) {
  if (reply.code >= 500 && reply.code < 600) return SendResult::permanent(reply.code, reply.text);
  return SendResult::temporary(reply.code, reply.text);
}

SendResult finalResult(const SmtpReply& reply) {
  if (reply.code >= 200 && reply.code < 300) return SendResult::sent(reply.code, reply.toString());
  return classify(failed("message", reply));
}

}  // namespace

SmtpTransport::SmtpTransport(MailAccount account, int maxMessagesPerConnection, StopCheck stop)
    : m_account(std::move(account)),
      m_maxMessagesPerConnection(std::max(1, maxMessagesPerConnection)),
      m_stop(stop),
      m_dialogue(std::move(stop)) {
  ignoreBrokenPipes();
}

SmtpTransport::~SmtpTransport() = default;

SendResult SmtpTransport::deliver(const MailEnvelope& envelope, const QByteArray& message, const MailEnvelope* next) {
  if (const QString problem = smtpAccountProblem(m_account); !problem.isEmpty())
    return SendResult::permanent(0, problem);
  if (const QString problem = envelopeProblem(envelope.from, envelope.recipients); !problem.isEmpty())
    return SendResult::permanent(0, problem);
  if (stopAsked(m_stop)) return SendResult::stopped();
  const bool reused = m_dialogue.isOpen();
  Attempt attempt = deliverOnce(envelope, message, next);
  // The server may close an idle session just as the next message starts;
  // with no reply and no byte of the content sent, nothing can have arrived.
  if (reused && attempt.result.isTemporary() && attempt.result.replyCode() == 0 && !attempt.contentStarted &&
      !stopAsked(m_stop))
    attempt = deliverOnce(envelope, message, next);
  // A failure before the content that came with a stop (a wait it ended, a
  // token request it cut) says nothing about the server.
  if (!attempt.result.isSent() && !attempt.contentStarted && (m_dialogue.stopped() || stopAsked(m_stop)))
    return SendResult::stopped();
  return attempt.result;
}

SmtpTransport::Attempt SmtpTransport::deliverOnce(const MailEnvelope& envelope, const QByteArray& message,
                                                  const MailEnvelope* next) {
  if (!m_dialogue.isOpen()) {
    m_sentAhead.reset();
    const SmtpReply failure = m_dialogue.open(m_account);
    const auto reach = m_dialogue.loginRefused() ? SendResult::Reach::Account : SendResult::Reach::Session;
    if (!m_dialogue.isOpen()) return Attempt{classify(failure).reaching(reach), false};
    m_messagesOnConnection = 0;
  }
  Attempt attempt{SendResult::temporary(0, QString()), false};
  SmtpReply reply = startMessage(envelope);
  // A server that closes after a number of messages may still have answered
  // what came ahead: gone before any byte of the content, it has nothing,
  // and a new connection serves.
  if (reply.code == kStartInput && !m_dialogue.stillOpen())
    reply = SmtpReply{0, QStringLiteral("the server closed the connection")};
  if (reply.code == kStartInput) {
    attempt.contentStarted = true;
    const QList<QByteArray> ahead = sentAhead(next);
    reply = m_dialogue.sendData(message, ahead);
    if (!ahead.isEmpty() && m_dialogue.isOpen()) m_sentAhead = *next;
    attempt.result = finalResult(reply);
  } else {
    attempt.result = classify(reply);
  }
  ++m_messagesOnConnection;
  if (!goesOn(attempt.result) || m_messagesOnConnection >= m_maxMessagesPerConnection) close();
  return attempt;
}

// A refusal in the server's words leaves the dialogue where it can take the
// next message (the envelope was reset, or the content answered); after a
// 421, a lost connection or a time-out its state is unknown: start over.
bool SmtpTransport::goesOn(const SendResult& result) const {
  if (!m_dialogue.isOpen()) return false;
  return result.isSent() || (result.replyCode() != 0 && !result.isServiceClosing());
}

// Returns the 354 that asks for the content, or the failed step's reply. An
// envelope sent ahead for this very message only has its replies read.
SmtpReply SmtpTransport::startMessage(const MailEnvelope& envelope) {
  if (m_sentAhead && *m_sentAhead == envelope) {
    m_sentAhead.reset();
    return readGroup(envelopeCommands(envelope) << "DATA");
  }
  dropSentAhead();
  const QList<QByteArray> commands = envelopeCommands(envelope);
  if (m_dialogue.offers("PIPELINING")) return sendPipelined(commands, envelope.recipients.size() == 1);
  return sendOneByOne(commands);
}

QList<QByteArray> SmtpTransport::envelopeCommands(const MailEnvelope& envelope) const {
  QByteArray mail = "MAIL FROM:<" + envelope.from.toUtf8() + '>';
  if (m_dialogue.offers("SIZE")) mail += " SIZE=" + QByteArray::number(envelope.size);
  // A bounce then names the mail it is about, and carries only its headers.
  if (m_dialogue.offers("DSN") && !envelope.envelopeId.isEmpty())
    mail += " RET=HDRS ENVID=" + xtextEncoded(envelope.envelopeId);
  QList<QByteArray> commands{mail};
  for (const QString& recipient : envelope.recipients) commands << "RCPT TO:<" + recipient.toUtf8() + '>';
  return commands;
}

// Only a single recipient's envelope goes ahead (see sendPipelined()), and
// only when the next message will use this connection too.
QList<QByteArray> SmtpTransport::sentAhead(const MailEnvelope* next) const {
  if (next == nullptr || next->recipients.size() != 1 || !m_dialogue.offers("PIPELINING") ||
      m_messagesOnConnection + 1 >= m_maxMessagesPerConnection ||
      !envelopeProblem(next->from, next->recipients).isEmpty())
    return {};
  return envelopeCommands(*next) << "DATA";
}

// The replies come in the order of the commands; the first refusal is the
// message's failure. DATA joins the flight only for a single recipient: with
// several, the server would take the message as soon as one of them was
// accepted, so DATA waits until all were.
SmtpReply SmtpTransport::sendPipelined(const QList<QByteArray>& commands, bool dataInGroup) {
  QList<QByteArray> group = commands;
  if (dataInGroup) group << "DATA";
  if (const SmtpReply lost = m_dialogue.write(group); !m_dialogue.isOpen()) return failed(group.first(), lost);
  const SmtpReply reply = readGroup(group);
  if (dataInGroup || reply.code != 0 || !m_dialogue.isOpen()) return reply;
  return askForContent();
}

// Returns the 354 to a DATA in `group`, code 0 with no text when all but a
// held-back DATA were accepted, or the first refusal. A 354 that follows a
// refusal would take whatever comes next as the message: the connection is
// dropped instead, and the message is never sent. After a refusal the
// envelope is reset.
SmtpReply SmtpTransport::readGroup(const QList<QByteArray>& group) {
  std::optional<SmtpReply> refusal;
  for (const QByteArray& command : group) {
    const SmtpReply reply = m_dialogue.readReply();
    const bool isData = command == "DATA";
    if (isData && reply.code == kStartInput && refusal) m_dialogue.abandon();
    if (isData && reply.code == kStartInput && !refusal) return reply;
    if ((!reply.isPositive() || isData) && !refusal) refusal = failed(command, reply);
    if (!m_dialogue.isOpen()) return *refusal;
  }
  if (!refusal) return {};
  m_dialogue.command("RSET");
  return *refusal;
}

SmtpReply SmtpTransport::sendOneByOne(const QList<QByteArray>& commands) {
  for (const QByteArray& command : commands) {
    const SmtpReply reply = m_dialogue.command(command);
    if (reply.isPositive()) continue;
    if (command != commands.first() && m_dialogue.isOpen()) m_dialogue.command("RSET");
    return failed(command, reply);
  }
  return askForContent();
}

// DATA refused after every recipient was accepted: the envelope is reset.
SmtpReply SmtpTransport::askForContent() {
  const SmtpReply data = m_dialogue.command("DATA");
  if (data.code == kStartInput) return data;
  if (m_dialogue.isOpen()) m_dialogue.command("RSET");
  return failed("DATA", data);
}

// Its replies must be read before QUIT: a 354 among them means the server
// now takes every line for the message, so the connection is dropped.
void SmtpTransport::dropSentAhead() {
  if (!m_sentAhead) return;
  const QList<QByteArray> group = envelopeCommands(*m_sentAhead) << "DATA";
  m_sentAhead.reset();
  for (qsizetype i = 0; i < group.size() && m_dialogue.isOpen(); ++i) {
    if (m_dialogue.readReply().code == kStartInput) m_dialogue.abandon();
  }
}

void SmtpTransport::close() {
  dropSentAhead();
  m_dialogue.quit();
}

}  // namespace corvex
