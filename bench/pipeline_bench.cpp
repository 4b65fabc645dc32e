// The whole local pipeline as a user runs it: `corvex --once` over N pending
// one-page documents in SQLite, mailed into the pickup folder. Prints, per N,
// the wall time, the CPU time (user + system, steadier than wall time on a
// shared machine), the run's own figure from the daily log ("Run: ... N
// seconds", the dispatch run without the program's start) and what it makes
// per document, documents per second by wall and CPU time, and the peak
// resident memory of the process, for each way of printing: the stored
// procedure's rows into the Factura layout, and the document's own JSON
// ([Render] Source=json) into the layout of its type. Both runs mail the same
// rows.
//
//   corvex_pipeline_bench [--program PATH | --windows] [--wal] [--source procedure|json] [--generation 1|2]
//                         [N ...]            (default N: 100 300 1000, both sources)
//
// --windows runs the Windows build's corvex.exe under Wine instead, as the
// Windows tests do: CORVEX_WINDOWS_PROGRAM names it, CORVEX_WINE the loader,
// WINEPREFIX the prefix (scripts/windows-bench.sh sets all three). The CPU
// time is then that of the program's Wine process; Wine's server is not
// counted.
//
// --generation 2 rewrites the copies' JSON into the Normativa v2.0 generation
// (version 2, ivaRete instead of ivaRete1 and reteRenta, the observations in
// resumen instead of an extension), which the json source then prints.
//
// --wal puts the database file in SQLite's write-ahead-log mode first: a
// mark then costs one sync instead of a journal file created, synced and
// deleted per document.
#include "demo/demo_database.h"
#include "support/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <vector>

extern char** environ;

namespace corvex {
namespace {

struct Measured {
  int status = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long peakKiB = 0;
};

double seconds(const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

// wait4() gives the resources of exactly this child, which QProcess cannot.
Measured runMeasured(const QStringList& command) {
  std::vector<QByteArray> arguments;
  for (const QString& argument : command) arguments.push_back(argument.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  Measured measured;
  QElapsedTimer timer;
  timer.start();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return measured;
  rusage usage{};
  if (wait4(pid, &measured.status, 0, &usage) != pid) return measured;
  measured.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
  measured.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  measured.peakKiB = usage.ru_maxrss;
  return measured;
}

// The copies keep the demo document's JSON; its codigoGeneracion becomes
// each copy's IdDocumento, as the JSON path checks.
const char* const kOwnGenerationCodes =
    "UPDATE FACTURAS_ENC SET JSONDTE = replace(JSONDTE, json_extract(JSONDTE, '$.identificacion.codigoGeneracion'), "
    "IDDOCUMENTO) WHERE SERIE = 'BM';\n";

const char* const kSecondGeneration =
    "UPDATE FACTURAS_ENC SET JSONDTE = json_set(json_remove(JSONDTE, '$.resumen.ivaRete1', '$.resumen.reteRenta', "
    "'$.extension'), '$.identificacion.version', 2, '$.resumen.ivaRete', 0, '$.resumen.observaciones', "
    "'Entregar en horario de 8:00 a 16:00 h.') WHERE SERIE = 'BM';\n";

// An Application folder with `count` pending documents, mailing into outbox/.
void buildWorkspace(const QString& path, int count, const QString& source, bool secondGeneration) {
  for (const char* folder : {"logs", "files", "qr", "outbox"}) QDir(path).mkpath(QString::fromLatin1(folder));
  buildDemoDatabase(QDir(path).filePath(QStringLiteral("bench.db")), DemoContent::Documents,
                    documentCopiesSql(count) + QString::fromLatin1(kOwnGenerationCodes) +
                        (secondGeneration ? QString::fromLatin1(kSecondGeneration) : QString()));
  QFile ini(QDir(path).filePath(QStringLiteral("main.ini")));
  if (ini.open(QIODevice::WriteOnly))
    ini.write("[DB]\r\ncString=sqlite:bench.db\r\n[Render]\r\nSource=" + source.toLatin1() + "\r\n");
}

void useWriteAheadLog(const QString& file) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wal"));
    db.setDatabaseName(file);
    if (db.open()) QSqlQuery(QStringLiteral("PRAGMA journal_mode=WAL"), db);
  }
  QSqlDatabase::removeDatabase(QStringLiteral("wal"));
}

int mailed(const QString& path) {
  return int(QDir(QDir(path).filePath(QStringLiteral("outbox"))).entryList({QStringLiteral("*.eml")}).size());
}

// The seconds the run's summary line gives, or -1 without one.
double runSeconds(const QString& path) {
  static const QRegularExpression summary(QStringLiteral("sendDTEbyMail=> Run: .*, ([0-9.]+) seconds"));
  const QDir logs(QDir(path).filePath(QStringLiteral("logs")));
  for (const QString& name : logs.entryList(QDir::Files)) {
    QFile log(logs.filePath(name));
    if (!log.open(QIODevice::ReadOnly)) continue;
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(log.readAll()));
    if (match.hasMatch()) return match.captured(1).toDouble();
  }
  return -1;
}

// The program and the arguments before its own: this build's, another
// named by --program, or the Windows build's under Wine.
std::optional<QStringList> programCommand(QStringList& arguments) {
  if (arguments.removeAll(QStringLiteral("--windows")) > 0) {
    const std::optional<test::Program> windows = test::windowsBuild();
    if (!windows) return std::nullopt;
    if (qEnvironmentVariableIsEmpty("WINEDEBUG")) qputenv("WINEDEBUG", "-all");
    return QStringList{windows->wine, windows->path};
  }
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--program")); at >= 0 && at + 1 < arguments.size()) {
    const QString program = arguments[at + 1];
    arguments.remove(at, 2);
    return QStringList{program};
  }
  return QStringList{QStringLiteral(CORVEX_BINARY)};
}

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList arguments = app.arguments().mid(1);
  const std::optional<QStringList> program = corvex::programCommand(arguments);
  if (!program) {
    std::fprintf(stderr, "--windows: name the Windows build in CORVEX_WINDOWS_PROGRAM (scripts/windows-bench.sh)\n");
    return 2;
  }
  const bool wal = arguments.removeAll(QStringLiteral("--wal")) > 0;
  QStringList sources{QStringLiteral("procedure"), QStringLiteral("json")};
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--source")); at >= 0 && at + 1 < arguments.size()) {
    sources = {arguments[at + 1]};
    arguments.remove(at, 2);
  }
  bool secondGeneration = false;
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--generation")); at >= 0 && at + 1 < arguments.size()) {
    secondGeneration = arguments[at + 1] == QStringLiteral("2");
    arguments.remove(at, 2);
  }
  if (arguments.isEmpty()) arguments = {QStringLiteral("100"), QStringLiteral("300"), QStringLiteral("1000")};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  std::printf("SQLite journal: %s; DTE generation %d\n", wal ? "write-ahead log" : "rollback (default)",
              secondGeneration ? 2 : 1);
  std::printf("%-9s %-6s %8s %8s %8s %10s %10s %10s %9s %7s\n", "source", "docs", "wall s", "cpu s", "run s",
              "run ms/doc", "docs/s", "docs/cpu-s", "peak MiB", "mailed");
  for (const QString& count : arguments) {
    for (const QString& source : sources) {
      const QTemporaryDir dir;
      corvex::buildWorkspace(dir.path(), count.toInt(), source, secondGeneration);
      if (wal) corvex::useWriteAheadLog(dir.filePath(QStringLiteral("bench.db")));
      const corvex::Measured run = corvex::runMeasured(
          *program + QStringList{QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
      const double runSeconds = corvex::runSeconds(dir.path());
      std::printf("%-9s %-6d %8.2f %8.2f %8.1f %10.1f %10.1f %10.1f %9.1f %7d%s\n", qPrintable(source), count.toInt(),
                  run.wallSeconds, run.cpuSeconds, runSeconds, runSeconds * 1000.0 / count.toInt(),
                  count.toInt() / run.wallSeconds, count.toInt() / run.cpuSeconds, double(run.peakKiB) / 1024.0,
                  corvex::mailed(dir.path()), run.status == 0 ? "" : "  (run failed)");
    }
  }
  return 0;
}
