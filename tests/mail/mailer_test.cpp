#include "mail/mailer.h"

#include "support/delay_proxy.h"
#include "support/fixed_clock.h"
#include "support/scoped_env.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <tuple>

namespace corvex {
namespace {

using test::PeerTls;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

const QString kSubject = QStringLiteral("Envío de DTE");
const QString kBody = QStringLiteral(
    "Estimado (a): José Peña\r\n\nAdjunto encontrara los documentos electronicos correspondientes a su compra, "
    " esta cuenta de correo no es monitoreada\r\n\nAtentamente,\r\n\nEmpresa S.A. de C.V.");
const QString kUser = QStringLiteral("facturas");
const QString kPassword = QStringLiteral("s3cr3t-Pa55");
const QString kFrom = QStringLiteral("facturas@empresa.example");
const QString kRecipient = QStringLiteral("cliente@example.com");
const QString kLabel = QStringLiteral("A-15--cliente@example.com");
const QString kLogPrefix = QStringLiteral("2026-12-07 08:41:03 - ");
const QString kStopped = QStringLiteral("Corvex=> Sending stopped until the next run: ");
const QString kLoginStopped = QStringLiteral("Corvex=> Sending stopped for 5 min, next login at 2026-12-07 08:46:03 ");

// One CA for all peers of this program: certificates are made once, by a
// first peer, so CURL_CA_BUNDLE names a real file even in a test whose own
// peer has a CA of its own or none.
QString sharedCertDir() {
  static const QTemporaryDir dir;
  static const bool made = [] {
    const SmtpPeer first(SmtpPeerOptions{PeerTls::StartTls, {}, {}, {}, 0, dir.filePath(QStringLiteral("certs"))});
    return true;
  }();
  static_cast<void>(made);
  return dir.filePath(QStringLiteral("certs"));
}

using test::ScopedEnv;

QByteArray jsonAttachment() { return QByteArray("{\"identificacion\":{\"version\":1},\"selloRecibido\":\"X\"}\r\n"); }

// Every byte value, so no transfer step may alter binary content unnoticed.
QByteArray pdfAttachment() {
  QByteArray data("%PDF-1.4\n");
  for (int i = 0; i < 3 * 256; ++i) data += static_cast<char>(i % 256);
  return data;
}

class MailerTest : public ::testing::Test {
 protected:
  MailerTest() {
    settings.sysSMTPServer = QStringLiteral("127.0.0.1");
    settings.sysSMTPUser = kUser;
    settings.sysSMTPPassword = kPassword;
    settings.sysSMTPFrom = kFrom;
    dir.writeFile(QStringLiteral("files/DTE-15.json"), jsonAttachment());
    dir.writeFile(QStringLiteral("files/DTE-15.pdf"), pdfAttachment());
  }

  SmtpPeer& startPeer(SmtpPeerOptions options, test::SmtpPeerFaults faults = {}) {
    peer.emplace(options, faults);
    settings.sysSMTPPort = static_cast<std::int16_t>(peer->port());
    return *peer;
  }
  SmtpPeer& startPeer() {
    return startPeer(SmtpPeerOptions{PeerTls::StartTls, kUser, kPassword, {}, 0, sharedCertDir()});
  }

  void send(const QString& recipient = kRecipient) {
    mailer.SendMail(kSubject, kBody, recipient, json(), pdf(), kLabel);
  }
  QString json() const { return dir.filePath(QStringLiteral("files/DTE-15.json")); }
  // One run a minute from `from` to `to` minutes after `start`, as runs
  // every few seconds would be, by a program started at `from`.
  void runEveryMinute(const QDateTime& start, int from, int to) {
    Mailer restarted{settings, dir.folder(), log, clock};
    for (int minute = from; minute < to; ++minute) {
      clock.set(start.addSecs(minute * 60));
      const Mailer::RunScope run(restarted);
      if (!restarted.sendingStopped()) restarted.SendMail(kSubject, kBody, kRecipient, json(), pdf(), kLabel);
    }
  }
  QString pdf() const { return dir.filePath(QStringLiteral("files/DTE-15.pdf")); }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("outbox")}};
  test::FixedClock clock{test::localTime(2026, 12, 7, 8, 41, 3)};
  DailyLog log{dir.folder(), clock};
  Settings settings;
  ScopedEnv trust{"CURL_CA_BUNDLE", sharedCertDir() + QStringLiteral("/ca.pem")};
  std::optional<SmtpPeer> peer;
  Mailer mailer{settings, dir.folder(), log, clock};
};

// The decoded message as the receiving side sees it.
void expectDocumentMail(const QJsonObject& mail) {
  EXPECT_EQ(mail["defects"].toArray().size(), 0) << QJsonDocument(mail["defects"].toArray()).toJson().toStdString();
  EXPECT_EQ(mail["content_type"].toString(), QStringLiteral("multipart/mixed"));
  const QJsonObject headers = mail["headers"].toObject();
  EXPECT_EQ(headers["Subject"].toString(), kSubject);
  EXPECT_EQ(headers["From"].toString(), kFrom);
  EXPECT_FALSE(headers["Date"].toString().isEmpty());
  EXPECT_FALSE(headers["Message-ID"].toString().isEmpty());
  EXPECT_EQ(headers["MIME-Version"].toString(), QStringLiteral("1.0"));
  EXPECT_EQ(QByteArray::fromBase64(mail["body"].toString().toLatin1()), kBody.toUtf8());
  const QJsonArray parts = mail["attachments"].toArray();
  ASSERT_EQ(parts.size(), 2);
  EXPECT_EQ(parts[0]["filename"].toString(), QStringLiteral("DTE-15.json"));
  EXPECT_EQ(parts[0]["content_type"].toString(), QStringLiteral("application/json"));
  EXPECT_EQ(QByteArray::fromBase64(parts[0]["data"].toString().toLatin1()), jsonAttachment());
  EXPECT_EQ(parts[1]["filename"].toString(), QStringLiteral("DTE-15.pdf"));
  EXPECT_EQ(parts[1]["content_type"].toString(), QStringLiteral("application/pdf"));
  EXPECT_EQ(QByteArray::fromBase64(parts[1]["data"].toString().toLatin1()), pdfAttachment());
}

TEST_F(MailerTest, DeliversOverStartTlsWithAuthAndLogsTheLabel) {
  SmtpPeer& server = startPeer();
  send();
  EXPECT_TRUE(mailer.MailSent());
  EXPECT_EQ(dir.logLines(), QStringList{kLogPrefix + QStringLiteral("Corvex=> Email sent successfully! ") + kLabel});
  const QStringList received = server.messageFiles();
  ASSERT_EQ(received.size(), 1);
  expectDocumentMail(SmtpPeer::decode(received[0]));
  const QJsonObject envelope = SmtpPeer::envelope(received[0]);
  EXPECT_EQ(envelope["mail_from"].toString(), kFrom);
  EXPECT_EQ(envelope["rcpt_tos"].toArray(), QJsonArray{kRecipient});
  EXPECT_EQ(dir.readFile(QStringLiteral("files/DTE-15.pdf")), pdfAttachment()) << "attachments stay untouched";
}

TEST_F(MailerTest, SeveralRecipientsInOneTextEachGetTheMessage) {
  SmtpPeer& server = startPeer();
  send(QStringLiteral("ana@example.com; luis@example.org,eva@example.net"));
  EXPECT_TRUE(mailer.MailSent());
  ASSERT_EQ(server.messageFiles().size(), 1);
  EXPECT_EQ(SmtpPeer::envelope(server.messageFiles()[0])["rcpt_tos"].toArray(),
            QJsonArray::fromStringList({"ana@example.com", "luis@example.org", "eva@example.net"}));
  EXPECT_EQ(SmtpPeer::decode(server.messageFiles()[0])["headers"].toObject()["To"].toString(),
            QStringLiteral("ana@example.com, luis@example.org, eva@example.net"));
}

TEST_F(MailerTest, ASuccessDoesNotCarryOverToAFailedCall) {
  startPeer();
  send();
  ASSERT_TRUE(mailer.MailSent());
  mailer.SendMail(kSubject, kBody, kRecipient, json(), dir.filePath(QStringLiteral("files/missing.pdf")), kLabel);
  EXPECT_FALSE(mailer.MailSent());
  EXPECT_EQ(dir.logLines().size(), 2);
}

TEST_F(MailerTest, ImplicitTlsOnPort465) {
  SmtpPeer& server = startPeer(SmtpPeerOptions{PeerTls::Implicit, kUser, kPassword, {}, 465, sharedCertDir()});
  send();
  EXPECT_TRUE(mailer.MailSent()) << dir.logLines().join(u'\n').toStdString();
  ASSERT_EQ(server.messageFiles().size(), 1);
  expectDocumentMail(SmtpPeer::decode(server.messageFiles()[0]));
}

// --- what the receiving side sees: greeting, Reply-To, the text part --------------

struct MessageCase {
  const char* name;
  QString sysEmail = {};
  QString heloName = {};  ///< main.ini [SMTP] HeloName
  QString body = kBody;
  const char* replyTo;       ///< the Reply-To header; nullptr: none
  const char* textEncoding;  ///< the text part's Content-Transfer-Encoding
};

void PrintTo(const MessageCase& c, std::ostream* out) { *out << c.name; }

class MailerMessageTest : public MailerTest, public ::testing::WithParamInterface<MessageCase> {};

// "vm" alone is refused by relays that hold to RFC 5321.
bool qualifiedOrLiteral(const QString& name) {
  static const QRegularExpression literal(QStringLiteral("^\\[(\\d+\\.\\d+\\.\\d+\\.\\d+|IPv6:[0-9a-fA-F:.]+)\\]$"));
  return literal.match(name).hasMatch() || (name.contains(u'.') && !name.startsWith(QStringLiteral("localhost")));
}

TEST_P(MailerMessageTest, GreetsWithAQualifiedNameAndRepliesGoToTheCompany) {
  const MessageCase& c = GetParam();
  SmtpPeer& server = startPeer();
  settings.sysEmail = c.sysEmail;
  settings.HeloName = c.heloName;
  mailer.SendMail(kSubject, c.body, kRecipient, json(), pdf(), kLabel);
  ASSERT_TRUE(mailer.MailSent()) << dir.logLines().join(u'\n').toStdString();

  const QStringList greetings = server.stats().greetings;
  ASSERT_FALSE(greetings.isEmpty());
  for (const QString& name : greetings) {
    if (c.heloName.isEmpty())
      EXPECT_TRUE(qualifiedOrLiteral(name)) << name.toStdString();
    else
      EXPECT_EQ(name, c.heloName);
  }
  const QJsonObject mail = SmtpPeer::decode(server.messageFiles().value(0));
  const QJsonObject headers = mail["headers"].toObject();
  EXPECT_EQ(headers.contains(QStringLiteral("Reply-To")), c.replyTo != nullptr);
  if (c.replyTo) {
    EXPECT_EQ(headers["Reply-To"].toString(), QString::fromLatin1(c.replyTo));
  }
  EXPECT_EQ(mail["body_encoding"].toString(), QString::fromLatin1(c.textEncoding));
  EXPECT_EQ(QByteArray::fromBase64(mail["body"].toString().toLatin1()), c.body.toUtf8());
  EXPECT_EQ(mail["defects"].toArray().size(), 0);
}

const QString kAsciiCoverText = QStringLiteral(
    "Estimado (a): Ana Lopez\r\n\nAdjunto encontrara los documentos electronicos correspondientes a su compra,  esta "
    "cuenta de correo no es monitoreada por lo que si responde este correo no sera atendido, para dudas y/o "
    "consultas escribir a: info@empresa.example\r\n\nAtentamente,\r\n\nEmpresa S.A. de C.V.");

INSTANTIATE_TEST_SUITE_P(
    Cases, MailerMessageTest,
    ::testing::Values(MessageCase{.name = "ReplyToTheCompanysAddress",
                                  .sysEmail = QStringLiteral("info@empresa.example"),
                                  .replyTo = "info@empresa.example",
                                  .textEncoding = "quoted-printable"},
                      MessageCase{.name = "AsciiCoverTextIsNotBase64",
                                  .sysEmail = QStringLiteral("info@empresa.example"),
                                  .body = kAsciiCoverText,
                                  .replyTo = "info@empresa.example",
                                  .textEncoding = "quoted-printable"},
                      MessageCase{.name = "AsciiWithCrLfOnlyTravelsAsItIs",
                                  .body = QStringLiteral("Estimado (a): Ana\r\n\r\nAtentamente,"),
                                  .replyTo = nullptr,
                                  .textEncoding = "7bit"},
                      MessageCase{
                          .name = "NoReplyToWithoutSysEmail", .replyTo = nullptr, .textEncoding = "quoted-printable"},
                      MessageCase{.name = "NoReplyToWhenSysEmailIsTheSender",
                                  .sysEmail = kFrom.toUpper(),
                                  .replyTo = nullptr,
                                  .textEncoding = "quoted-printable"},
                      MessageCase{.name = "NoReplyToForABrokenSysEmail",
                                  .sysEmail = QStringLiteral("info@empresa.example\r\nBcc: x@example.com"),
                                  .replyTo = nullptr,
                                  .textEncoding = "quoted-printable"},
                      MessageCase{.name = "ConfiguredHeloName",
                                  .heloName = QStringLiteral("facturacion.empresa.example"),
                                  .replyTo = nullptr,
                                  .textEncoding = "quoted-printable"}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

// --- failures: one line, nothing sent, MailSent false -------------------------

enum class Peer { StartTlsAuth, PlainOnly, UntrustedCertificate, Down, BasicAuthOff, Greeting421 };

struct FailureCase {
  const char* name;
  Peer peer = Peer::StartTlsAuth;
  QString password = kPassword;
  QString from = kFrom;
  QString recipient = kRecipient;
  bool attachment1 = true;
  bool attachment2 = true;
  QString line;    ///< the log line starts with this
  QString reason;  ///< and contains this
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class MailerFailureTest : public MailerTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  void startFor(Peer kind) {
    SmtpPeerOptions options{PeerTls::StartTls, kUser, kPassword, QStringLiteral("rejected@example.com"), 0,
                            sharedCertDir()};
    if (kind == Peer::PlainOnly) options.tls = PeerTls::None;
    if (kind == Peer::UntrustedCertificate) options.certDir.clear();  // a CA of its own
    if (kind == Peer::BasicAuthOff)
      options.authReply = QStringLiteral("550 5.7.30 Basic authentication is not supported for Client Submission");
    if (kind == Peer::Greeting421) options.greeting = QStringLiteral("421 4.3.2 Service not available");
    startPeer(options);
    if (kind == Peer::Down) peer->stop();
  }
};

TEST_P(MailerFailureTest, WritesOneLineAndSendsNothing) {
  const FailureCase& c = GetParam();
  startFor(c.peer);
  settings.sysSMTPPassword = c.password;
  settings.sysSMTPFrom = c.from;
  if (!c.attachment1) QFile::remove(json());
  if (!c.attachment2) QFile::remove(pdf());
  send(c.recipient);

  EXPECT_FALSE(mailer.MailSent());
  const QStringList lines = dir.logLines();
  ASSERT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
  EXPECT_TRUE(lines[0].startsWith(kLogPrefix + c.line)) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains(c.reason)) << lines[0].toStdString();
  if (!c.line.startsWith(QStringLiteral("Corvex=> Sending stopped"))) {
    EXPECT_TRUE(lines[0].startsWith(kLogPrefix + c.line + kLabel + QStringLiteral(": "))) << "names the document";
  }
  EXPECT_FALSE(lines[0].contains(kPassword)) << "the password never reaches the log";
  EXPECT_TRUE(peer->messageFiles().isEmpty());
}

const QString kAttachment1Failed = QStringLiteral("Corvex=> Failed to add attachment 1: ");
const QString kAttachment2Failed = QStringLiteral("Corvex=> Failed to add attachment 2: ");
const QString kSendFailed = QStringLiteral("Corvex=> Email send failed: ");

INSTANTIATE_TEST_SUITE_P(
    Cases, MailerFailureTest,
    ::testing::Values(
        // Attachment 2 is missing too, but is never looked at.
        FailureCase{.name = "Attachment1Missing",
                    .attachment1 = false,
                    .attachment2 = false,
                    .line = kAttachment1Failed,
                    .reason = QStringLiteral("DTE-15.json")},
        FailureCase{.name = "Attachment2Missing",
                    .attachment2 = false,
                    .line = kAttachment2Failed,
                    .reason = QStringLiteral("DTE-15.pdf")},
        // A refused login is no failure of the mail: it stops the run.
        FailureCase{
            .name = "WrongPassword",
            .password = QStringLiteral("wrong"),
            .line = kLoginStopped,
            .reason = QStringLiteral("login as facturas refused: 535 5.7.8 Authentication credentials invalid")},
        // The reply, then the one sentence of what to do about it.
        FailureCase{.name = "BasicAuthenticationSwitchedOff",
                    .peer = Peer::BasicAuthOff,
                    .password = QStringLiteral("wrong"),
                    .line = kLoginStopped,
                    .reason = QStringLiteral("login as facturas refused: 550 5.7.30 Basic authentication is not "
                                             "supported for Client Submission Hint: the provider no longer takes "
                                             "passwords for SMTP: log in with OAuth")},
        FailureCase{.name = "GreetingRefused",
                    .peer = Peer::Greeting421,
                    .line = kSendFailed,
                    .reason = QStringLiteral("greeting failed: 421 4.3.2 Service not available")},
        FailureCase{.name = "RecipientRejected",
                    .recipient = QStringLiteral("rejected@example.com"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("550")},
        // Sent to nobody, though the first recipient was accepted.
        FailureCase{.name = "OneOfTwoRecipientsRejected",
                    .recipient = QStringLiteral("ana@example.com; rejected@example.com"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("RCPT TO:<rejected@example.com> failed: 550")},
        FailureCase{.name = "ServerDown", .peer = Peer::Down, .line = kSendFailed, .reason = QStringLiteral("connect")},
        FailureCase{.name = "ServerWithoutStartTls",
                    .peer = Peer::PlainOnly,
                    .line = kSendFailed,
                    .reason = QStringLiteral("STARTTLS")},
        FailureCase{.name = "UntrustedCertificate",
                    .peer = Peer::UntrustedCertificate,
                    .line = kSendFailed,
                    .reason = QStringLiteral("certificate")},
        FailureCase{.name = "RecipientWithLineBreak",
                    .recipient = QStringLiteral("x@example.com\r\nBcc: y@example.com"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("invalid recipient address")},
        FailureCase{.name = "RecipientWithoutAt",
                    .recipient = QStringLiteral("cliente.example.com"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("invalid recipient address")},
        FailureCase{.name = "EmptyRecipient",
                    .recipient = QString(),
                    .line = kSendFailed,
                    .reason = QStringLiteral("invalid recipient address")},
        FailureCase{.name = "SenderWithLineBreak",
                    .from = QStringLiteral("a@example.com\nX: y"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("invalid sender address")}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// --- one session per run, and what each failure does to the run ------------------

struct SessionCase {
  const char* name;
  test::SmtpPeerFaults faults = {};
  int maxPerConnection = 100;
  int rejectedMessage = -1;  ///< this message goes to the refused recipient
  const char* outcomes;      ///< per message: S sent, T temporary, P permanent, - not tried (run stopped)
  int connections;
  bool stopLogged = false;
  int rsets = -1;  ///< -1: not counted
};

void PrintTo(const SessionCase& c, std::ostream* out) { *out << c.name; }

// Each case runs against a server with PIPELINING and one without.
class MailerSessionTest : public MailerTest, public ::testing::WithParamInterface<std::tuple<SessionCase, bool>> {
 protected:
  // One run over `count` messages, as the dispatch run drives the mailer.
  QString runMessages(Mailer& runMailer, int count, int rejectedMessage) {
    QString outcomes;
    const Mailer::RunScope run(runMailer);
    for (int i = 0; i < count; ++i) {
      if (runMailer.sendingStopped()) {
        outcomes += u'-';
        continue;
      }
      const QString recipient =
          i == rejectedMessage ? QStringLiteral("rejected@example.com") : QStringLiteral("b%1@example.com").arg(i);
      runMailer.SendMail(kSubject, kBody, recipient, json(), pdf(), recipient);
      const SendResult& result = runMailer.lastResult();
      outcomes += result.isSent() ? u'S' : result.isTemporary() ? u'T' : u'P';
      EXPECT_EQ(runMailer.MailSent(), result.isSent());
    }
    return outcomes;
  }
};

// A refusal in the server's words keeps the connection; a 421, a cut or the
// server's own close costs it.
TEST_P(MailerSessionTest, LogsInOncePerConnectionAndStopsTheRunWhenTheServerSaysSo) {
  const auto& [c, pipelining] = GetParam();
  SmtpPeer& server = startPeer(SmtpPeerOptions{PeerTls::StartTls, kUser, kPassword,
                                               QStringLiteral("rejected@example.com"), 0, sharedCertDir(), pipelining},
                               c.faults);
  settings.MaxMessagesPerConnection = c.maxPerConnection;
  Mailer sessionMailer{settings, dir.folder(), log, clock};

  const QString outcomes = runMessages(sessionMailer, int(std::strlen(c.outcomes)), c.rejectedMessage);
  EXPECT_EQ(outcomes, QString::fromLatin1(c.outcomes));
  const test::SmtpPeerStats stats = server.stats();
  EXPECT_EQ(stats.connections, c.connections);
  EXPECT_EQ(stats.logins, c.connections) << "one login per connection";
  if (c.rsets >= 0) {
    EXPECT_EQ(stats.rsets, c.rsets);
  }
  EXPECT_EQ(stats.messages, int(outcomes.count(u'S'))) << "a message counts as sent only when it arrived";
  EXPECT_EQ(server.messageFiles().size(), stats.messages);
  const bool stopLogged = dir.logLines().join(u'\n').contains(QStringLiteral("Sending stopped until the next run"));
  EXPECT_EQ(stopLogged, c.stopLogged);
}

test::SmtpPeerFaults faults(int closeAfter, QStringList failures = {}, QList<int> dropData = {}) {
  return test::SmtpPeerFaults{closeAfter, std::move(failures), std::move(dropData)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailerSessionTest,
    ::testing::Combine(
        ::testing::Values(
            SessionCase{.name = "OneConnectionForTheWholeRun", .outcomes = "SSSSSS", .connections = 1},
            SessionCase{
                .name = "NewConnectionAfterMaxMessages", .maxPerConnection = 2, .outcomes = "SSSSS", .connections = 3},
            SessionCase{.name = "ServerClosesAfterEveryTwoMessages",
                        .faults = faults(2),
                        .outcomes = "SSSSS",
                        .connections = 3},
            SessionCase{.name = "Reply421StopsTheRun",
                        .faults = faults(0, {QStringLiteral("3:421")}),
                        .outcomes = "SST--",
                        .connections = 1,
                        .stopLogged = true},
            SessionCase{.name = "OneTemporaryFailureDoesNotStop",
                        .faults = faults(0, {QStringLiteral("2:451")}),
                        .outcomes = "STSS",
                        .connections = 1},
            SessionCase{.name = "TwoTemporaryFailuresInARowStop",
                        .faults = faults(0, {QStringLiteral("2:451"), QStringLiteral("3:452")}),
                        .outcomes = "STT--",
                        .connections = 1,
                        .stopLogged = true},
            SessionCase{.name = "RefusedRecipientFailsOnlyItsMessage",
                        .rejectedMessage = 1,
                        .outcomes = "SPSS",
                        .connections = 1,
                        .rsets = 1},
            SessionCase{.name = "Reply554IsPermanent",
                        .faults = faults(0, {QStringLiteral("2:554"), QStringLiteral("3:554")}),
                        .outcomes = "SPPS",
                        .connections = 1},
            SessionCase{.name = "ConnectionCutInTheMiddleOfData",
                        .faults = faults(0, {}, {2}),
                        .outcomes = "STSS",
                        .connections = 2}),
        ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<SessionCase, bool>>& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Pipelined" : "OneByOne");
    });

TEST_F(MailerTest, TheSessionLastsTheRunAndEndsWithQuit) {
  SmtpPeer& server = startPeer();
  {
    const Mailer::RunScope run(mailer);
    for (int i = 0; i < 3; ++i) send();
    EXPECT_EQ(server.stats().quits, 0) << "the session stays open within the run";
  }
  const test::SmtpPeerStats stats = server.stats();
  EXPECT_EQ(stats.messages, 3);
  EXPECT_EQ(stats.connections, 1);
  EXPECT_EQ(stats.quits, 1);
}

// MAIL, RCPT and DATA in one flight, then the content: two round trips a
// message where the server offers PIPELINING, four where it does not.
TEST_F(MailerTest, PipeliningHalvesTheRoundTripsOfAMessage) {
  constexpr int kMessages = 10;
  for (const bool pipelining : {true, false}) {
    SmtpPeer& server =
        startPeer(SmtpPeerOptions{PeerTls::StartTls, kUser, kPassword, {}, 0, sharedCertDir(), pipelining});
    const test::DelayProxy proxy(server.port(), 0);
    settings.sysSMTPPort = static_cast<std::int16_t>(proxy.port());
    Mailer proxied{settings, dir.folder(), log, clock};
    const test::ProxyStats before = proxy.stats();
    {
      const Mailer::RunScope run(proxied);
      proxied.SendMail(kSubject, kBody, kRecipient, json(), pdf(), kLabel);  // connect, TLS and login
      const int start = proxy.stats().roundTrips;
      for (int i = 1; i < kMessages; ++i) proxied.SendMail(kSubject, kBody, kRecipient, json(), pdf(), kLabel);
      const double perMessage = double(proxy.stats().roundTrips - start) / (kMessages - 1);
      EXPECT_DOUBLE_EQ(perMessage, pipelining ? 2.0 : 4.0) << "pipelining " << pipelining;
    }
    EXPECT_EQ(server.stats().messages, kMessages);
    EXPECT_EQ(proxy.stats().connections - before.connections, 1);
  }
}

// Four sessions at once: the failures count in the order their replies
// arrive, whichever session they came from, and once sending stops no mail
// starts on any session; what did not start comes back as not tried.
TEST_F(MailerTest, TwoTemporaryFailuresAcrossSessionsStopAllOfThem) {
  constexpr int kMails = 16;
  test::SmtpPeerFaults everyMessageFails;
  everyMessageFails.fault = QStringLiteral("451");
  SmtpPeer& server =
      startPeer(SmtpPeerOptions{PeerTls::StartTls, kUser, kPassword, {}, 0, sharedCertDir()}, everyMessageFails);
  settings.Connections = 4;
  Mailer parallel{settings, dir.folder(), log, clock};
  int sent = 0;
  int notTried = 0;
  {
    const Mailer::RunScope run(parallel);
    for (int i = 0; i < kMails; ++i)
      parallel.startMail(i, kSubject, kBody, QStringLiteral("b%1@example.com").arg(i), json(), pdf(), kLabel);
    while (parallel.mailsOutstanding() > 0) {
      const Mailer::FinishedMail finished = parallel.finishMail();
      sent += finished.sent ? 1 : 0;
      notTried += finished.tried ? 0 : 1;
      parallel.settle(finished.ticket);
    }
    EXPECT_TRUE(parallel.sendingStopped());
  }
  EXPECT_GT(notTried, 0) << "sending stopped before the queue was through";
  EXPECT_EQ(server.stats().messages, sent) << "sent means stored";
  EXPECT_TRUE(dir.logLines().join(u'\n').contains(QStringLiteral("2 temporary failures in a row")));
}

TEST_F(MailerTest, ANewRunMaySendAgainAfterAStop) {
  SmtpPeer& server = startPeer(SmtpPeerOptions{PeerTls::StartTls, kUser, kPassword, {}, 0, sharedCertDir()},
                               faults(0, {QStringLiteral("1:421")}));
  for (int run = 0; run < 2; ++run) {
    const Mailer::RunScope scope(mailer);
    while (!mailer.sendingStopped() && server.stats().messages < 2) send();
  }
  EXPECT_EQ(server.stats().messages, 2);
  EXPECT_EQ(server.stats().attempts, 3);
}

// Three hours with a restart after the first and after the second: a
// wrong password costs 4 refused logins in the first hour and one an hour
// after that, each logged once (a restart says once more what holds). The
// first start after the password was mended in Parametros mails at once.
TEST_F(MailerTest, AWrongPasswordCostsFourLoginsTheFirstHourAcrossRestarts) {
  SmtpPeer& server = startPeer();
  settings.sysSMTPPassword = QStringLiteral("wrong");
  const QDateTime start = clock.now();
  runEveryMinute(start, 0, 60);
  EXPECT_EQ(server.stats().auths, 4) << "at minutes 0, 5, 15 and 35";
  runEveryMinute(start, 60, 120);
  runEveryMinute(start, 120, 180);
  EXPECT_EQ(server.stats().auths, 6) << "then at 75 and 135";
  EXPECT_EQ(dir.logLines().filter(QStringLiteral("Corvex=> Sending stopped for ")).size(), 8);
  EXPECT_TRUE(server.messageFiles().isEmpty());

  settings.sysSMTPPassword = kPassword;
  runEveryMinute(start, 180, 181);
  EXPECT_EQ(server.stats().logins, 1);
  EXPECT_EQ(server.messageFiles().size(), 1);
  EXPECT_FALSE(dir.exists(QString::fromLatin1(LoginWait::kFileName)));
}

// A wait file that cannot be written (a folder stands at its name) still
// holds in the running program, and the log says why once.
TEST_F(MailerTest, AWaitThatCannotBeKeptStillHoldsInTheRunningProgram) {
  QDir(dir.path()).mkdir(QString::fromLatin1(LoginWait::kFileName));
  SmtpPeer& server = startPeer();
  settings.sysSMTPPassword = QStringLiteral("wrong");
  runEveryMinute(clock.now(), 0, 60);
  EXPECT_EQ(server.stats().auths, 4);
  EXPECT_EQ(dir.logLines().filter(QStringLiteral("Corvex=> Cannot replace ")).size(), 1);
}

TEST_F(MailerTest, TheSameStopIsLoggedOnceAnHour) {
  settings.sysSMTPServer = QStringLiteral("pickup:nowhere");
  const auto run = [&] {
    const Mailer::RunScope scope(mailer);
    for (int i = 0; i < 3 && !mailer.sendingStopped(); ++i) send(QStringLiteral("b%1@example.com").arg(i));
  };
  const auto stops = [&] {
    return dir.logLines().filter(QStringLiteral("Sending stopped until the next run: 2 temporary failures")).size();
  };
  run();
  EXPECT_EQ(stops(), 1);
  for (int i = 0; i < 10; ++i, clock.advanceSeconds(5)) run();
  EXPECT_EQ(stops(), 1);
  clock.advanceSeconds(3600);
  run();
  EXPECT_EQ(stops(), 2);
}

TEST_F(MailerTest, MessagesPerMinuteLeavesTheRestForALaterRun) {
  settings.sysSMTPServer = QStringLiteral("pickup:outbox");
  settings.MessagesPerMinute = 3;
  Mailer limited{settings, dir.folder(), log, clock};
  const auto sendWhileOpen = [&] {
    int sent = 0;
    const Mailer::RunScope run(limited);
    for (int i = 0; i < 5 && !limited.sendingStopped(); ++i, ++sent)
      limited.SendMail(kSubject, kBody, kRecipient, json(), pdf(), kLabel);
    return sent;
  };
  EXPECT_EQ(sendWhileOpen(), 3);
  clock.advanceSeconds(30);
  EXPECT_EQ(sendWhileOpen(), 0) << "three went out in the last minute";
  clock.advanceSeconds(30);
  EXPECT_EQ(sendWhileOpen(), 3);
  EXPECT_FALSE(dir.logLines().join(u'\n').contains(QStringLiteral("stopped"))) << "a budget is no failure";
  EXPECT_EQ(
      dir.logLines().filter(QStringLiteral("Sending paused until the next run: MessagesPerMinute=3 used up")).size(), 1)
      << "said once, not on every run";
}

// --- the same failure, run after run ------------------------------------------------

TEST_F(MailerTest, ARepeatedFailureIsLoggedOnceAnHourAndItsEndOnce) {
  const auto attempt = [&](const char* server) {
    settings.sysSMTPServer = QString::fromLatin1(server);
    ASSERT_TRUE(mailer.isDue(kLabel)) << "a temporary failure is retried on every run";
    send();
  };
  for (int run = 0; run < 700; ++run, clock.advanceSeconds(5)) attempt("pickup:nowhere");  // 58 minutes
  ASSERT_EQ(dir.logLines().size(), 1);
  EXPECT_TRUE(dir.logLines()[0].contains(kSendFailed + kLabel + QStringLiteral(": pickup folder does not exist")))
      << dir.logLines()[0].toStdString();

  clock.advanceSeconds(3 * 60);
  attempt("pickup:nowhere");
  ASSERT_EQ(dir.logLines().size(), 2);
  EXPECT_TRUE(dir.logLines()[1].endsWith(QStringLiteral(" (701 attempts since 2026-12-07 08:41:03)")))
      << dir.logLines()[1].toStdString();

  clock.advanceSeconds(5);
  attempt("pickup:outbox");
  EXPECT_TRUE(mailer.MailSent());
  const QStringList lines = dir.logLines();
  ASSERT_EQ(lines.size(), 4) << lines.join(u'\n').toStdString();
  EXPECT_TRUE(lines[2].endsWith(QStringLiteral("Email sent successfully! ") + kLabel));
  EXPECT_TRUE(lines[3].endsWith(kLabel + QStringLiteral(" mailed after 701 failed attempts since 2026-12-07 08:41:03")))
      << lines[3].toStdString();
}

TEST_F(MailerTest, APermanentRefusalIsRetriedAtGrowingIntervalsUpToAnHour) {
  settings.sysSMTPServer = QStringLiteral("pickup:outbox");
  settings.sysSMTPFrom = QStringLiteral("not an address");
  QList<int> minutesBetweenAttempts;
  int minutesSinceAttempt = 0;
  for (int minute = 0; minute < 6 * 60; ++minute, ++minutesSinceAttempt, clock.advanceSeconds(60)) {
    if (!mailer.isDue(kLabel)) continue;
    send();
    ASSERT_TRUE(mailer.lastResult().isPermanent());
    if (minute > 0) minutesBetweenAttempts << minutesSinceAttempt;
    minutesSinceAttempt = 0;
  }
  const QList<int> expected{1, 2, 4, 8, 16, 32, 60, 60, 60};
  ASSERT_GE(minutesBetweenAttempts.size(), expected.size());
  EXPECT_EQ(minutesBetweenAttempts.mid(0, expected.size()), expected);
}

// --- the sender as "Name <address>" ---------------------------------------------------

TEST_F(MailerTest, SenderWithDisplayNameGoesIntoFromAndTheBareAddressIntoTheEnvelope) {
  SmtpPeer& server = startPeer();
  settings.sysSMTPFrom = QStringLiteral("Facturación La Ceiba <") + kFrom + u'>';
  send();
  ASSERT_TRUE(mailer.MailSent()) << dir.logLines().join(u'\n').toStdString();
  ASSERT_EQ(server.messageFiles().size(), 1);
  EXPECT_EQ(SmtpPeer::envelope(server.messageFiles()[0])["mail_from"].toString(), kFrom);
  const QJsonObject mail = SmtpPeer::decode(server.messageFiles()[0]);
  EXPECT_EQ(mail["headers"].toObject()["From"].toString(), QStringLiteral("Facturación La Ceiba <") + kFrom + u'>');
  EXPECT_EQ(mail["defects"].toArray().size(), 0);
}

// --- pickup folder -------------------------------------------------------------

class PickupTest : public MailerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PickupTest, WritesOneCompleteMessageAndNoTemporaryFile) {
  const QString outbox = GetParam() ? dir.filePath(QStringLiteral("outbox")) : QStringLiteral("outbox");
  settings.sysSMTPServer = QStringLiteral("pickup:") + outbox;
  send();
  EXPECT_TRUE(mailer.MailSent());
  EXPECT_EQ(dir.logLines(), QStringList{kLogPrefix + QStringLiteral("Corvex=> Email sent successfully! ") + kLabel});
  const QDir folder(dir.filePath(QStringLiteral("outbox")));
  const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);
  ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
  ASSERT_TRUE(files[0].endsWith(QStringLiteral(".eml")));
  expectDocumentMail(SmtpPeer::decode(folder.filePath(files[0])));

  const QByteArray raw = dir.readFile(QStringLiteral("outbox/") + files[0]);
  EXPECT_EQ(raw.count('\n'), raw.count("\r\n")) << "no bare LF on the wire";
  EXPECT_EQ(raw.count('\r'), raw.count("\r\n")) << "no bare CR on the wire";
}

INSTANTIATE_TEST_SUITE_P(RelativeOrAbsolute, PickupTest, ::testing::Bool());

TEST_F(MailerTest, MissingPickupFolderIsASendFailureAndIsNotCreated) {
  settings.sysSMTPServer = QStringLiteral("pickup:nowhere");
  send();
  EXPECT_FALSE(mailer.MailSent());
  ASSERT_EQ(dir.logLines().size(), 1);
  EXPECT_TRUE(dir.logLines()[0].startsWith(kLogPrefix + kSendFailed + kLabel +
                                           QStringLiteral(": pickup folder does not exist")))
      << dir.logLines()[0].toStdString();
  EXPECT_FALSE(dir.exists(QStringLiteral("nowhere")));
}

}  // namespace
}  // namespace corvex
