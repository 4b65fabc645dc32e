#include "db/procedure_call.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(ProcedureCallTest, ParsesNamesAndValues) {
  const auto call =
      parseProcedureCall(QStringLiteral("Exec tovGetFESalvador @Opcion = 9, @Serie='O''Brien', @Numero=-7"));
  ASSERT_TRUE(call);
  EXPECT_EQ(call->name, QStringLiteral("tovGetFESalvador"));
  ASSERT_EQ(call->arguments.size(), 3);
  EXPECT_EQ(call->arguments[0].first, QStringLiteral("Opcion"));
  EXPECT_EQ(call->arguments[0].second, QVariant(qlonglong(9)));
  EXPECT_EQ(call->arguments[1].second, QVariant(QStringLiteral("O'Brien")));
  EXPECT_EQ(call->arguments[2].second, QVariant(qlonglong(-7)));
}

TEST(ProcedureCallTest, AcceptsEveryFormOfTheKeyword) {
  for (const QString& statement :
       {QStringLiteral("EXEC p"), QStringLiteral("exec p;"), QStringLiteral("  EXECUTE dbo.p @A=N'x', @B = NULL"),
        QStringLiteral("execute [p] @A = 1.5")}) {
    const auto call = parseProcedureCall(statement);
    ASSERT_TRUE(call) << statement.toStdString();
    EXPECT_EQ(call->name, QStringLiteral("p"));
  }
  EXPECT_FALSE(parseProcedureCall(QStringLiteral("SELECT * FROM vwDTECorvex")));
  EXPECT_FALSE(parseProcedureCall(QStringLiteral("EXECUTIVE p")));
}

TEST(ProcedureCallTest, RefusesMalformedArguments) {
  for (const QString& statement : {QStringLiteral("EXEC p @A = 'open"), QStringLiteral("EXEC p @A = x"),
                                   QStringLiteral("EXEC p @A = 1 @B = 2"), QStringLiteral("EXEC p A = 1")}) {
    EXPECT_THROW(parseProcedureCall(statement), Error) << statement.toStdString();
  }
}

TEST(ProcedureCallTest, BindsParametersOutsideStringLiteralsOnly) {
  const auto call = parseProcedureCall(QStringLiteral("EXEC p @Serie = 'A', @Numero = 125"));
  const BoundBody bound = bindProcedureBody(
      *call,
      QStringLiteral("SELECT 'mail@numero' AS m FROM t WHERE serie = @serie AND numero = @Numero OR @Numero < 0"));
  EXPECT_EQ(bound.sql, QStringLiteral("SELECT 'mail@numero' AS m FROM t WHERE serie = ? AND numero = ? OR ? < 0"));
  EXPECT_EQ(bound.values, (QVector<QVariant>{QStringLiteral("A"), qlonglong(125), qlonglong(125)}));
}

TEST(ProcedureCallTest, MissingParameterIsAClearError) {
  const auto call = parseProcedureCall(QStringLiteral("EXEC p @Serie = 'A'"));
  const auto error =
      test::raisedError([&] { bindProcedureBody(*call, QStringLiteral("SELECT * FROM t WHERE numero = @Numero")); });
  ASSERT_TRUE(error) << "no error";
  EXPECT_EQ(error->description(),
            QStringLiteral("Procedure or function 'p' expects parameter '@Numero', which was not supplied."));
}

}  // namespace
}  // namespace corvex
