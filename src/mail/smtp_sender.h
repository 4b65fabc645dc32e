#pragma once

#include "base/app_folder.h"
#include "mail/outgoing_message.h"
#include "mail/smtp_transport.h"

#include <QString>

namespace corvex {

/// The transport for one call: the server and account to deliver through.
/// A server given as "pickup:DIR" (DIR relative to the Application folder, or
/// absolute) writes each message as an .eml file into DIR instead; it ignores
/// port, account and TLS, and a written file counts as sent.
class SmtpSender {
 public:
  explicit SmtpSender(AppFolder folder);

  void setServer(const QString& server) { m_account.server = server; }
  void setPort(int port) { m_account.port = port; }
  void setUser(const QString& user) { m_account.user = user; }
  void setPassword(const QString& password) { m_account.password = password; }
  /// The Boolean transport option: require TLS (see tlsModeFor()).
  void setRequireTls(bool require) { m_account.requireTls = require; }

  /// Delivers `message`. True when the server (or the pickup folder) took it;
  /// false with the reason in lastError() otherwise, a badly addressed message
  /// included. Raises Error when the transport itself cannot be set up.
  bool send(const OutgoingMessage& message);

  const QString& lastError() const { return m_lastError; }

 private:
  QString deliver(const OutgoingMessage& message);

  AppFolder m_folder;
  SmtpAccount m_account;
  QString m_lastError;
};

}  // namespace corvex
