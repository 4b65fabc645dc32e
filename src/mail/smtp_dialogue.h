#pragma once

#include "mail/smtp_transport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace corvex {

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

/// A conversation with the configured SMTP server in which the program speaks
/// the commands itself, for the operator's checks: libcurl connects, secures
/// the connection and checks the certificate exactly as for a delivery
/// (setUpSmtpConnection()), reads the greeting, says EHLO and logs in; then
/// command() sends plain commands. The session says QUIT when it ends.
///
/// Every wait for the server is bounded by the delivery's time-outs: 60 s
/// for a reply, 300 s for sending a message.
class SmtpDialogue {
 public:
  SmtpDialogue();
  ~SmtpDialogue();
  SmtpDialogue(const SmtpDialogue&) = delete;
  SmtpDialogue& operator=(const SmtpDialogue&) = delete;

  /// Connects, secures and logs in. Returns an empty text, or the reason
  /// naming the step that failed; the dialogue is then unusable. Raises Error
  /// 429 when libcurl itself cannot be set up.
  QString open(const SmtpAccount& account);
  /// Sends `line` (without CR LF) and returns the server's reply.
  SmtpReply command(const QByteArray& line);
  /// After a positive reply to DATA: sends `message` (CR LF line ends),
  /// dot-stuffed, and the final "." line; returns the server's final reply.
  SmtpReply sendData(const QByteArray& message);
  /// QUIT, when the session is still open; the reply is not waited for long.
  void quit();

 private:
  struct Session;
  SmtpReply send(const QByteArray& bytes, int timeoutMs);
  SmtpReply readReply();

  std::unique_ptr<Session> m_session;
};

/// Checks the account up to the sender: connect, TLS, certificate, login,
/// then "MAIL FROM:<from>"; then RSET and QUIT, so nothing is ever sent.
/// Returns the reply to MAIL FROM, or the failure of an earlier step.
SmtpReply probeSender(const SmtpAccount& account, const QString& from);

/// Delivers `message` to `recipients` in a dialogue of its own and returns
/// the server's final reply to the message (or to the step that failed).
/// Addresses that are not bare ones are refused before anything is sent.
SmtpReply deliverWithReply(const SmtpAccount& account, const QString& from, const QStringList& recipients,
                           const QByteArray& message);

}  // namespace corvex
