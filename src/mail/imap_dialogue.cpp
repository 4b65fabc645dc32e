#include "mail/imap_dialogue.h"

#include "base/error.h"
#include "mail/smtp_connection.h"
#include "net/trust_store.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLoginTimeoutSeconds = 60;
constexpr long kReplyTimeoutSeconds = 30;
constexpr long kLogoutTimeoutSeconds = 5;
// No response line is this long (a UID SEARCH of a huge folder stays far
// below); a peer that sends more is not an IMAP server.
constexpr qsizetype kMaxLineBytes = 4 * 1024 * 1024;

int limitedMs(long seconds) { return static_cast<int>(limitedTimeout(seconds) * 1000); }

// The server's last words during libcurl's start, to say why a login was
// refused; continuation requests ("+ ...") are only challenges.
int watchStart(CURL*, curl_infotype type, char* data, size_t size, void* userData) {
  const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
  if (type == CURLINFO_HEADER_IN && !line.startsWith('+')) *static_cast<QByteArray*>(userData) = line;
  return 0;
}

QByteArray serverUrl(const MailboxAddress& address) {
  const QString host = address.host.contains(u':') ? u'[' + address.host + u']' : address.host;
  const char* scheme = address.kind == MailboxAddress::Kind::Imaps ? "imaps://" : "imap://";
  return scheme + host.toUtf8() + ':' + QByteArray::number(address.port) + '/';
}

struct Start {
  char errorBuffer[CURL_ERROR_SIZE] = {};
  QByteArray lastReply;
};

void setUpLogin(CURL* curl, const ImapLogin& login, const QByteArray& token) {
  setCurlOption(curl, CURLOPT_USERNAME, login.user.toUtf8().constData());
  if (token.isEmpty()) {
    setCurlOption(curl, CURLOPT_PASSWORD, login.password.toUtf8().constData());
    return;
  }
  setCurlOption(curl, CURLOPT_XOAUTH2_BEARER, token.constData());
  setCurlOption(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
}

// Connect-only runs libcurl's IMAP start: greeting, CAPABILITY, STARTTLS,
// the certificate check and the login; the commands after it are ours.
void setUpStart(CURL* curl, const ImapLogin& login, const QByteArray& token, Start* start) {
  const bool startTls = login.address.kind == MailboxAddress::Kind::Imap;
  setCurlOption(curl, CURLOPT_URL, serverUrl(login.address).constData());
  setCurlOption(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
  setCurlOption(curl, CURLOPT_CONNECT_ONLY, 1L);
  setCurlOption(curl, CURLOPT_ERRORBUFFER, start->errorBuffer);
  setCurlOption(curl, CURLOPT_NOSIGNAL, 1L);
  setCurlOption(curl, CURLOPT_USE_SSL, static_cast<long>(startTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  setCurlOption(curl, CURLOPT_CONNECTTIMEOUT, limitedTimeout(kConnectTimeoutSeconds));
  setCurlOption(curl, CURLOPT_TIMEOUT, limitedTimeout(kLoginTimeoutSeconds));
  setUpLogin(curl, login, token);
  setCurlOption(curl, CURLOPT_DEBUGFUNCTION, watchStart);
  setCurlOption(curl, CURLOPT_DEBUGDATA, &start->lastReply);
  setCurlOption(curl, CURLOPT_VERBOSE, 1L);
}

// "{123}" or "{123+}" (a non-synchronizing literal) at the line's end.
qsizetype literalSize(const QByteArray& line) {
  static const QRegularExpression literal(QStringLiteral("\\{(\\d{1,10})\\+?\\}$"));
  const QRegularExpressionMatch match = literal.match(QString::fromLatin1(line.right(14)));
  return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

}  // namespace

ImapDialogue::ImapDialogue(qsizetype maxLiteralBytes, std::function<bool()> stopRequested)
    : m_maxLiteralBytes(maxLiteralBytes), m_stopRequested(std::move(stopRequested)) {}

ImapDialogue::~ImapDialogue() { logout(); }

// Trapped here: a token that cannot be had refuses the login as surely as
// the server would.
QString ImapDialogue::open(const ImapLogin& login) {
  m_received.clear();
  m_replyTimeoutMs = limitedMs(kReplyTimeoutSeconds);
  m_loginRefused = false;
  if (!login.tokens) return connect(login, QByteArray());
  try {
    const TokenCache::Token token = login.tokens->token();
    const QString failure = connect(login, token.value);
    if (failure.isEmpty() || !token.kept || !m_loginRefused) return failure;
    return connect(login, login.tokens->renewed(token.value).value);
  } catch (const Error& error) {
    return QStringLiteral("no OAuth token for the login as %1: %2").arg(login.user, error.description());
  }
}

QString ImapDialogue::connect(const ImapLogin& login, const QByteArray& token) {
  m_connection.reset();
  const TrustBundle trust = trustBundle();
  if (!trust.problem.isEmpty()) return trust.problem;
  Start start;
  auto transfer = std::make_unique<CurlTransfer>();
  setUpStart(transfer->easy(), login, token, &start);
  if (setUpTrust(transfer->easy(), trust) != CURLE_OK)
    throw Error(kMailComponentError, QStringLiteral("libcurl cannot check certificates"));
  const CURLcode code = transfer->perform([this] { return stopAsked(m_stopRequested); });
  if (code == CURLE_ABORTED_BY_CALLBACK) return QStringLiteral("stopped");
  if (code == CURLE_LOGIN_DENIED) {
    m_loginRefused = true;
    const QString reason = start.lastReply.isEmpty() ? curlFailureText(code, start.errorBuffer)
                                                     : QString::fromUtf8(start.lastReply.left(300));
    return QStringLiteral("login as %1 refused: %2").arg(login.user, reason);
  }
  if (code != CURLE_OK) return curlFailureText(code, start.errorBuffer);
  m_connection = std::make_unique<TlsConnection>(std::move(transfer));
  return isOpen() ? QString() : QStringLiteral("libcurl did not hand over the connection");
}

ImapReply ImapDialogue::command(const QByteArray& command) {
  ImapReply reply;
  if (!isOpen()) {
    reply.text = QStringLiteral("not connected");
    return reply;
  }
  const QByteArray tag = 'c' + QByteArray::number(++m_lastTag);
  const QString failure =
      m_connection->writeAll(tag + ' ' + command + "\r\n", QDeadlineTimer(m_replyTimeoutMs), m_replyTimeoutMs);
  if (!failure.isEmpty()) {
    reply.text = QStringLiteral("sending to the server failed: ") + failure;
    return reply;
  }
  for (;;) {
    std::optional<ImapReply::Untagged> response = readResponse(&reply.text);
    if (!response) return reply;
    if (response->line.startsWith(tag + ' ')) {
      const QByteArray status = response->line.mid(tag.size() + 1);
      reply.ok = status.startsWith("OK");
      reply.text = QString::fromUtf8(status.left(300));
      return reply;
    }
    if (response->line.startsWith("* ")) reply.untagged << *response;
  }
}

// One response: a line, and where it ends in a literal, the literal's bytes
// and the rest of the response after them.
std::optional<ImapReply::Untagged> ImapDialogue::readResponse(QString* failure) {
  ImapReply::Untagged response;
  for (;;) {
    const std::optional<qsizetype> end = lineEnd(0);
    if (!end) {
      *failure = m_failure;
      return std::nullopt;
    }
    const QByteArray line = m_received.left(*end);
    m_received.remove(0, *end + 2);
    response.line += line;
    const qsizetype size = literalSize(line);
    if (size < 0) return response;
    if (size > m_maxLiteralBytes) {
      m_connection.reset();
      *failure =
          QStringLiteral("the server sent %1 bytes where at most %2 were asked for").arg(size).arg(m_maxLiteralBytes);
      return std::nullopt;
    }
    while (m_received.size() < size) {
      if (!fill()) {
        *failure = m_failure;
        return std::nullopt;
      }
    }
    response.literals << m_received.left(size);
    m_received.remove(0, size);
  }
}

std::optional<qsizetype> ImapDialogue::lineEnd(qsizetype from) {
  for (;;) {
    const qsizetype end = m_received.indexOf("\r\n", from);
    if (end >= 0) return end;
    if (m_received.size() > kMaxLineBytes) {
      m_connection.reset();
      m_failure = QStringLiteral("the server's response line is too long");
      return std::nullopt;
    }
    if (!fill()) return std::nullopt;
  }
}

bool ImapDialogue::fill() {
  if (!isOpen()) {
    m_failure = QStringLiteral("not connected");
    return false;
  }
  const TlsConnection::Read read = m_connection->read(m_received, QDeadlineTimer(m_replyTimeoutMs));
  if (read == TlsConnection::Read::Data) return true;
  m_connection.reset();
  m_failure = read == TlsConnection::Read::TimedOut
                  ? QStringLiteral("no reply from the server within %1 s").arg(m_replyTimeoutMs / 1000)
                  : QStringLiteral("the server closed the connection");
  return false;
}

void ImapDialogue::logout() {
  if (!isOpen()) return;
  m_replyTimeoutMs = limitedMs(kLogoutTimeoutSeconds);
  command("LOGOUT");
  m_connection.reset();
}

QByteArray imapMailboxName(const QString& name) {
  QByteArray quoted = "\"";
  QString unprintable;
  const auto flush = [&] {
    if (unprintable.isEmpty()) return;
    QByteArray utf16;
    for (const QChar c : unprintable) utf16 += char(c.unicode() >> 8) + QByteArray(1, char(c.unicode() & 0xff));
    quoted += '&' + utf16.toBase64(QByteArray::OmitTrailingEquals).replace('/', ',') + '-';
    unprintable.clear();
  };
  for (const QChar c : name) {
    const char16_t code = c.unicode();
    if (code < 0x20 || code > 0x7e) {
      unprintable += c;
      continue;
    }
    flush();
    if (code == '&')
      quoted += "&-";
    else if (code == '"' || code == '\\')
      quoted += '\\' + QByteArray(1, char(code));
    else
      quoted += char(code);
  }
  flush();
  return quoted + '"';
}

}  // namespace corvex
