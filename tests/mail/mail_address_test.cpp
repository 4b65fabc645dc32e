#include "mail/mail_address.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

struct SplitCase {
  QString text;
  QStringList expected;
};

class SplitAddressesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitAddressesTest, YieldsEachAddressWithoutBlanks) {
  EXPECT_EQ(splitAddresses(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SplitAddressesTest,
                         ::testing::Values(SplitCase{"ana@example.com", {"ana@example.com"}},
                                           SplitCase{"ana@example.com; luis@example.org,eva@example.net",
                                                     {"ana@example.com", "luis@example.org", "eva@example.net"}},
                                           SplitCase{" ana@example.com ;;\t, ", {"ana@example.com"}}, SplitCase{"", {}},
                                           // A line break is no blank: it stays and gets the address refused.
                                           SplitCase{"ana@example.com\r\n", {"ana@example.com\r\n"}}));

struct AddressCase {
  QString address;
  bool accepted;
};

class AddressProblemTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressProblemTest, AcceptsOnlyBareAsciiAddresses) {
  const QString problem = addressProblem(QStringLiteral("recipient"), GetParam().address);
  EXPECT_EQ(problem.isEmpty(), GetParam().accepted) << problem.toStdString();
  if (!GetParam().accepted) {
    EXPECT_TRUE(problem.startsWith(QStringLiteral("invalid recipient address"))) << problem.toStdString();
    EXPECT_FALSE(problem.contains(u'\r') || problem.contains(u'\n')) << "the reason goes into one log line";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressProblemTest,
    ::testing::Values(AddressCase{"ana@example.com", true}, AddressCase{"first.last+dte@mail.example.com.sv", true},
                      AddressCase{"", false}, AddressCase{"ana.example.com", false}, AddressCase{"@example.com", false},
                      AddressCase{"ana@", false}, AddressCase{"ana@example.com\r\nBcc: x@example.com", false},
                      AddressCase{"ana@example.com\n", false}, AddressCase{"ana maria@example.com", false},
                      AddressCase{"<ana@example.com>", false}, AddressCase{"peña@example.com", false}));

}  // namespace
}  // namespace corvex
