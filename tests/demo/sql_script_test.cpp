#include "demo/sql_script.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(SqlScriptTest, SplitsOnSemicolonsOutsideTextsAndComments) {
  const std::pair<QString, QStringList> cases[] = {
      {"", {}},
      {" ;\n; -- nothing\n/* at all */;", {}},
      {"SELECT 1", {"SELECT 1"}},
      {"SELECT 1;SELECT 2;\n", {"SELECT 1", "SELECT 2"}},
      {"INSERT INTO t VALUES ('a;b', 'it''s; fine');", {"INSERT INTO t VALUES ('a;b', 'it''s; fine')"}},
      {"INSERT INTO t VALUES ('''');SELECT 2", {"INSERT INTO t VALUES ('''')", "SELECT 2"}},
      {"SELECT \"a;b\", [c;d] FROM t; SELECT 3", {"SELECT \"a;b\", [c;d] FROM t", "SELECT 3"}},
      {"-- note; with a semicolon\nSELECT 1; /* x; y */ SELECT 2",
       {"-- note; with a semicolon\nSELECT 1", "/* x; y */ SELECT 2"}},
      {"SELECT 'José; Ñuñoa'", {"SELECT 'José; Ñuñoa'"}},
      {"SELECT 'unclosed; text", {"SELECT 'unclosed; text"}},
      {"SELECT 1 -- trailing comment without line end", {"SELECT 1 -- trailing comment without line end"}},
      {"SELECT 5 - 3; SELECT 6 / 2", {"SELECT 5 - 3", "SELECT 6 / 2"}},
  };
  for (const auto& [script, expected] : cases) EXPECT_EQ(splitSqlScript(script), expected) << script.toStdString();
}

}  // namespace
}  // namespace corvex
