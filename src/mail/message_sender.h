#pragma once

#include "mail/prepared_mail.h"
#include "mail/send_result.h"

namespace corvex {

/// What one session sends with, one message at a time (see MailSessions).
/// Abstract so that a test can play the server's answers in any order;
/// MailSender is the program's.
class MessageSender {
 public:
  virtual ~MessageSender() = default;

  /// Delivers `mail`; `next`, when given, is the message this sender
  /// delivers next, whose envelope may go ahead. Raises Error when the
  /// transport itself cannot be set up.
  virtual SendResult send(const PreparedMail& mail, const PreparedMail* next) = 0;
  /// Ends an open session politely.
  virtual void close() = 0;
};

}  // namespace corvex
