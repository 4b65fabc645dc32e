#include "mail/mail_sender.h"

#include "mail/helo_name.h"
#include "mail/pickup_folder.h"

namespace corvex {

MailSender::MailSender(AppFolder folder, MailAccount account, int maxMessagesPerConnection, StopCheck stop)
    : m_folder(std::move(folder)),
      m_account(std::move(account)),
      m_maxMessagesPerConnection(maxMessagesPerConnection),
      m_stop(std::move(stop)) {}

SendResult MailSender::send(const PreparedMail& mail, const PreparedMail* next) {
  if (!mail.problem.isEmpty()) return SendResult::permanent(0, mail.problem);
  const QString pickupPrefix = QString::fromLatin1(kPickupPrefix);
  if (m_account.server.startsWith(pickupPrefix))
    return writeToPickupFolder(m_folder.path(m_account.server.mid(pickupPrefix.size())), mail.name, mail.mime);
  if (isGraphServer(m_account.server)) return sendThroughGraph(mail);
  if (!m_transport) {
    MailAccount account = m_account;
    account.heloName = heloName(m_account.heloName, m_account.server);
    m_transport = std::make_unique<SmtpTransport>(account, m_maxMessagesPerConnection, m_stop);
  }
  const bool chainable = next != nullptr && next->problem.isEmpty();
  return m_transport->deliver(mail.envelope, mail.mime, chainable ? &next->envelope : nullptr);
}

SendResult MailSender::sendThroughGraph(const PreparedMail& mail) {
  if (!m_graph) m_graph = std::make_unique<GraphTransport>(m_account.server, m_account.tokens, m_stop);
  return m_graph->deliver(mail.envelope.from, mail.mime);
}

void MailSender::close() {
  if (m_transport) m_transport->close();
}

}  // namespace corvex
