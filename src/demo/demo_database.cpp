#include "demo/demo_database.h"

#include "demo/sql_script.h"
#include "base/error.h"

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

}  // namespace corvex
