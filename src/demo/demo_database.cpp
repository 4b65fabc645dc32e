#include "demo/demo_database.h"

#include "base/error.h"
#include "demo/sql_script.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <optional>

// The demo data is compiled into a static library, whose resources the
// linker keeps only when something names their initializer; it must be
// named outside any namespace.
static void initDemoResources() { Q_INIT_RESOURCE(demo); }

namespace corvex {

namespace {

Error statementError(const QSqlQuery& query, const QString& statement) {
  const QString opening = statement.left(80).simplified();
  return Error(kDatabaseError, QStringLiteral("%1 (in: %2...)").arg(query.lastError().text().trimmed(), opening));
}

void execute(QSqlQuery& query, const QString& statement) {
  if (!query.exec(statement)) throw statementError(query, statement);
}

void runScript(QSqlDatabase& db, const QString& script) {
  QSqlQuery query(db);
  for (const QString& statement : splitSqlScript(script)) execute(query, statement);
}

void insertLogo(QSqlDatabase& db) {
  QSqlQuery query(db);
  const QString statement = QStringLiteral("INSERT INTO SYSDATA (LOGO) VALUES (?)");
  query.prepare(statement);
  query.addBindValue(demoResource(QStringLiteral("logo.png")));
  if (!query.exec()) throw statementError(query, statement);
}

void fill(QSqlDatabase& db, DemoContent content, const QString& extraSql) {
  if (!db.transaction()) throw Error(kDatabaseError, db.lastError().text());
  runScript(db, QString::fromUtf8(demoResource(QStringLiteral("schema.sql"))));
  insertLogo(db);
  if (content == DemoContent::Documents)
    runScript(db, QString::fromUtf8(demoResource(QStringLiteral("documents.sql"))));
  runScript(db, extraSql);
  if (!db.commit()) throw Error(kDatabaseError, db.lastError().text());
}

}  // namespace

QByteArray demoResource(const QString& name) {
  initDemoResources();
  QFile file(QStringLiteral(":/demo/") + name);
  if (!file.open(QIODevice::ReadOnly))
    throw Error(kFileNotFound, QStringLiteral("The demo data has no file \"%1\".").arg(name));
  return file.readAll();
}

void buildDemoDatabase(const QString& file, DemoContent content, const QString& extraSql) {
  if (QFile::exists(file))
    throw Error(kDatabaseError, QStringLiteral("Cannot build the demo database \"%1\": the file exists already.")
                                    .arg(QDir::toNativeSeparators(file)));
  const QString name = QStringLiteral("corvex-demo-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  // The connection must be gone before the file of a failed build can go.
  std::optional<Error> failure;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    try {
      if (!db.open()) throw Error(kDatabaseError, db.lastError().text());
      fill(db, content, extraSql);
    } catch (const Error& error) {
      failure = error;
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  if (!failure) return;
  QFile::remove(file);
  throw *failure;
}

QString documentCopiesSql(int count) {
  // Built by concatenation: the printf() patterns would confuse QString::arg().
  return QStringLiteral(
             "CREATE TEMP TABLE copies AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
             "WHERE i < ") +
         QString::number(count) +
         QStringLiteral(
             ") SELECT e.* FROM n CROSS JOIN FACTURAS_ENC e WHERE e.SERIE = 'FA' AND e.NUMERO = 1251 ORDER BY n.i;\n"
             "UPDATE FACTURAS_ENC SET ENVIADA = 1;\n"
             "UPDATE copies SET SERIE = 'BM', NUMERO = rowid, ENVIADA = 0, IDDOCUMENTO = printf('BENCH-%06d', rowid), "
             "EMAIL = printf('buyer%d@example.com', rowid), "
             "FECHA = datetime('2024-04-01 08:00:00', printf('+%d seconds', rowid));\n"
             "INSERT INTO FACTURAS_ENC SELECT * FROM copies;\n"
             "INSERT INTO FACTURAS_DET SELECT 'BM', c.NUMERO, d.LINEA, d.IDARTICULO, d.ARTICULO, d.CANTIDAD, d.PRECIO, "
             "d.PRECIO_FINAL, d.TLINEA, d.IITLINEA FROM copies c CROSS JOIN FACTURAS_DET d "
             "WHERE d.SERIE = 'FA' AND d.NUMERO = 1251;\n"
             "DROP TABLE copies;\n");
}

}  // namespace corvex
