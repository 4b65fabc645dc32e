#pragma once

#include "base/stop_check.h"
#include "mail/smtp_connection.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace corvex {

/// The replies of a login: done (RFC 4954), and go on with the next step.
inline constexpr int kSmtpLoggedIn = 235;
inline constexpr int kSmtpGoOn = 334;

/// One reply of an SMTP server: its code and its text (all lines joined by
/// blanks, without the codes). Code 0 stands for no reply at all; the text
/// then says why (connection, TLS, certificate or login failure, time-out).
struct SmtpReply {
  int code = 0;
  QString text;

  bool isPositive() const { return code >= 200 && code < 400; }
  /// "250 2.0.0 Ok: queued as 4F2A" or the reason there was no reply.
  QString toString() const;
};

/// A conversation with an SMTP server in which the program speaks the
/// commands itself: libcurl connects, secures the connection and checks the
/// certificate (setUpSmtpConnection()), reads the greeting, says EHLO and logs
/// in; then the program writes commands and reads their replies, one at a
/// time or several in one flight (RFC 2920 PIPELINING, when offered()). The
/// session says QUIT when it ends.
///
/// Every wait for the server is bounded: 60 s for a reply, 300 s for sending
/// a message, 60 s without progress while writing (all shortened by
/// limitedTimeout()). Every wait but two ends too as soon as `stop` says so
/// (see StopCheck): sending a message's content and waiting for the reply to
/// it are never cut short, since the server may have taken the message and
/// only that reply says so. Any failure to write or read ends the session:
/// the dialogue is then closed and says so in the reply. One dialogue is
/// used by one thread at a time.
class SmtpDialogue {
 public:
  explicit SmtpDialogue(StopCheck stop = {});
  ~SmtpDialogue();
  SmtpDialogue(const SmtpDialogue&) = delete;
  SmtpDialogue& operator=(const SmtpDialogue&) = delete;

  /// Connects, secures and logs in (see logIn()), saying EHLO with
  /// account.heloName (or, when it is empty, with heloName() of the server).
  /// Returns a reply of code 0 on success, else the reason naming the step
  /// that failed with the server's reply ("greeting failed: 421 4.7.0 ...",
  /// "login as ana refused: 535 5.7.8 ..."); the dialogue is then closed,
  /// after a refused login with QUIT. Raises Error 429 when libcurl itself
  /// cannot be set up.
  SmtpReply open(const MailAccount& account);
  bool isOpen() const { return m_session != nullptr; }
  /// Whether the last open() failed because the server refused the login (a
  /// 5xx reply to AUTH, or no mechanism in common): trying again with the
  /// same account would only be refused again.
  bool loginRefused() const { return m_loginRefused; }
  /// Whether the dialogue was closed because a stop request ended a wait.
  bool stopped() const { return m_stopped; }
  /// Whether the server's last EHLO reply named `extension` ("PIPELINING",
  /// "SIZE"), in any case.
  bool offers(const QByteArray& extension) const;
  /// The words after `extension` in that reply ("PLAIN", "LOGIN" for AUTH).
  QList<QByteArray> parameters(const QByteArray& extension) const;

  /// Sends `line` (without CR LF) and returns the server's reply.
  SmtpReply command(const QByteArray& line);
  /// Sends `lines` (each without CR LF) in one flight; their replies are then
  /// read, in order, with readReply(). A failure comes back as a reply of
  /// code 0, and the dialogue is closed.
  SmtpReply write(const QList<QByteArray>& lines);
  /// The next reply the server sends.
  SmtpReply readReply();
  /// Whether the server has not closed the connection meanwhile; looks
  /// without waiting, and keeps whatever it finds for readReply(). A closed
  /// connection closes the dialogue.
  bool stillOpen();
  /// After a 354 reply to DATA: sends `message` (CR LF line ends),
  /// dot-stuffed, and the final "." line, then `then` (commands, each without
  /// CR LF) in the same flight; returns the server's final reply to the
  /// message, which no stop cuts short. The replies to `then` are read with
  /// readReply().
  SmtpReply sendData(const QByteArray& message, const QList<QByteArray>& then = {});
  /// QUIT, when the session is still open; the reply is not waited for long.
  void quit();
  /// Closes the connection without a word: after a 354 the server takes every
  /// command for part of the message, and a message cut off without its
  /// final "." is never delivered.
  void abandon();

 private:
  struct Session;
  SmtpReply logInAs(const MailAccount& account);
  std::optional<QList<QByteArray>> extensionLine(const QByteArray& extension) const;
  SmtpReply send(const QByteArray& bytes, int timeoutMs, bool stoppable);
  SmtpReply writeAll(const QByteArray& bytes, int timeoutMs, bool stoppable);
  SmtpReply receive(bool stoppable);
  SmtpReply lost(const QString& reason, bool stopped);

  StopCheck m_stop;
  std::unique_ptr<Session> m_session;
  bool m_loginRefused = false;
  bool m_stopped = false;
};

/// Why `from` or one of `recipients` cannot go into a command line (it is
/// not a bare address), or an empty text.
QString envelopeProblem(const QString& from, const QStringList& recipients);

/// Checks the account up to the sender: connect, TLS, certificate, login,
/// then "MAIL FROM:<from>"; then RSET and QUIT, so nothing is ever sent.
/// Returns the reply to MAIL FROM, or the failure of an earlier step; sets
/// `loggedIn` (when given) once the login succeeded. `stop` ends its waits.
SmtpReply probeSender(const MailAccount& account, const QString& from, const StopCheck& stop = {},
                      bool* loggedIn = nullptr);

}  // namespace corvex
