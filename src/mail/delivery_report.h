#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvex {

/// What a delivery status notification (RFC 3464) says, read from a
/// mailbox's message: a multipart/report of report-type delivery-status
/// (its message/delivery-status or message/global-delivery-status part,
/// wherever it is nested, as Exchange and Gmail send it), or a bounce in
/// plain text that names its failed recipients in X-Failed-Recipients (as
/// Exim and Gmail's older form do).
struct DeliveryReport {
  /// A recipient the reporting server gave up on (Action: failed); delayed
  /// and relayed recipients are no failure and are not listed.
  struct Failure {
    QString recipient;
    /// The enhanced status code ("5.1.1"); "5.0.0" when a text bounce gives none.
    QString status;
    /// The server's diagnostic ("smtp; 550 5.1.1 ..." without its type).
    QString diagnostic;
  };

  /// The message is a delivery report at all.
  bool isReport = false;
  /// Why a report could not be read; empty when it could.
  QString problem;
  /// Original-Envelope-Id, decoded from xtext.
  QString envelopeId;
  /// The Message-ID of the returned message or headers, without brackets.
  QString originalMessageId;
  /// The report's own Message-ID, without brackets.
  QString reportId;
  /// At most 20: a report that names more is about no mail of ours.
  QList<Failure> failures;
};

/// Reads `message` (a whole RFC 5322 message, or its first bytes: a report
/// cut short still gives what it holds). Never raises: anything that is no
/// report is one with isReport false.
DeliveryReport readDeliveryReport(const QByteArray& message);

}  // namespace corvex
