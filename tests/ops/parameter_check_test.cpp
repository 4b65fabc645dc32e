#include "ops/parameter_check.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

ParameterValues goodValues() {
  return {{QStringLiteral("sysEmail"), QStringLiteral("info@company.com")},
          {QStringLiteral("sysWeb"), QString()},
          {QStringLiteral("sysSMTPServer"), QStringLiteral("smtp.provider.com")},
          {QStringLiteral("sysSMTPPort"), QStringLiteral("587")},
          {QStringLiteral("sysSMTPUser"), QStringLiteral("dte@company.com")},
          {QStringLiteral("sysSMTPPassword"), QStringLiteral("secret")},
          {QStringLiteral("sysSMTPFrom"), QStringLiteral("dte@company.com")},
          {QStringLiteral("FESVAmbiente"), QStringLiteral("01")}};
}

TEST(ParameterCheckTest, JudgesEachValueAsTheProgramUsesIt) {
  const struct {
    const char* name;
    std::optional<QString> value;
    const char* problemPart;  // empty: the value is fine
    const char* server = "smtp.provider.com";
  } cases[] = {
      {"sysSMTPPort", QStringLiteral("587"), ""},
      {"sysSMTPPort", QStringLiteral(" 465 "), ""},
      {"sysSMTPPort", QStringLiteral("40000"), "error 6: Overflow"},
      {"sysSMTPPort", QStringLiteral("abc"), "error 13: Type mismatch"},
      {"sysSMTPPort", QString(), "error 13"},
      {"sysSMTPPort", QStringLiteral("0"), "0 is no SMTP port"},
      {"sysSMTPPort", QStringLiteral("-25"), "-25 is no SMTP port"},
      {"sysSMTPPort", QStringLiteral("0"), "", "pickup:outbox"},
      {"sysSMTPPort", std::nullopt, "missing"},
      {"sysSMTPFrom", QStringLiteral("dte company.com"), "dte company.com"},
      {"sysSMTPFrom", QStringLiteral("dte@company.com\r\nRCPT TO:<x@y>"), "dte@company.com"},
      {"sysEmail", QStringLiteral(""), "\"\""},
      {"sysSMTPServer", QStringLiteral(" "), "empty"},
      {"sysSMTPPassword", QString(), "empty while sysSMTPUser is set"},
      {"sysWeb", QString(), ""},
      {"sysWeb", std::nullopt, "missing"},
      {"FESVAmbiente", QStringLiteral("00"), ""},
      {"FESVAmbiente", QStringLiteral("02"), "no DTE environment"},
  };
  for (const auto& c : cases) {
    ParameterValues values = goodValues();
    const QString name = QString::fromLatin1(c.name);
    values[name] = c.value;
    values[QStringLiteral("sysSMTPServer")] =
        name == QStringLiteral("sysSMTPServer") ? c.value : QString::fromLatin1(c.server);
    const ParameterVerdict verdict = judgeParameter(name, values);
    const std::string label = name.toStdString() + "=" + c.value.value_or(QStringLiteral("<no row>")).toStdString();
    EXPECT_TRUE(verdict.problem.contains(QString::fromLatin1(c.problemPart)))
        << label << ": " << verdict.problem.toStdString();
    EXPECT_EQ(verdict.problem.isEmpty(), *c.problemPart == '\0') << label << ": " << verdict.problem.toStdString();
    EXPECT_EQ(verdict.fix.isEmpty(), verdict.problem.isEmpty()) << label;
  }
  EXPECT_EQ(shownValue(QStringLiteral("sysSMTPPassword"), QStringLiteral("secret")), QStringLiteral("(set)"));
}

}  // namespace
}  // namespace corvex
