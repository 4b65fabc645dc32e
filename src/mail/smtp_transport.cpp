#include "mail/smtp_transport.h"

#include "base/error.h"
#include "mail/smtp_connection.h"

#include <curl/curl.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr int kImplicitTlsPort = 465;

// CORVEX_SMTP_TIMEOUT_LIMIT (seconds) shortens every time-out below, so that
// tests of a stalling server need not wait minutes; it never lengthens one.
long limited(long seconds) {
  bool ok = false;
  const long limit = qEnvironmentVariableIntValue("CORVEX_SMTP_TIMEOUT_LIMIT", &ok);
  return ok && limit > 0 ? std::min(seconds, limit) : seconds;
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using StringList = std::unique_ptr<curl_slist, ListDeleter>;

struct Upload {
  const QByteArray& data;
  qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userData) {
  auto* upload = static_cast<Upload*>(userData);
  const size_t left = static_cast<size_t>(upload->data.size() - upload->offset);
  const size_t chunk = std::min(size * count, left);
  std::memcpy(buffer, upload->data.constData() + upload->offset, chunk);
  upload->offset += static_cast<qsizetype>(chunk);
  return chunk;
}

// libcurl is told not to use signals (it would otherwise disturb the event
// loop's), so a peer that resets a TLS connection under a write would raise
// SIGPIPE, whose default action ends the process.
void ignoreBrokenPipes() {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

// A failed setopt means this libcurl lacks something the program relies on
// (TLS, SMTP): a fault of the installation, not of one message.
template <typename Value>
void setOption(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) throw Error(kMailComponentError, QString::fromUtf8(curl_easy_strerror(code)));
}

QByteArray serverUrl(const SmtpAccount& account, TlsMode mode) {
  // An IPv6 address needs brackets in a URL.
  const QString host =
      account.server.contains(u':') && !account.server.startsWith(u'[') ? u'[' + account.server + u']' : account.server;
  const char* scheme = mode == TlsMode::Implicit ? "smtps://" : "smtp://";
  return scheme + host.toUtf8() + ':' + QByteArray::number(account.port);
}

// An empty bundle leaves libcurl's own default, the system store.
void setTrust(CURL* curl, const TrustBundle& trust) {
  if (!trust.pem.isEmpty()) {
    curl_blob blob{const_cast<char*>(trust.pem.constData()), static_cast<size_t>(trust.pem.size()), CURL_BLOB_COPY};
    setOption(curl, CURLOPT_CAINFO_BLOB, &blob);
  }
#ifdef _WIN32
  // Only an OpenSSL build heeds this; Schannel uses the Windows store anyway.
  setOption(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
  setOption(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  setOption(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

void setConnection(CURL* curl, const SmtpAccount& account, const TrustBundle& trust, char* errorBuffer) {
  const TlsMode mode = tlsModeFor(account.port, account.requireTls);
  setOption(curl, CURLOPT_URL, serverUrl(account, mode).constData());
  setOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setOption(curl, CURLOPT_NOSIGNAL, 1L);
  setOption(curl, CURLOPT_USE_SSL, static_cast<long>(mode == TlsMode::StartTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  setOption(curl, CURLOPT_CONNECTTIMEOUT, limited(kConnectTimeoutSeconds));
  setOption(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
  setOption(curl, CURLOPT_LOW_SPEED_TIME, limited(kLowSpeedSeconds));
  setOption(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limited(kSmtpReplyTimeoutSeconds));
  setOption(curl, CURLOPT_TIMEOUT, limited(kSmtpMessageTimeoutSeconds));
  setTrust(curl, trust);
}

void setLogin(CURL* curl, const SmtpAccount& account) {
  if (account.user.isEmpty()) return;
  setOption(curl, CURLOPT_USERNAME, account.user.toUtf8().constData());
  setOption(curl, CURLOPT_PASSWORD, account.password.toUtf8().constData());
}

StringList setEnvelope(CURL* curl, const QString& from, const QStringList& recipients) {
  setOption(curl, CURLOPT_MAIL_FROM, ('<' + from.toLatin1() + '>').constData());
  StringList rcpt;
  for (const QString& recipient : recipients) {
    curl_slist* grown = curl_slist_append(rcpt.get(), ('<' + recipient.toLatin1() + '>').constData());
    if (grown == nullptr) throw Error(kMailComponentError, QStringLiteral("Out of memory"));
    static_cast<void>(rcpt.release());  // `grown` now heads the same list
    rcpt.reset(grown);
  }
  setOption(curl, CURLOPT_MAIL_RCPT, rcpt.get());
  return rcpt;
}

void setUpload(CURL* curl, Upload& upload) {
  setOption(curl, CURLOPT_UPLOAD, 1L);
  setOption(curl, CURLOPT_READFUNCTION, readUpload);
  setOption(curl, CURLOPT_READDATA, &upload);
  setOption(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));
}

// Only a 5xx reply says the same message would fail again; everything else
// (4xx, a lost connection, a time-out, TLS trouble) may clear by itself.
SendResult classify(CURLcode code, long replyCode, const QString& text) {
  const int reply = static_cast<int>(replyCode);
  if (code == CURLE_OK) return SendResult::sent(reply);
  if (reply >= 500 && reply < 600) return SendResult::permanent(reply, text);
  return SendResult::temporary(reply, text);
}

}  // namespace

QString smtpAccountProblem(const SmtpAccount& account) {
  if (account.server.trimmed().isEmpty()) return QStringLiteral("no SMTP server configured");
  if (account.port < 1 || account.port > 65535) return QStringLiteral("invalid SMTP port %1").arg(account.port);
  return {};
}

// libcurl's detail names the step and the server's reply ("RCPT failed: 550");
// its generic text serves when there is no detail.
QString curlFailureText(CURLcode code, const char* errorBuffer) {
  const QString detail = QString::fromUtf8(errorBuffer).trimmed();
  return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

void setUpSmtpConnection(CURL* curl, const SmtpAccount& account, const TrustBundle& trust, char* errorBuffer) {
  setConnection(curl, account, trust, errorBuffer);
  setLogin(curl, account);
}

/// One libcurl handle and the connection it keeps between transfers.
class SmtpTransport::Session {
 public:
  Session(const SmtpAccount& account, const TrustBundle& trust) : m_curl(curl_easy_init()) {
    if (!m_curl) throw Error(kMailComponentError, QStringLiteral("libcurl could not be initialised"));
    setUpSmtpConnection(m_curl.get(), account, trust, m_errorBuffer);
  }

  SendResult send(const QString& from, const QStringList& recipients, const QByteArray& message) {
    m_errorBuffer[0] = '\0';
    // libcurl copies strings, but not lists: the recipients must outlive the transfer.
    const StringList rcpt = setEnvelope(m_curl.get(), from, recipients);
    Upload upload{message};
    setUpload(m_curl.get(), upload);
    const CURLcode code = curl_easy_perform(m_curl.get());
    setOption(m_curl.get(), CURLOPT_MAIL_RCPT, static_cast<curl_slist*>(nullptr));
    long replyCode = 0;
    curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &replyCode);
    m_uploaded = upload.offset > 0;
    ++m_messages;
    return classify(code, replyCode, curlFailureText(code, m_errorBuffer));
  }

  int messages() const { return m_messages; }
  /// Whether any byte of the last message was handed over.
  bool uploaded() const { return m_uploaded; }

 private:
  EasyHandle m_curl;
  char m_errorBuffer[CURL_ERROR_SIZE] = {};
  int m_messages = 0;
  bool m_uploaded = false;
};

TlsMode tlsModeFor(int port, bool requireTls) {
  if (!requireTls) return TlsMode::None;
  return port == kImplicitTlsPort ? TlsMode::Implicit : TlsMode::StartTls;
}

SmtpTransport::SmtpTransport(SmtpAccount account, int maxMessagesPerConnection)
    : m_account(std::move(account)), m_maxMessagesPerConnection(std::max(1, maxMessagesPerConnection)) {
  ignoreBrokenPipes();
}

SmtpTransport::~SmtpTransport() = default;

SendResult SmtpTransport::deliver(const QString& from, const QStringList& recipients, const QByteArray& message) {
  if (const QString problem = smtpAccountProblem(m_account); !problem.isEmpty())
    return SendResult::permanent(0, problem);
  const bool reused = m_session != nullptr;
  SendResult result = deliverOnce(from, recipients, message);
  // The server may close an idle session just as the next message starts;
  // with no reply and no byte of the message sent, nothing can have arrived.
  if (reused && result.isTemporary() && result.replyCode() == 0 && !m_lastUploaded)
    result = deliverOnce(from, recipients, message);
  return result;
}

SendResult SmtpTransport::deliverOnce(const QString& from, const QStringList& recipients, const QByteArray& message) {
  if (!m_session) {
    const TrustBundle trust = trustBundle();
    if (!trust.problem.isEmpty()) return SendResult::temporary(0, trust.problem);
    m_session = std::make_unique<Session>(m_account, trust);
  }
  const SendResult result = m_session->send(from, recipients, message);
  m_lastUploaded = m_session->uploaded();
  // After a failure the server's state of the dialogue is unknown: start over.
  if (!result.isSent() || m_session->messages() >= m_maxMessagesPerConnection) close();
  return result;
}

void SmtpTransport::close() { m_session.reset(); }

}  // namespace corvex
