#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

namespace corvex::test {

namespace {

// Runs `work` on a private connection to the file and removes the connection after.
template <typename Work>
void withSqlite(const QString& file, Work work) {
  const QString name = QUuid::createUuid().toString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
    work(db);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
}

void execOrThrow(QSqlQuery& query, const QString& sql) {
  if (!query.exec(sql)) throw std::runtime_error((sql + QStringLiteral(": ") + query.lastError().text()).toStdString());
}

}  // namespace

TempAppDir::TempAppDir(const QStringList& folders) {
  for (const QString& folder : folders) QDir(m_dir.path()).mkpath(folder);
}

void TempAppDir::writeFile(const QString& relative, const QByteArray& content) const {
  QFile file(filePath(relative));
  if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write " + relative.toStdString());
  file.write(content);
}

QByteArray TempAppDir::readFile(const QString& relative) const {
  QFile file(filePath(relative));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

bool TempAppDir::exists(const QString& relative) const { return QFile::exists(filePath(relative)); }

QStringList TempAppDir::logLines() const {
  QStringList lines;
  const QDir logs(filePath(QStringLiteral("logs")));
  for (const QString& name : logs.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
    const QString text = QString::fromUtf8(readFile(QStringLiteral("logs/") + name));
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) lines << line;
  }
  return lines;
}

void TempAppDir::createSqlite(const QString& relative, const QString& sql) const {
  withSqlite(filePath(relative), [&](QSqlDatabase& db) {
    QSqlQuery query(db);
    for (const QString& statement : sql.split(QStringLiteral(";\n"), Qt::SkipEmptyParts)) {
      if (!statement.trimmed().isEmpty()) execOrThrow(query, statement);
    }
  });
}

QStringList TempAppDir::querySqlite(const QString& relative, const QString& sql) const {
  QStringList values;
  withSqlite(filePath(relative), [&](QSqlDatabase& db) {
    QSqlQuery query(db);
    execOrThrow(query, sql);
    while (query.next()) values << query.value(0).toString();
  });
  return values;
}

}  // namespace corvex::test
