#pragma once

#include "mail/outgoing_message.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvex {

/// The envelope of one message: MAIL FROM, RCPT TO, and its size for SIZE.
struct MailEnvelope {
  QString from;
  QStringList recipients;
  qsizetype size = 0;

  bool operator==(const MailEnvelope&) const = default;
};

/// One message as it goes on the wire: its envelope and its complete MIME
/// text, or why it cannot be sent as addressed.
struct PreparedMail {
  MailEnvelope envelope;
  QByteArray mime;
  /// The Message-ID without its domain: names the .eml in a pickup folder.
  QString name;
  /// Not empty: a bad sender or recipient (see OutgoingMessage::addressProblem()).
  QString problem;
};

/// `message` with a new Message-ID and the current date.
PreparedMail prepareMail(const OutgoingMessage& message);

}  // namespace corvex
