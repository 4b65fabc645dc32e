#include "dte_fixture_set.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <stdexcept>

namespace corvex::test {
namespace {

const QTemporaryDir& folder() {
  static const QTemporaryDir dir;
  return dir;
}

}  // namespace

const std::vector<DteFixture>& unsignedFixtures() {
  static const std::vector<DteFixture> fixtures = writeDteFixtures(folder().filePath(QStringLiteral("view")));
  return fixtures;
}

const std::vector<DteFixture>& signedFixtures() {
  static const std::vector<DteFixture> fixtures = writeDteFixtures(folder().filePath(QStringLiteral("signed")), true);
  return fixtures;
}

const DteFixture& fixture(const QString& file) {
  const auto& all = unsignedFixtures();
  const auto it =
      std::find_if(all.begin(), all.end(), [&](const DteFixture& f) { return f.path.endsWith(u'/' + file); });
  if (it == all.end()) throw std::runtime_error("no fixture " + file.toStdString());
  return *it;
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return file.readAll();
}

nlohmann::json fixtureJson(const QString& file) {
  const QByteArray bytes = fileBytes(fixture(file).path);
  return nlohmann::json::parse(bytes.begin(), bytes.end());
}

}  // namespace corvex::test
