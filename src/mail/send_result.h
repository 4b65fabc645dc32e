#pragma once

#include <QString>

#include <QtGlobal>

namespace corvex {

/// The outcome of handing one message to a transport, the one way every
/// transport (SMTP, Graph, pickup folder) and the Mailer report a send.
///
/// Temporary failures (a 4xx reply, a lost or timed-out connection, a send
/// held back by the configured rate limit) may clear by themselves; permanent
/// ones (a 5xx reply, an address or attachment that cannot be used) will not
/// clear until the document or the set-up changes.
class SendResult {
 public:
  enum class Kind { Sent, Temporary, Permanent };
  /// What a failure says beyond its own message.
  enum class Reach {
    Message,  ///< only this message failed
    Session,  ///< no session could be opened (a 421 greeting, say); nothing of the message went out
    /// the server refused the login (or no token could be had): every further
    /// message of this run would fail alike; nothing of this one went out
    Account,
    /// the service asked to be left alone for longer than a run may wait
    /// (pauseSeconds()): every further message would be turned away alike;
    /// nothing of this one went out
    Pause,
    /// a stop request ended a wait before the message's data: nothing of it
    /// went out, and it was not tried as far as the document is concerned
    Stop,
  };

  static SendResult sent(int replyCode = 0, QString text = QString()) {
    return SendResult(Kind::Sent, replyCode, std::move(text));
  }
  static SendResult temporary(int replyCode, QString text) {
    return SendResult(Kind::Temporary, replyCode, std::move(text));
  }
  static SendResult permanent(int replyCode, QString text) {
    return SendResult(Kind::Permanent, replyCode, std::move(text));
  }
  /// A temporary failure that reaches the account (see Reach::Account).
  static SendResult stopping(int replyCode, QString text) {
    return temporary(replyCode, std::move(text)).reaching(Reach::Account);
  }
  /// The service asks, with `replyCode` and `text`, to be left alone for
  /// `seconds`.
  static SendResult paused(int replyCode, QString text, qint64 seconds) {
    SendResult result = temporary(replyCode, std::move(text)).reaching(Reach::Pause);
    result.m_pauseSeconds = seconds;
    return result;
  }
  /// Nothing went out: a stop request came first.
  static SendResult stopped() {
    return temporary(0, QStringLiteral("not sent: the program is stopping")).reaching(Reach::Stop);
  }
  /// The failure, with how far it reaches.
  SendResult reaching(Reach reach) const {
    SendResult result = *this;
    result.m_reach = reach;
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
  Reach reach() const { return m_reach; }
  /// The server refused the login: nothing more can be sent in this run.
  bool isLoginRefused() const { return m_reach == Reach::Account; }
  /// The service asked to be left alone for pauseSeconds().
  bool isPause() const { return m_reach == Reach::Pause; }
  qint64 pauseSeconds() const { return m_pauseSeconds; }
  /// A stop request ended the send before anything went out.
  bool isStopped() const { return m_reach == Reach::Stop; }
  /// Whether every further message would fail alike (a refused login, a
  /// pause): the run sends nothing more.
  bool stopsSending() const { return isLoginRefused() || isPause(); }

 private:
  SendResult(Kind kind, int replyCode, QString text) : m_kind(kind), m_replyCode(replyCode), m_text(std::move(text)) {}

  Kind m_kind;
  int m_replyCode;
  QString m_text;
  Reach m_reach = Reach::Message;
  qint64 m_pauseSeconds = 0;
};

}  // namespace corvex
