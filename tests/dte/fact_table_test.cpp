#include "dte/fact_table.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

const char* const kVersions =
    R"("versions": {"01": [1, 2], "03": [3, 4], "04": [3, 4], "05": [3, 4], "06": [3, 4], "07": [1, 2],
                    "08": [1, 2], "09": [1, 2], "11": [1, 3], "14": [1, 2], "15": [1, 2]})";

QByteArray table(const char* rest) { return QByteArray("{") + kVersions + ", " + rest + "}"; }

// A type's own path wins over "*", null reads blank, a generation left out
// reads as the one before it.
TEST(FactTableTest, EachTypeAndGenerationFindsItsPath) {
  const FactTable facts = FactTable::fromJson(
      table(R"("document": {"party": [{"*": "emisor", "15": "donatario", "09": null}, {"*": "emisor"}],
                            "kept": [{"*": "resumen.total"}]},
               "item": {"text": [{"*": "descripcion"}, {"08": "observaciones"}]})"));
  EXPECT_EQ(facts.paths(u"15", 1).document.value(QStringLiteral("party")), QStringLiteral("donatario"));
  EXPECT_EQ(facts.paths(u"15", 2).document.value(QStringLiteral("party")), QStringLiteral("emisor"));
  EXPECT_EQ(facts.paths(u"01", 1).document.value(QStringLiteral("party")), QStringLiteral("emisor"));
  EXPECT_TRUE(facts.paths(u"09", 1).document.contains(QStringLiteral("party")));
  EXPECT_EQ(facts.paths(u"09", 1).document.value(QStringLiteral("party")), QString());
  EXPECT_EQ(facts.paths(u"03", 2).document.value(QStringLiteral("kept")), QStringLiteral("resumen.total"));
  EXPECT_EQ(facts.paths(u"08", 2).item.value(QStringLiteral("text")), QStringLiteral("observaciones"));
  EXPECT_EQ(facts.paths(u"01", 2).item.value(QStringLiteral("text")), QString());
  EXPECT_EQ(facts.versions(u"11"), (QList<int>{1, 3}));
}

TEST(FactTableTest, ABrokenTableIsRefusedSayingWhy) {
  const struct {
    QByteArray json;
    const char* why;
  } cases[] = {
      {"[]", "needs \"versions\""},
      {table(R"("document": {})"), "needs \"versions\", \"document\" and \"item\""},
      {R"({"versions": {"01": [1, 2]}, "document": {}, "item": {}})", "type 03 has no version"},
      {table(R"("document": {"x": [{}, {}, {}]}, "item": {})"), "x does not list one or two generations"},
      {table(R"("document": {"x": [{"*": 3}]}, "item": {})"), "x: a path is not text"},
      {table(R"("document": {"x": ["emisor"]}, "item": {})"), "x: a generation is not an object"},
  };
  for (const auto& c : cases) {
    const auto error = test::raisedError([&] { FactTable::fromJson(c.json); });
    ASSERT_TRUE(error) << c.why;
    EXPECT_EQ(error->number(), kInvalidFileFormat);
    EXPECT_TRUE(error->description().contains(QString::fromUtf8(c.why))) << error->description().toStdString();
  }
}

}  // namespace
}  // namespace corvex
