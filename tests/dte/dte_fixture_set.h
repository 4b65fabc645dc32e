#pragma once

#include "support/dte_fixtures.h"

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <vector>

namespace corvex::test {

/// The fixture documents, written once per test program, unsigned (as the
/// view holds them) and signed (as the program stores them).
const std::vector<DteFixture>& unsignedFixtures();
const std::vector<DteFixture>& signedFixtures();

/// The fixture of `file` ("03-45.json") among the unsigned ones.
const DteFixture& fixture(const QString& file);
QByteArray fileBytes(const QString& path);
nlohmann::json fixtureJson(const QString& file);

}  // namespace corvex::test
