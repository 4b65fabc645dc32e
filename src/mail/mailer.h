#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "base/stop_check.h"
#include "log/daily_log.h"
#include "mail/login_wait.h"
#include "mail/mail_account.h"
#include "mail/mail_sessions.h"
#include "mail/repeated_failures.h"
#include "mail/send_result.h"

#include <QHash>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace corvex {

class OutgoingMessage;

/// What a Mailer asks of the program around it; each may stay empty.
struct MailerOptions {
  /// True once the program is to stop: ends every wait before a message's
  /// data (see MailSessions, MailSender).
  StopCheck stopRequested = {};
  /// Reads main.ini's login keys ([SMTP] Auth and [OAuth]) anew into the
  /// Settings given, at the start of each run, so a changed main.ini is
  /// seen by the next run; raises as start-up does. Empty: the Settings as
  /// start-up filled them.
  std::function<void(Settings&)> rereadLogin = {};
  /// Where the login wait is written; null: the real file system.
  FileSystem* files = nullptr;
};

/// Sends the documents' e-mails with the server and account of the Settings
/// and remembers whether the last one went out.
///
/// Within a dispatch run (beginRun() .. endRun()) the SMTP sessions stay
/// open from message to message; endRun() closes them with QUIT. There are
/// settings.Connections of them (see MailSessions): startMail() hands a mail
/// to them and returns at once, finishMail() waits for the next one to
/// finish; SendMail() does both for one mail. Between the calls of a run,
/// sendingStopped() tells the run to leave its remaining documents pending
/// (see SendGate), and isDue() holds back a document whose mail was refused
/// for good until its next attempt is due (see RepeatedFailures).
///
/// The server and account are taken from the Settings when the first mail
/// starts (again after a change, once no mail is outstanding).
///
/// A refused login, or a service that asks to be left alone for longer than
/// a run may wait, stops sending across runs and restarts (see LoginWait):
/// while that wait holds for the login settings in use, a run sends nothing,
/// and its one log line (see waitLine()) is written when the wait starts and
/// then at most hourly. The first message a run mails ends the wait.
///
/// "settings", "log", "clock" and options.files must outlive this object.
class Mailer {
 public:
  Mailer(const Settings& settings, AppFolder folder, const DailyLog& log, const Clock& clock,
         MailerOptions options = {});

  /// Sends one message with the two files attached, to every address in
  /// `recipient` (';' or ',' separated). Writes at most one log line:
  /// "Corvex=> Email sent successfully! " + logLabel, or logLabel + ": " and
  /// the reason it failed after "Corvex=> Failed to add attachment 1: ",
  /// "... attachment 2: " or "Corvex=> Email send failed: "; a refused login
  /// is no failure of the mail but stops the run (see sendingStopped()) and
  /// leaves the mail not tried. The same failure of the same logLabel
  /// is logged again only once an hour, with the count of attempts; the
  /// first success after failures adds one line saying so. Attachment 2 is
  /// not looked at when attachment 1 fails; nothing is sent when either
  /// fails. The files are never changed.
  ///
  /// Raises Error, without a log line, when the mail transport cannot be set
  /// up; MailSent() is then false. Not while mails started with startMail()
  /// are outstanding.
  void SendMail(const QString& subject, const QString& body, const QString& recipient, const QString& attachment1,
                const QString& attachment2, const QString& logLabel);

  /// What became of one mail started with startMail().
  struct FinishedMail {
    int ticket = 0;
    bool sent = false;
    /// False when it never went out because sending stopped first; it wrote
    /// no log line and its document is to be left as it is.
    bool tried = true;
    /// What the delivery ledger keeps of a mail that was sent.
    MailReceipt receipt = {};
  };
  /// SendMail()'s work up to the hand-over: the attachments are read at once
  /// (and may fail the mail at once), the message waits for a free session.
  /// Its outcome comes back from finishMail() with `ticket`; not tried when
  /// sending stopped for a failure before it could start (SendMail() sends
  /// regardless). `envelopeKey`, the document's key, goes into the envelope
  /// id that a delivery report hands back (see prepareMail()).
  void startMail(int ticket, const QString& subject, const QString& body, const QString& recipient,
                 const QString& attachment1, const QString& attachment2, const QString& logLabel,
                 const QString& envelopeKey = QString());
  /// Waits for the next started mail to finish, in the order they finished,
  /// and writes its log line as SendMail() does; MailSent() and lastResult()
  /// then tell its outcome. mailsOutstanding() must not be 0. Raises as
  /// SendMail().
  FinishedMail finishMail();
  /// The caller did what the outcome of `ticket` asked for (marked its
  /// document, or left it pending): the session that sent it may start its
  /// next mail. Until then it waits, so a run that ends early has at most one
  /// mail per session out whose document is not marked yet.
  void settle(int ticket);
  /// Until the next run, no further mail starts: those waiting come back
  /// from finishMail() as not tried; those under way finish.
  void stopSending();
  /// Mails started whose outcome finishMail() has not returned yet.
  int mailsOutstanding() const;
  /// Whether finishMail() would return without waiting.
  bool mailFinished() const;
  /// How many mails may be out at once (settings.Connections).
  int sessions() const { return m_settings.Connections < 1 ? 1 : m_settings.Connections; }

  /// True only when the last SendMail call had its message accepted.
  bool MailSent() const { return m_mailSent; }
  /// The outcome of the last SendMail call; an attachment that could not be
  /// added is a permanent failure without reply code.
  const SendResult& lastResult() const { return m_lastResult; }

  /// A dispatch run begins: a stop of the previous run no longer holds, but
  /// a login wait kept for the login settings does. Raises what
  /// options.rereadLogin raises.
  void beginRun();
  /// The run ended, normally or not: the SMTP sessions are closed with QUIT,
  /// after the mails still out have finished (their outcomes are dropped:
  /// collect them first).
  void endRun();
  /// Whether the current run must send nothing more (while a login wait
  /// holds, after a refused login, a 421, two temporary failures in a row,
  /// or with the per-minute budget used up). Logs the reason once when it
  /// stops the run; the same reason in later runs only once an hour.
  bool sendingStopped();
  /// Whether the document with `logLabel` is to be tried in this run.
  bool isDue(const QString& logLabel) const;
  /// The mails that keep failing, by their log labels.
  const RepeatedFailures& failures() const { return m_failures; }

  /// beginRun() on construction, endRun() on destruction, whichever way the
  /// run leaves its scope.
  class RunScope {
   public:
    explicit RunScope(Mailer& mailer) : m_mailer(mailer) { m_mailer.beginRun(); }
    ~RunScope() { m_mailer.endRun(); }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

   private:
    Mailer& m_mailer;
  };

 private:
  struct Refused {
    int ticket;
    int attachment;
    QString error;
    QString logLabel;
    /// Mails handed over before it whose outcomes are still to come: it
    /// comes back after them, as it would have one at a time.
    int after;
  };

  void start(int ticket, const QString& subject, const QString& body, const QString& recipient,
             const QString& attachment1, const QString& attachment2, const QString& logLabel, bool evenIfStopped,
             const QString& envelopeKey = QString());
  MailSessions& mailSessions();
  Settings currentSettings() const;
  void rereadLogin();
  void startWait(const SendResult& result);
  SendingWait recordWait(const SendResult& result, const QDateTime& now);
  void endWait();
  FinishedMail finishRefused();
  bool attach(OutgoingMessage& message, const QString& path, int number, int ticket, const QString& logLabel);
  void fail(const SendResult& result, const QString& line, const QString& logLabel);
  void writeLog(const QString& line) const;
  void logStop(const QString& line, const QDateTime& now);
  void logResting();

  const Settings& m_settings;
  AppFolder m_folder;
  const DailyLog& m_log;
  const Clock& m_clock;
  MailerOptions m_options;
  RealFileSystem m_realFiles;
  LoginWait m_loginWait;
  /// main.ini's login keys as this run read them (see MailerOptions).
  std::optional<std::pair<SmtpAuth, OAuthSettings>> m_iniLogin;
  /// The wait that holds for this run; it sends nothing.
  std::optional<SendingWait> m_wait;
  /// A message went out in this run, so the login works.
  bool m_loginWorks = false;
  /// The last wait, when its file could not be written.
  struct UnwrittenWait {
    SendingWait wait;
    QByteArray login;
  };
  std::optional<UnwrittenWait> m_unwritten;
  MailAccount m_account;
  QByteArray m_accountLogin;
  std::unique_ptr<MailSessions> m_sessions;
  /// Mails failed before the hand-over (an attachment), waiting for finishMail().
  std::deque<Refused> m_refused;
  QHash<int, QString> m_labels;
  /// The receipts of the mails handed over, by ticket, their replies to come.
  QHash<int, MailReceipt> m_receipts;
  RepeatedFailures m_failures;
  bool m_stopLogged = false;
  struct {
    QString line;
    QDateTime time;
  } m_lastStop;
  bool m_mailSent = false;
  SendResult m_lastResult = SendResult::sent();
};

}  // namespace corvex
