#pragma once

#include <QString>

namespace corvex {

/// The outcome of handing one message to a transport, the one way every
/// transport (SMTP, pickup folder) and the Mailer report a send.
///
/// Temporary failures (a 4xx reply, a lost or timed-out connection, a send
/// held back by the configured rate limit) may clear by themselves; permanent
/// ones (a 5xx reply, an address or attachment that cannot be used) will not
/// clear until the document or the set-up changes.
class SendResult {
 public:
  enum class Kind { Sent, Temporary, Permanent };

  static SendResult sent(int replyCode = 0, QString text = QString()) {
    return SendResult(Kind::Sent, replyCode, std::move(text));
  }
  static SendResult temporary(int replyCode, QString text) {
    return SendResult(Kind::Temporary, replyCode, std::move(text));
  }
  static SendResult permanent(int replyCode, QString text) {
    return SendResult(Kind::Permanent, replyCode, std::move(text));
  }
  /// The transport can deliver nothing more in this run (the login or its
  /// token was refused, the service asks to wait longer than a run may):
  /// a temporary failure that stops the run's sending, the message never
  /// having reached the server.
  static SendResult stopping(int replyCode, QString text) {
    SendResult result(Kind::Temporary, replyCode, std::move(text));
    result.m_stopsSending = true;
    return result;
  }

  Kind kind() const { return m_kind; }
  bool isSent() const { return m_kind == Kind::Sent; }
  bool isTemporary() const { return m_kind == Kind::Temporary; }
  bool isPermanent() const { return m_kind == Kind::Permanent; }
  /// The server's last reply code (e.g. 250, 421, 550); 0 when no server
  /// reply stands behind the outcome (pickup folder, lost connection, a
  /// local problem).
  int replyCode() const { return m_replyCode; }
  /// The server's reply or the reason of the failure, fit for a log line;
  /// never a password.
  const QString& text() const { return m_text; }
  /// A 421 reply: the server is closing the session and wants no more mail
  /// for now.
  bool isServiceClosing() const { return m_replyCode == 421; }
  /// See stopping().
  bool stopsSending() const { return m_stopsSending; }

 private:
  SendResult(Kind kind, int replyCode, QString text) : m_kind(kind), m_replyCode(replyCode), m_text(std::move(text)) {}

  Kind m_kind;
  int m_replyCode;
  QString m_text;
  bool m_stopsSending = false;
};

}  // namespace corvex
