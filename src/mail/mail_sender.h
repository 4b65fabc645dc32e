#pragma once

#include "base/app_folder.h"
#include "base/stop_check.h"
#include "mail/graph_transport.h"
#include "mail/message_sender.h"
#include "mail/prepared_mail.h"
#include "mail/send_result.h"
#include "mail/smtp_transport.h"

#include <QString>

#include <memory>

namespace corvex {

/// The transport of one session: the server and account to deliver through.
/// It keeps its SMTP session open from one send() to the next (see
/// SmtpTransport) until close(). The EHLO name (account.heloName, or the
/// machine's own, see heloName()) is worked out once, at the first send.
///
/// A server given as "pickup:DIR" (DIR relative to the Application folder, or
/// absolute) writes each message as an .eml file into DIR instead; it ignores
/// port, account and TLS, and a written file counts as sent. A server given
/// as "graph:..." sends through Microsoft Graph (see GraphTransport) with the
/// account's tokens.
///
/// Every wait before a message's data ends on `stop` (see SmtpTransport and
/// GraphTransport). One sender is used by one thread at a time.
class MailSender : public MessageSender {
 public:
  MailSender(AppFolder folder, MailAccount account, int maxMessagesPerConnection, StopCheck stop = {});

  /// Delivers `mail`: Sent when the server (or the pickup folder) took it; a
  /// badly addressed message is a permanent failure and never leaves. When
  /// `next` is the message this sender delivers next, its envelope may open
  /// in the same flight as this message's content (see SmtpTransport).
  /// Raises Error when the transport itself cannot be set up.
  SendResult send(const PreparedMail& mail, const PreparedMail* next = nullptr) override;

  /// Ends an open SMTP session politely (QUIT).
  void close() override;

 private:
  SendResult sendThroughGraph(const PreparedMail& mail);

  AppFolder m_folder;
  MailAccount m_account;
  int m_maxMessagesPerConnection;
  StopCheck m_stop;
  std::unique_ptr<SmtpTransport> m_transport;
  std::unique_ptr<GraphTransport> m_graph;
};

}  // namespace corvex
