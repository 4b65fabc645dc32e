#include "mail/smtp_dialogue.h"

#include "base/error.h"
#include "mail/helo_name.h"
#include "mail/mail_address.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_login.h"
#include "mail/xoauth2_login.h"

#include "net/tls_connection.h"

#include <QDeadlineTimer>

namespace corvex {

namespace {

int limitedMs(long seconds) { return static_cast<int>(limitedTimeout(seconds) * 1000); }

// QUIT is a courtesy: a server that does not answer it soon is left.
constexpr long kQuitTimeoutSeconds = 5;
// A write that makes no progress for this long is given up, as libcurl's
// transfer gave up one moving less than a byte a second.
constexpr long kStalledWriteSeconds = 60;
// No reply is this long; a peer that sends more is not an SMTP server.
constexpr qsizetype kMaxReplyBytes = 65536;

const QString kStoppedText = QStringLiteral("stopped: the program is stopping");

SmtpReply noReply(const QString& reason) { return SmtpReply{0, reason}; }

// A reply is complete at its last line: "250 text" (a blank after the code)
// where the lines before it read "250-text". Returns the reply's length.
qsizetype completeReplyLength(const QByteArray& buffer) {
  qsizetype start = 0;
  for (qsizetype end = buffer.indexOf("\r\n"); end >= 0; end = buffer.indexOf("\r\n", start)) {
    const QByteArray line = buffer.mid(start, end - start);
    start = end + 2;
    if (line.size() < 4 || line[3] == ' ') return start;
  }
  return -1;
}

SmtpReply parseReply(const QByteArray& bytes) {
  SmtpReply reply{bytes.left(3).toInt(), QString()};
  QStringList texts;
  for (const QByteArray& line : bytes.split('\n')) {
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.isEmpty()) texts << QString::fromUtf8(trimmed.mid(4));
  }
  reply.text = texts.join(u' ');
  return reply;
}

// SMTP ends the message at a line holding one dot, so a line of the message
// that begins with a dot gets a second one.
QByteArray dotStuffed(const QByteArray& message) {
  QByteArray stuffed = message.startsWith('.') ? "." + message : message;
  stuffed.replace("\r\n.", "\r\n..");
  if (!stuffed.endsWith("\r\n")) stuffed += "\r\n";
  return stuffed + ".\r\n";
}

}  // namespace

QString SmtpReply::toString() const { return code == 0 ? text : QStringLiteral("%1 %2").arg(code).arg(text); }

namespace {

/// What libcurl's start showed of the server: the lines of the last EHLO
/// reply, the last command it said and the last reply it read.
struct StartWatch {
  QList<QByteArray> ehlo;
  bool readingEhlo = false;
  QByteArray lastCommand;
  QByteArray lastReply;
  bool replyComplete = false;
};

bool isLastLine(const QByteArray& line) { return line.size() < 4 || line[3] == ' '; }

}  // namespace

struct SmtpDialogue::Session {
  explicit Session(std::unique_ptr<CurlTransfer> transfer, QList<QByteArray> ehlo)
      : connection(std::move(transfer)), ehlo(std::move(ehlo)) {}

  TlsConnection connection;
  QByteArray received;
  int replyTimeoutMs = limitedMs(kSmtpReplyTimeoutSeconds);
  /// The lines of the server's last EHLO reply.
  QList<QByteArray> ehlo;
};

namespace {

// libcurl reads the EHLO reply during its start but keeps the extensions to
// itself; its debug stream shows every line it reads, so the lines that
// follow the last EHLO it said are the server's extensions. The last reply
// read tells why a start failed in the server's own words.
int watchStart(CURL*, curl_infotype type, char* data, size_t size, void* userData) {
  auto* watch = static_cast<StartWatch*>(userData);
  const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
  if (type == CURLINFO_HEADER_OUT) {
    watch->lastCommand = line.split(' ').value(0);
    watch->readingEhlo = watch->lastCommand == "EHLO";
    if (watch->readingEhlo) watch->ehlo.clear();
  } else if (type == CURLINFO_HEADER_IN) {
    if (watch->replyComplete) watch->lastReply.clear();
    watch->lastReply += line + "\r\n";
    watch->replyComplete = isLastLine(line);
    if (watch->readingEhlo) watch->ehlo << line;
    if (watch->readingEhlo && isLastLine(line)) watch->readingEhlo = false;
  }
  return 0;
}

// Connect-only still runs libcurl's SMTP start: greeting, EHLO, STARTTLS and
// the certificate check; it stops before MAIL FROM, where we take over, and
// leaves the login to us, so that a refusal is answered with QUIT and logged
// in the server's words.
void setUpStart(CURL* curl, StartWatch* watch) {
  const bool set = curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L) == CURLE_OK &&
                   curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, watchStart) == CURLE_OK &&
                   curl_easy_setopt(curl, CURLOPT_DEBUGDATA, watch) == CURLE_OK &&
                   curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L) == CURLE_OK;
  if (!set) throw Error(kMailComponentError, QStringLiteral("libcurl cannot hand over the connection"));
}

// "greeting failed: 421 4.7.0 Too many connections": the step and the
// server's reply, where it sent one; else libcurl's reason.
SmtpReply startFailure(CURL* curl, CURLcode code, const StartWatch& watch, const char* errorBuffer) {
  long replyCode = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &replyCode);
  const SmtpReply reply = parseReply(watch.lastReply);
  // After a positive reply the fault is ours or the connection's (no
  // STARTTLS offered, a certificate refused): libcurl says which.
  if (replyCode == 0 || reply.code != replyCode || reply.isPositive())
    return SmtpReply{static_cast<int>(replyCode), curlFailureText(code, errorBuffer)};
  const QByteArray step = watch.lastCommand.isEmpty() ? QByteArray("greeting") : watch.lastCommand;
  return SmtpReply{reply.code, QString::fromLatin1(step) + QStringLiteral(" failed: ") + reply.toString()};
}

}  // namespace

SmtpDialogue::SmtpDialogue(StopCheck stop) : m_stop(std::move(stop)) {}

SmtpDialogue::~SmtpDialogue() { quit(); }

SmtpReply SmtpDialogue::open(const MailAccount& account) {
  m_session.reset();
  m_loginRefused = false;
  m_stopped = false;
  if (const QString problem = smtpAccountProblem(account); !problem.isEmpty()) return noReply(problem);
  const TrustBundle trust = trustBundle();
  if (!trust.problem.isEmpty()) return noReply(trust.problem);
  // Both outlive the handle, which writes into them until the hand-over.
  char errorBuffer[CURL_ERROR_SIZE] = {};
  StartWatch start;
  auto transfer = std::make_unique<CurlTransfer>();
  CURL* curl = transfer->easy();
  MailAccount named = account;
  if (named.heloName.isEmpty()) named.heloName = heloName(QString(), account.server);
  setUpSmtpConnection(curl, named, trust, errorBuffer);
  setUpStart(curl, &start);
  const CURLcode code = transfer->perform([this] { return stopAsked(m_stop); });
  if (code == CURLE_ABORTED_BY_CALLBACK) return lost(kStoppedText, true);
  if (code != CURLE_OK) return startFailure(curl, code, start, errorBuffer);
  auto session = std::make_unique<Session>(std::move(transfer), start.ehlo);
  if (!session->connection.isOpen()) return noReply(QStringLiteral("libcurl did not hand over the connection"));
  m_session = std::move(session);
  return logInAs(account);
}

// Without an AUTH extension the server asks for no login, as libcurl had it.
// A refusal (5xx, or no mechanism in common) ends the session with QUIT.
SmtpReply SmtpDialogue::logInAs(const MailAccount& account) {
  if (account.user.isEmpty() || !offers("AUTH")) return {};
  const SmtpReply reply =
      account.auth == SmtpAuth::XOAuth2 ? logInWithToken(*this, account) : logIn(*this, account, parameters("AUTH"));
  if (reply.code == kSmtpLoggedIn) return {};
  m_loginRefused = isOpen() && (reply.code == 0 || reply.code >= 500);
  quit();
  const QString what = m_loginRefused ? QStringLiteral("refused") : QStringLiteral("failed");
  return SmtpReply{reply.code, QStringLiteral("login as %1 %2: %3").arg(account.user, what, reply.toString())};
}

bool SmtpDialogue::offers(const QByteArray& extension) const { return extensionLine(extension).has_value(); }

QList<QByteArray> SmtpDialogue::parameters(const QByteArray& extension) const {
  QList<QByteArray> words = extensionLine(extension).value_or(QList<QByteArray>());
  if (!words.isEmpty()) words.removeFirst();
  return words;
}

// The keyword and parameters of the extension's line in the EHLO reply.
std::optional<QList<QByteArray>> SmtpDialogue::extensionLine(const QByteArray& extension) const {
  if (!m_session) return std::nullopt;
  // The first line names the server; each further one an extension.
  const QList<QByteArray>& lines = m_session->ehlo;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QList<QByteArray> words = lines[i].mid(4).simplified().split(' ');
    if (words.value(0).compare(extension, Qt::CaseInsensitive) == 0) return words;
  }
  return std::nullopt;
}

SmtpReply SmtpDialogue::command(const QByteArray& line) {
  return send(line + "\r\n", m_session ? m_session->replyTimeoutMs : 0, true);
}

SmtpReply SmtpDialogue::write(const QList<QByteArray>& lines) {
  QByteArray flight;
  for (const QByteArray& line : lines) flight += line + "\r\n";
  return writeAll(flight, limitedMs(kSmtpReplyTimeoutSeconds), true);
}

SmtpReply SmtpDialogue::sendData(const QByteArray& message, const QList<QByteArray>& then) {
  QByteArray flight = dotStuffed(message);
  for (const QByteArray& line : then) flight += line + "\r\n";
  return send(flight, limitedMs(kSmtpMessageTimeoutSeconds), false);
}

void SmtpDialogue::quit() {
  if (!m_session) return;
  m_session->replyTimeoutMs = limitedMs(kQuitTimeoutSeconds);
  command("QUIT");
  m_session.reset();
}

void SmtpDialogue::abandon() { m_session.reset(); }

// The content of a message and the reply to it are the two waits no stop
// ends (see the class comment).
SmtpReply SmtpDialogue::send(const QByteArray& bytes, int timeoutMs, bool stoppable) {
  const SmtpReply written = writeAll(bytes, timeoutMs, stoppable);
  return m_session ? receive(stoppable) : written;
}

// Returns a reply of code 0 with an empty text when all went out.
SmtpReply SmtpDialogue::writeAll(const QByteArray& bytes, int timeoutMs, bool stoppable) {
  if (!m_session) return noReply(QStringLiteral("not connected"));
  const QString failure = m_session->connection.writeAll(
      bytes, QDeadlineTimer(timeoutMs), limitedMs(kStalledWriteSeconds), stoppable ? m_stop : StopCheck());
  if (failure.isEmpty()) return {};
  const bool stopped = stoppable && stopAsked(m_stop);
  return lost(stopped ? kStoppedText : QStringLiteral("sending to the server failed: ") + failure, stopped);
}

SmtpReply SmtpDialogue::lost(const QString& reason, bool stopped) {
  m_session.reset();
  m_stopped = m_stopped || stopped;
  return noReply(reason);
}

SmtpReply SmtpDialogue::readReply() { return receive(true); }

SmtpReply SmtpDialogue::receive(bool stoppable) {
  if (!m_session) return noReply(QStringLiteral("not connected"));
  const QDeadlineTimer deadline(m_session->replyTimeoutMs);
  qsizetype length = completeReplyLength(m_session->received);
  while (length < 0) {
    const TlsConnection::Read read =
        m_session->connection.read(m_session->received, deadline, stoppable ? m_stop : StopCheck());
    if (read == TlsConnection::Read::Stopped) return lost(kStoppedText, true);
    if (read != TlsConnection::Read::Data) {
      const int seconds = m_session->replyTimeoutMs / 1000;
      return lost(read == TlsConnection::Read::TimedOut
                      ? QStringLiteral("no reply from the server within %1 s").arg(seconds)
                      : QStringLiteral("the server closed the connection"),
                  false);
    }
    if (m_session->received.size() > kMaxReplyBytes)
      return lost(QStringLiteral("the server's reply is too long"), false);
    length = completeReplyLength(m_session->received);
  }
  const SmtpReply reply = parseReply(m_session->received.left(length));
  m_session->received.remove(0, length);
  return reply;
}

// Only a bare address goes into a command line: one with a line break in it
// would smuggle in a command of its own.
QString envelopeProblem(const QString& from, const QStringList& recipients) {
  QString problem = addressProblem(QStringLiteral("sender"), from);
  for (const QString& recipient : recipients) {
    if (problem.isEmpty()) problem = addressProblem(QStringLiteral("recipient"), recipient);
  }
  return problem;
}

bool SmtpDialogue::stillOpen() {
  if (!m_session) return false;
  if (m_session->connection.stillOpen(m_session->received)) return true;
  m_session.reset();
  return false;
}

SmtpReply probeSender(const MailAccount& account, const QString& from, const StopCheck& stop, bool* loggedIn) {
  if (const QString problem = envelopeProblem(from, {}); !problem.isEmpty()) return noReply(problem);
  SmtpDialogue dialogue(stop);
  // Without the step's reply code: the operator's fix depends on MAIL FROM's alone.
  if (const SmtpReply failure = dialogue.open(account); !dialogue.isOpen()) return noReply(failure.text);
  if (loggedIn) *loggedIn = true;
  const SmtpReply reply = dialogue.command("MAIL FROM:<" + from.toUtf8() + '>');
  dialogue.command("RSET");
  return reply;
}

}  // namespace corvex
