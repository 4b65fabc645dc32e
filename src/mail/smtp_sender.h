#pragma once

#include "base/app_folder.h"
#include "mail/outgoing_message.h"
#include "mail/send_result.h"
#include "mail/smtp_transport.h"

#include <QString>

#include <memory>

namespace corvex {

/// The transport: the server and account to deliver through. It keeps its
/// SMTP session open from one send() to the next (see SmtpTransport) until
/// close(), or until the server or account is changed.
///
/// A server given as "pickup:DIR" (DIR relative to the Application folder, or
/// absolute) writes each message as an .eml file into DIR instead; it ignores
/// port, account and TLS, and a written file counts as sent.
class SmtpSender {
 public:
  SmtpSender(AppFolder folder, int maxMessagesPerConnection);

  void setServer(const QString& server) { configure(&SmtpAccount::server, server); }
  void setPort(int port) { configure(&SmtpAccount::port, port); }
  void setUser(const QString& user) { configure(&SmtpAccount::user, user); }
  void setPassword(const QString& password) { configure(&SmtpAccount::password, password); }
  /// The Boolean transport option: require TLS (see tlsModeFor()).
  void setRequireTls(bool require) { configure(&SmtpAccount::requireTls, require); }
  /// The configured EHLO name; empty: the machine's own, worked out once per
  /// transport (see heloName()).
  void setHeloName(const QString& name) { configure(&SmtpAccount::heloName, name); }

  /// Delivers `message`. True when the server (or the pickup folder) took it;
  /// false with the reason in lastError() otherwise, a badly addressed message
  /// (a permanent failure) included. Raises Error when the transport itself
  /// cannot be set up.
  bool send(const OutgoingMessage& message);

  const QString& lastError() const { return m_lastResult.text(); }
  /// The outcome of the last send().
  const SendResult& lastResult() const { return m_lastResult; }

  /// Ends an open SMTP session politely (QUIT).
  void close();

 private:
  template <typename Value>
  void configure(Value SmtpAccount::*field, const Value& value) {
    if (m_account.*field == value) return;
    m_account.*field = value;
    m_transport.reset();  // a session belongs to one server and account
  }
  SendResult deliver(const OutgoingMessage& message);

  AppFolder m_folder;
  int m_maxMessagesPerConnection;
  SmtpAccount m_account;
  std::unique_ptr<SmtpTransport> m_transport;
  SendResult m_lastResult = SendResult::sent();
};

}  // namespace corvex
