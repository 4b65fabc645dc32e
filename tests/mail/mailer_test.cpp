#include "mail/mailer.h"

#include "support/fixed_clock.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

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

// One CA for all peers of this program: certificates are made once.
QString sharedCertDir() {
  static const QTemporaryDir dir;
  return dir.filePath(QStringLiteral("certs"));
}

/// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QString& value)
      : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

 private:
  const char* m_name;
  QByteArray m_old;
  bool m_had;
};

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

  SmtpPeer& startPeer(SmtpPeerOptions options) {
    peer.emplace(options);
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
  QString pdf() const { return dir.filePath(QStringLiteral("files/DTE-15.pdf")); }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("outbox")}};
  test::FixedClock clock{test::localTime(2026, 12, 7, 8, 41, 3)};
  DailyLog log{dir.folder(), clock};
  Settings settings;
  ScopedEnv trust{"CURL_CA_BUNDLE", sharedCertDir() + QStringLiteral("/ca.pem")};
  std::optional<SmtpPeer> peer;
  Mailer mailer{settings, dir.folder(), log};
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

// --- failures: one line, nothing sent, MailSent false -------------------------

enum class Peer { StartTlsAuth, PlainOnly, UntrustedCertificate, Down };

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
        FailureCase{.name = "WrongPassword",
                    .password = QStringLiteral("wrong"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("Login denied")},
        FailureCase{.name = "RecipientRejected",
                    .recipient = QStringLiteral("rejected@example.com"),
                    .line = kSendFailed,
                    .reason = QStringLiteral("550")},
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
  EXPECT_TRUE(dir.logLines()[0].startsWith(kLogPrefix + kSendFailed + QStringLiteral("pickup folder does not exist")))
      << dir.logLines()[0].toStdString();
  EXPECT_FALSE(dir.exists(QStringLiteral("nowhere")));
}

}  // namespace
}  // namespace corvex
