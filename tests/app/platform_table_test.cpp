// One table of runs of the real program, made with this build's program and,
// under Wine, with the Windows build's corvex.exe (make test-windows): what
// each run leaves behind (its output, the mails, the JSON bytes, the PDFs'
// text, the log lines) must be the same on both systems.
#include "demo/demo_database.h"
#include "support/demo_setup.h"
#include "support/dte_fixtures.h"
#include "support/pdf_tools.h"
#include "support/poll.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace corvex {
namespace {

using test::Program;
using test::ProgramRun;
using test::SmtpPeer;

constexpr int kRunMs = 90000;

const QString kSmtpPeerSql = QStringLiteral(
    "UPDATE Parametros SET Valor = 'localhost' WHERE Parametro = 'sysSMTPServer';\n"
    "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n");

const QString kRefuseMarks = QStringLiteral(
    "CREATE TRIGGER refuse_mark BEFORE UPDATE OF ENVIADA ON FACTURAS_ENC "
    "BEGIN SELECT RAISE(ABORT, 'mark refused'); END");

const std::pair<QRegularExpression, QString> kRunToRun[] = {
    {QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<time>")},
    {QRegularExpression(QStringLiteral("\\d+\\.\\d seconds")), QStringLiteral("<n> seconds")},
    {QRegularExpression(QStringLiteral("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.eml")),
     QStringLiteral("<mail>.eml")},
    {QRegularExpression(QStringLiteral("process \\d+ on \\S+\\)")), QStringLiteral("process <pid> on <host>)")},
};

// One row's run on one system, in a folder of its own, and what it showed,
// written so that both systems write the same: the folder's path, line ends
// and path separators are the same everywhere.
class Runner {
 public:
  explicit Runner(Program program) : m_program(std::move(program)) {}

  const test::TempAppDir& dir() const { return m_dir; }
  QString path(const QString& relative) const { return m_dir.filePath(relative); }
  const QStringList& facts() const { return m_facts; }
  QProcessEnvironment& environment() { return m_environment; }
  const Program& program() const { return m_program; }

  void fact(const QString& name, const QString& value) { m_facts << name + QStringLiteral(": ") + comparable(value); }

  // The program with `arguments` and, unless `inFolder` is false, --app-dir.
  ProgramRun run(QStringList arguments, bool inFolder = true) {
    if (inFolder) arguments << QStringLiteral("--app-dir") << m_dir.path();
    const ProgramRun done = test::runProgram(m_program, arguments, kRunMs, m_environment);
    const QString called = arguments.value(0);
    fact(called + QStringLiteral(" exit"), QString::number(done.exitCode));
    fact(called + QStringLiteral(" out"), QString::fromUtf8(done.out));
    fact(called + QStringLiteral(" err"), QString::fromUtf8(done.err));
    return done;
  }

  // Each message's headers, text, and attachments: JSON bytes, PDF text.
  void mails(QStringList files) {
    files.sort();
    QStringList described;
    for (const QString& file : files) described << describedMail(file);
    described.sort();
    fact(QStringLiteral("mails"), QString::number(files.size()));
    for (const QString& mail : described) fact(QStringLiteral("mail"), mail);
  }

  void outbox(const QString& folder = QStringLiteral("outbox")) {
    const QDir box(path(folder));
    QStringList files;
    for (const QString& name : box.entryList({QStringLiteral("*.eml")}, QDir::Files)) files << box.filePath(name);
    mails(files);
  }

  // The log's lines without their time stamps.
  void log() {
    for (const QString& line : m_dir.logLines())
      fact(QStringLiteral("log"), line.mid(line.indexOf(QStringLiteral(" - ")) + 3));
  }

  // Runs `program` from now on.
  void use(Program program) { m_program = std::move(program); }

  // Facts from now on show `pattern` as `with`: what each system words its
  // own way, such as its text for a file it cannot remove.
  void mask(const QString& pattern, const QString& with) { m_masks.emplace_back(QRegularExpression(pattern), with); }

  void query(const QString& sql) {
    fact(sql, m_dir.querySqlite(QStringLiteral("ventas.db"), sql).join(QLatin1Char(' ')));
  }

  void pdf(const QString& file) {
    fact(QStringLiteral("pdf text"), wordsOf(test::pdfText(file)));
    fact(QStringLiteral("pdf qr"), test::pdfQrCodes(file).join(QLatin1Char(' ')));
  }

 private:
  QString comparable(QString text) const {
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    static const QRegularExpression drive(QStringLiteral("\\b[A-Za-z]:(?=/)"));
    text.remove(drive);
    text.replace(m_dir.path(), QStringLiteral("<dir>"));
    // What differs from one run to the next on any system.
    for (const auto& [pattern, mask] : kRunToRun) text.replace(pattern, mask);
    for (const auto& [pattern, mask] : m_masks) text.replace(pattern, mask);
    return text;
  }

  QString describedMail(const QString& file) const {
    const QJsonObject message = SmtpPeer::decode(file);
    const QJsonObject headers = message[QStringLiteral("headers")].toObject();
    QStringList parts{headers[QStringLiteral("From")].toString(), headers[QStringLiteral("To")].toString(),
                      headers[QStringLiteral("Subject")].toString(),
                      QString::fromUtf8(QByteArray::fromBase64(message[QStringLiteral("body")].toString().toLatin1()))};
    for (const QJsonValue& value : message[QStringLiteral("attachments")].toArray()) {
      const QJsonObject attachment = value.toObject();
      const QString name = attachment[QStringLiteral("filename")].toString();
      const QByteArray data = QByteArray::fromBase64(attachment[QStringLiteral("data")].toString().toLatin1());
      parts << name << (name.endsWith(QStringLiteral(".pdf")) ? pdfTextOf(data) : QString::fromUtf8(data));
    }
    return parts.join(QLatin1Char('\n'));
  }

  QString pdfTextOf(const QByteArray& data) const {
    QTemporaryDir scratch;
    QFile file(scratch.filePath(QStringLiteral("a.pdf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) return QStringLiteral("(unwritable)");
    file.close();
    return wordsOf(test::pdfText(file.fileName()));
  }

  // The text's words in order: where a line wraps and where pdftotext puts
  // its columns depend on glyph advances, which each system's font engine
  // rounds its own way.
  static QString wordsOf(const QString& text) { return text.simplified(); }

  Program m_program;
  test::TempAppDir m_dir{test::demoRunFolders()};
  QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
  QStringList m_facts;
  std::vector<std::pair<QRegularExpression, QString>> m_masks;
};

// Holds a file as another program would (a virus scanner, a backup) until
// it goes: on Windows opened with nothing shared, by hold_file.exe under the
// same Wine; here a folder in its place, which no removal gets past either.
class FileHolder {
 public:
  FileHolder(const Program& program, const QString& path) : m_path(path), m_folder(program.wine.isEmpty()) {
    if (m_folder) {
      m_holds = QDir().mkpath(path + QStringLiteral("/held"));
      return;
    }
    const QString holder = qEnvironmentVariable("CORVEX_WINDOWS_HOLD_FILE");
    if (holder.isEmpty()) return;
    test::startProgram(m_windowsHolder, {holder, program.wine}, {path});
    QByteArray out;
    test::pollUntil(
        [&] {
          m_windowsHolder.waitForReadyRead(200);
          out += m_windowsHolder.readAllStandardOutput();
          return out.contains("held") || m_windowsHolder.state() == QProcess::NotRunning;
        },
        kRunMs);
    m_holds = out.contains("held");
  }
  ~FileHolder() {
    if (m_folder) {
      QDir(m_path).removeRecursively();
      return;
    }
    m_windowsHolder.closeWriteChannel();
    if (!m_windowsHolder.waitForFinished(kRunMs)) m_windowsHolder.kill();
  }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  bool holds() const { return m_holds; }

 private:
  QString m_path;
  bool m_folder;
  QProcess m_windowsHolder;
  bool m_holds = false;
};

// The demo's documents in a folder that mails them to `peer`, which the
// program trusts through the CA `ca` names. The peer is named, not given by
// address: Schannel (curl 7.88) matches a certificate's DNS names only.
void mailTo(Runner& r, const SmtpPeer& peer, const QString& ca, const QString& sql = QString()) {
  test::writeDemoSetUp(r.dir(), kSmtpPeerSql.arg(peer.port()) + sql);
  r.environment().insert(QStringLiteral("CURL_CA_BUNDLE"), ca);
}

void demo(Runner& r) {
  r.run({QStringLiteral("demo"), r.path(QStringLiteral("demo"))}, false);
  r.outbox(QStringLiteral("demo/outbox"));
}

void onceIntoThePickupFolder(Runner& r) {
  test::writeDemoSetUp(r.dir());
  r.run({QStringLiteral("--once")});
  r.outbox();
  r.log();
  r.query(QStringLiteral("SELECT NUMERO FROM FACTURAS_ENC WHERE ENVIADA = 1 ORDER BY NUMERO"));
}

void onceOverStartTls(Runner& r) {
  SmtpPeer peer;
  mailTo(r, peer, peer.caBundle());
  r.run({QStringLiteral("--once")});
  r.mails(peer.messageFiles());
  r.log();
}

// A server whose certificate another CA signed: nothing is mailed.
void anotherCaIsRefused(Runner& r) {
  SmtpPeer peer;
  QTemporaryDir otherCerts;
  test::SmtpPeerOptions otherOptions;
  otherOptions.certDir = otherCerts.path();
  const SmtpPeer other(otherOptions);
  mailTo(r, peer, other.caBundle());
  r.run({QStringLiteral("--once")});
  r.fact(QStringLiteral("received"), QString::number(peer.messageFiles().size()));
  r.query(QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0"));
}

// The signed file of each type, as an integrator checks a layout.
void renderEveryDteType(Runner& r) {
  test::writeDemoSetUp(r.dir());
  QStringList types;
  for (const test::DteFixture& fixture : test::writeDteFixtures(r.path(QStringLiteral("dte")), true)) {
    if (types.contains(fixture.tipoDte)) continue;
    types << fixture.tipoDte;
    const ProgramRun done = r.run({QStringLiteral("render"), QStringLiteral("dte"), fixture.path});
    if (done.exitCode == 0) r.pdf(QString::fromUtf8(done.out).trimmed());
  }
}

void check(Runner& r) {
  test::writeDemoSetUp(r.dir());
  r.run({QStringLiteral("check")});
}

// While one instance polls the folder, a second is refused.
void secondInstanceRefused(Runner& r) {
  test::writeDemoSetUp(r.dir());
  QProcess first;
  test::startProgram(first, r.program(), {QStringLiteral("--headless"), QStringLiteral("--app-dir"), r.dir().path()},
                     r.environment());
  QByteArray out;
  const bool polling = test::pollUntil(
      [&] {
        first.waitForReadyRead(200);
        out += first.readAllStandardOutput();
        return out.contains("Last Run");
      },
      kRunMs);
  r.fact(QStringLiteral("first polls"), polling ? QStringLiteral("yes") : QString::fromUtf8(out));
  r.run({QStringLiteral("--once")});
  first.kill();
  first.waitForFinished(10000);
}

void resend(Runner& r) {
  test::writeDemoSetUp(r.dir());
  r.run({QStringLiteral("--once")});
  QDir(r.path(QStringLiteral("outbox"))).removeRecursively();
  QDir().mkpath(r.path(QStringLiteral("outbox")));
  r.run({QStringLiteral("resend"), QStringLiteral("FA"), QStringLiteral("1250"), QStringLiteral("--to"),
         QStringLiteral("contador@example.com")});
  r.run({QStringLiteral("--once")});
  r.outbox();
}

// The buyer got the mail, the mark was refused: the journal keeps it.
void journalAfterARefusedMark(Runner& r) {
  test::writeDemoSetUp(r.dir());
  r.dir().querySqlite(QStringLiteral("ventas.db"), kRefuseMarks);
  r.run({QStringLiteral("--once")});
  QFile journal(r.path(QStringLiteral("mailed-unmarked.jsonl")));
  r.fact(QStringLiteral("journal"), journal.open(QIODevice::ReadOnly) ? QString::fromUtf8(journal.readAll()) : "none");
  r.log();
}

// Ctrl+C (Wine hands SIGINT to the console handler as Ctrl+C) once the
// peer has stored the first mail: the document in hand goes out and is
// marked, the rest stay pending, and the program ends normally.
void stopFinishesTheDocumentInHand(Runner& r) {
  QTemporaryDir scratch;
  const QString pidFile = scratch.filePath(QStringLiteral("pid"));
  test::SmtpPeerFaults faults;
  faults.afterMessage = 1;
  faults.afterCommand = QStringLiteral("kill -INT $(cat %1)").arg(pidFile);
  SmtpPeer peer({}, faults);
  mailTo(r, peer, peer.caBundle(), documentCopiesSql(20));
  QProcess program;
  test::startProgram(program, r.program(), {QStringLiteral("--headless"), QStringLiteral("--app-dir"), r.dir().path()},
                     r.environment());
  QFile pid(pidFile);
  if (pid.open(QIODevice::WriteOnly)) pid.write(QByteArray::number(program.processId()));
  pid.close();
  const bool ended = program.waitForFinished(kRunMs);
  if (!ended) program.kill();
  r.fact(QStringLiteral("ended by itself"), ended ? QString::number(program.exitCode()) : QStringLiteral("no"));
  const qsizetype mailed = peer.messageFiles().size();
  // The copies alone: the demo's own documents were marked before.
  const QString marked =
      r.dir()
          .querySqlite(QStringLiteral("ventas.db"),
                       QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 1 AND SERIE = 'BM'"))
          .value(0);
  r.fact(QStringLiteral("mailed are marked"),
         marked == QString::number(mailed) ? QStringLiteral("yes") : marked + QStringLiteral(" of %1").arg(mailed));
  r.fact(QStringLiteral("some left pending"), mailed < 20 ? QStringLiteral("yes") : QString::number(mailed));
}

// One document's JSON held by another program over two runs: that document
// fails alone, logged once, and the others go; once let go, the next run
// mails it.
void heldFileRetried(Runner& r) {
  test::writeDemoSetUp(r.dir());
  const QString id = r.dir()
                         .querySqlite(QStringLiteral("ventas.db"),
                                      QStringLiteral("SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE NUMERO = 1251"))
                         .value(0);
  r.mask(QStringLiteral("(Cannot remove \\S+): .*"), QStringLiteral("\\1: <held>"));
  const QString marked = QStringLiteral("SELECT NUMERO FROM FACTURAS_ENC WHERE ENVIADA = 1 ORDER BY NUMERO");
  {
    const FileHolder holder(r.program(), r.path(QStringLiteral("files/%1.json").arg(id)));
    r.fact(QStringLiteral("held"), holder.holds() ? QStringLiteral("yes") : QStringLiteral("no"));
    r.run({QStringLiteral("--once")});
    r.run({QStringLiteral("--once")});
    r.query(marked);
  }
  r.run({QStringLiteral("--once")});
  r.query(marked);
  r.outbox();
  r.log();
}

// Neither the layout's font nor its stand-in, nor any other: the document
// fails with a clear error instead of a crash or a page without text.
void noFontAtAll(Runner& r) {
  test::writeDemoSetUp(r.dir());
  QTemporaryDir fonts;
  QFile config(fonts.filePath(QStringLiteral("fonts.conf")));
  if (config.open(QIODevice::WriteOnly))
    config.write("<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" + fonts.path().toUtf8() +
                 "</cachedir></fontconfig>\n");
  config.close();
  r.environment().insert(QStringLiteral("FONTCONFIG_FILE"), config.fileName());
  // Windows: the offscreen platform reads only this (empty) folder, and the
  // program runs from a copy of its folder without the fonts beside it.
  r.environment().insert(QStringLiteral("WINEQT_QPA_FONTDIR"), fonts.path());
  if (!r.program().wine.isEmpty()) {
    const QDir installed = QFileInfo(r.program().path).dir();
    for (const QString& entry : installed.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
      if (entry != QStringLiteral("fonts")) QFile::link(installed.filePath(entry), fonts.filePath(entry));
    r.use({fonts.filePath(QFileInfo(r.program().path).fileName()), r.program().wine});
  }
  r.run({QStringLiteral("render"), QStringLiteral("factura"), QStringLiteral("FA"), QStringLiteral("1251")});
}

struct Row {
  const char* name;
  std::function<void(Runner&)> run;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const Row kRows[] = {
    {"Help", [](Runner& r) { r.run({QStringLiteral("--help")}, false); }},
    {"Demo", demo},
    {"OnceIntoThePickupFolder", onceIntoThePickupFolder},
    {"OnceOverStartTls", onceOverStartTls},
    {"AnotherCaIsRefused", anotherCaIsRefused},
    {"RenderEveryDteType", renderEveryDteType},
    {"Check", check},
    {"SecondInstanceRefused", secondInstanceRefused},
    {"Resend", resend},
    {"JournalAfterARefusedMark", journalAfterARefusedMark},
    {"StopFinishesTheDocumentInHand", stopFinishesTheDocumentInHand},
    {"NoFontAtAll", noFontAtAll},
    {"HeldFileRetried", heldFileRetried},
};

class PlatformTableTest : public ::testing::TestWithParam<Row> {};

TEST_P(PlatformTableTest, WindowsRunsAsThisSystemRuns) {
  const std::optional<Program> windows = test::windowsBuild();
  if (!windows) GTEST_SKIP() << "no Windows build named (make test-windows names one)";
  Runner here(test::thisBuild());
  GetParam().run(here);
  Runner there(*windows);
  GetParam().run(there);
  EXPECT_EQ(there.facts().join(QLatin1Char('\n')).toStdString(), here.facts().join(QLatin1Char('\n')).toStdString());
}

INSTANTIATE_TEST_SUITE_P(Rows, PlatformTableTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
