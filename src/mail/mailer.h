#pragma once

#include "base/app_folder.h"
#include "base/settings.h"
#include "log/daily_log.h"

#include <QString>

namespace corvex {

class OutgoingMessage;

/// Sends the documents' e-mails with the server and account of the Settings
/// and remembers whether the last one went out.
///
/// "settings" and "log" must outlive this object.
class Mailer {
 public:
  Mailer(const Settings& settings, AppFolder folder, const DailyLog& log);

  /// Sends one message with the two files attached, to every address in
  /// `recipient` (';' or ',' separated). Writes exactly one log line:
  /// "Corvex=> Email sent successfully! " + logLabel, or the reason it failed
  /// after "Corvex=> Failed to add attachment 1: ", "... attachment 2: " or
  /// "Corvex=> Email send failed: ". Attachment 2 is not looked at when
  /// attachment 1 fails; nothing is sent when either fails. The files are
  /// never changed.
  ///
  /// Raises Error, without a log line, when the mail transport cannot be set
  /// up; MailSent() is then false.
  void SendMail(const QString& subject, const QString& body, const QString& recipient, const QString& attachment1,
                const QString& attachment2, const QString& logLabel);

  /// True only when the last SendMail call had its message accepted.
  bool MailSent() const { return m_mailSent; }

 private:
  bool attach(OutgoingMessage& message, const QString& path, int number) const;

  const Settings& m_settings;
  AppFolder m_folder;
  const DailyLog& m_log;
  bool m_mailSent = false;
};

}  // namespace corvex
