#include "base/file_name.h"

#include "base/error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(FileNameTest, PlainNamesPassAndPathsAreRefused) {
  for (const QString& name :
       {QStringLiteral("5B1C9D3E-0A2B-4C6D-8E9F-A01112131415"), QStringLiteral("año.v2"), QStringLiteral("...x")})
    EXPECT_NO_THROW(requirePlainFileName(name, QStringLiteral("IdDocumento"))) << name.toStdString();
  for (const QString& name :
       {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("../x"), QStringLiteral("a/b"),
        QStringLiteral("a\\b"), QStringLiteral("C:x"), QStringLiteral("a\nb"), QStringLiteral("a\tb"),
        QStringLiteral("a*"), QStringLiteral("a?"), QStringLiteral("<a>"), QStringLiteral("a|b"),
        QStringLiteral("a\"b")}) {
    try {
      requirePlainFileName(name, QStringLiteral("IdDocumento"));
      ADD_FAILURE() << "accepted " << name.toStdString();
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kBadFileName);
      EXPECT_TRUE(error.description().startsWith(QStringLiteral("IdDocumento \"")));
      EXPECT_FALSE(error.description().contains(QLatin1Char('\n')));
    }
  }
}

}  // namespace
}  // namespace corvex
