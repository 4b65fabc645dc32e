#include "ops/test_mail.h"

#include "base/checked_file.h"
#include "base/error.h"
#include "demo/demo_database.h"
#include "mail/mail_account.h"
#include "mail/mail_sender.h"
#include "mail/outgoing_message.h"
#include "ops/running_wait.h"
#include "render/document_renderer.h"
#include "startup/configuration.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvex {

namespace {

const QString kSubject = QStringLiteral("Envío de DTE (mensaje de prueba de Corvex)");
const QString kBody = QStringLiteral(
    "Este es un mensaje de prueba de Corvex. Los archivos adjuntos son documentos de ejemplo, "
    "sin valor tributario.\r\n\r\nThis is a test message from Corvex; its attachments are samples.");

// Two of the built-in sample documents, one per layout.
constexpr char kSampleSerieFactura[] = "FA";
constexpr qint32 kSampleNumeroFactura = 1251;
constexpr char kSampleSerieCredito[] = "CF";
constexpr qint32 kSampleNumeroCredito = 318;

// The company's own layout files, so the samples look like its documents.
void copyCompanyLayouts(const AppFolder& company, const QDir& sample) {
  const QDir layouts(company.path(QStringLiteral("layouts")));
  if (!layouts.exists()) return;
  sample.mkdir(QStringLiteral("layouts"));
  for (const QString& name : layouts.entryList({QStringLiteral("*.json")}, QDir::Files))
    QFile::copy(layouts.filePath(name), sample.filePath(QStringLiteral("layouts/") + name));
}

// A throw-away Application folder holding the sample database, so rendering
// the samples reads and writes nothing of the company's.
class SampleFolder {
 public:
  explicit SampleFolder(const Application& app) {
    if (!m_dir.isValid()) throw Error(kPathFileAccessError, QStringLiteral("Cannot create a temporary folder"));
    const QDir root(m_dir.path());
    root.mkdir(QStringLiteral("files"));
    root.mkdir(QStringLiteral("qr"));
    root.mkdir(QStringLiteral("logs"));
    buildDemoDatabase(root.filePath(QStringLiteral("sample.db")));
    copyCompanyLayouts(app.folder(), root);
  }
  AppFolder folder() const { return AppFolder(m_dir.path()); }

 private:
  QTemporaryDir m_dir;
};

void attachSamples(const Application& app, const SampleFolder& sample, OutgoingMessage& message) {
  const AppFolder folder = sample.folder();
  // The company's Settings, but every read (the report's too) goes to the samples.
  Settings settings = app.settings();
  settings.ConnectionString = buildConnectionString(QStringLiteral("sqlite:sample.db"));
  Database database(settings.ConnectionString, DbEnvironment{folder, QString()}, app.log());
  RealFileSystem files;
  DocumentRenderer renderer(database, settings, folder, app.logo(), files);
  const QString factura = renderer.CreateFacturaPDF(QString::fromLatin1(kSampleSerieFactura), kSampleNumeroFactura);
  const QString credito =
      renderer.CreateCreditoFiscalPDF(QString::fromLatin1(kSampleSerieCredito), kSampleNumeroCredito);

  database.OpenConnection(QString(), 0);
  const auto rows = database.DbConnection().execute(
      QStringLiteral("SELECT JSONDTE FROM FACTURAS_ENC WHERE SERIE = 'FA' AND NUMERO = %1").arg(kSampleNumeroFactura));
  const QString jsonPath = folder.path(QStringLiteral("files/muestra-dte.json"));
  writeFileReplacing(files, jsonPath, rows->field(QStringLiteral("JSONDTE")).toText().toUtf8() + "\r\n");
  database.CloseConnection();

  for (const QString& path : {jsonPath, factura, credito}) {
    if (message.addAttachment(path).isEmpty()) throw Error(kPathFileAccessError, message.lastError());
  }
}

// Through the transport the run uses: the server's final reply (Graph's
// 202), or for a pickup folder the file written.
SendResult deliver(const Application& app, const OutgoingMessage& message) {
  const StopCheck& stop = app.stopCheck();
  return MailSender(app.folder(), mailAccount(app.settings(), app.folder(), stop), 1, stop).send(prepareMail(message));
}

// The operator tries whatever the running program waits for; what it waits
// for, and whether this login ended that, is said too.
// A message the server answered (taken, or refused for its own sake) had a
// login that worked.
void tell(const Application& app, const SendResult& outcome, QTextStream& out, QTextStream& err) {
  const bool loggedIn = outcome.isSent() || (outcome.reach() == SendResult::Reach::Message && outcome.replyCode() != 0);
  const RunningWait wait = runningWait(app.folder(), app.settings(), loggedIn, QDateTime::currentDateTime());
  if (!wait.text.isEmpty()) (wait.holds ? err : out) << "corvex: " << wait.text << Qt::endl;
}

}  // namespace

bool sendTestMail(Application& app, const QString& address, QTextStream& out, QTextStream& err) {
  // Trapped here: whatever stops the test message is its outcome.
  try {
    OutgoingMessage message;
    message.setFrom(app.settings().sysSMTPFrom);
    message.setSubject(kSubject);
    message.setBody(kBody);
    message.addRecipient(QString(), address);
    const SampleFolder sample(app);
    attachSamples(app, sample, message);
    const SendResult outcome = deliver(app, message);
    if (outcome.isSent())
      out << outcome.text() << Qt::endl;
    else
      err << "corvex: " << withHint(outcome.text(), hintContextOf(app.settings())) << Qt::endl;
    tell(app, outcome, out, err);
    return outcome.isSent();
  } catch (const Error& error) {
    err << "corvex: error " << error.number() << ": " << error.description() << Qt::endl;
    return false;
  }
}

}  // namespace corvex
