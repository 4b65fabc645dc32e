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
  /// The id a server that offers DSN (RFC 3461) hands back in a delivery
  /// report as Original-Envelope-Id; empty: none asked for.
  QString envelopeId = {};

  bool operator==(const MailEnvelope&) const = default;
};

/// One message as it goes on the wire: its envelope and its complete MIME
/// text, or why it cannot be sent as addressed.
struct PreparedMail {
  MailEnvelope envelope;
  QByteArray mime;
  /// The Message-ID without its domain: names the .eml in a pickup folder.
  QString name;
  /// The Message-ID without its angle brackets.
  QString messageId;
  QList<AttachmentDigest> attachments;
  /// Not empty: a bad sender or recipient (see OutgoingMessage::addressProblem()).
  QString problem;
};

/// `message` with a new Message-ID and the current date. A non-empty
/// `envelopeKey` (a document's key) asks for an envelope id made of it and
/// the Message-ID's own part, so that a delivery report names the very mail
/// it is about; the key is left out where the id would exceed the 100
/// characters RFC 3461 allows.
PreparedMail prepareMail(const OutgoingMessage& message, const QString& envelopeKey = QString());

/// What is kept of one mail a transport accepted, for the delivery ledger.
struct MailReceipt {
  QString messageId;
  QString envelopeId;
  /// "smtp", "graph" or "pickup".
  QString transport;
  /// The server's final reply (SMTP's "250 ...", Graph's status and request
  /// id) or, for a pickup folder, the file written.
  QString reply;
  QList<AttachmentDigest> attachments;
};

/// The receipt of `mail` once `server` (sysSMTPServer) accepted it with `reply`.
MailReceipt mailReceipt(const PreparedMail& mail, const QString& server, const QString& reply);

}  // namespace corvex
