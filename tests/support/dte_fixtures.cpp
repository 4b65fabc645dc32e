#include "support/dte_fixtures.h"

#include "support/peer_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <stdexcept>

namespace corvex::test {
namespace {

DteFixture fixtureOf(const QString& folder, const QJsonObject& entry) {
  DteFixture fixture;
  fixture.path = QDir(folder).filePath(entry[u"file"].toString());
  fixture.tipoDte = entry[u"tipoDte"].toString();
  fixture.generation = entry[u"generation"].toInt();
  fixture.typeName = entry[u"typeName"].toString();
  fixture.items = entry[u"items"].toInt();
  fixture.codigoGeneracion = entry[u"codigoGeneracion"].toString();
  fixture.numeroControl = entry[u"numeroControl"].toString();
  fixture.sello = entry[u"sello"].toString();
  fixture.issuerName = entry[u"issuerName"].toString();
  fixture.issuerNit = entry[u"issuerNit"].toString();
  fixture.counterpartyName = entry[u"counterpartyName"].toString();
  fixture.total = entry[u"total"].toString();
  fixture.fecEmi = entry[u"fecEmi"].toString();
  fixture.qr = entry[u"qr"].toString();
  for (const QJsonValue& description : entry[u"descriptions"].toArray()) fixture.descriptions << description.toString();
  for (const QJsonValue& fact : entry[u"facts"].toArray()) fixture.facts << fact.toString();
  fixture.words = entry[u"words"].toString();
  return fixture;
}

}  // namespace

std::vector<DteFixture> writeDteFixtures(const QString& folder, bool signedFiles) {
  QStringList arguments{supportScript(QStringLiteral("dte_fixtures.py")), folder};
  if (signedFiles) arguments << QStringLiteral("--signed");
  QProcess script;
  script.start(python(), arguments);
  if (!script.waitForFinished(60000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
    script.kill();
    script.waitForFinished(5000);
    throw std::runtime_error("dte_fixtures.py failed: " + script.readAllStandardError().toStdString());
  }
  QFile index(QDir(folder).filePath(QStringLiteral("index.json")));
  if (!index.open(QIODevice::ReadOnly)) throw std::runtime_error("dte_fixtures.py wrote no index.json");
  std::vector<DteFixture> fixtures;
  for (const QJsonValue& entry : QJsonDocument::fromJson(index.readAll()).array())
    fixtures.push_back(fixtureOf(folder, entry.toObject()));
  if (fixtures.empty()) throw std::runtime_error("dte_fixtures.py listed no documents");
  return fixtures;
}

}  // namespace corvex::test
