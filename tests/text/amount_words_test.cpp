#include "text/amount_words.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvex {
namespace {

struct AmountCase {
  double amount;
  const char* words;
};

void PrintTo(const AmountCase& c, std::ostream* os) { *os << c.amount; }

class AmountToWordsTable : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountToWordsTable, GivesTheExactText) {
  EXPECT_EQ(AmountToWords(GetParam().amount), QString::fromLatin1(GetParam().words));
}

// The printed documents' own examples, blanks exact.
INSTANTIATE_TEST_SUITE_P(
    DocumentExamples, AmountToWordsTable,
    ::testing::Values(
        AmountCase{0, "CERO CON 00/100"}, AmountCase{0.5, "CERO CON 50/100"}, AmountCase{-12.34, "CERO CON 34/100"},
        AmountCase{1, "UN CON 00/100"}, AmountCase{10, "DIEZ CON 00/100"}, AmountCase{16, "DIECISEIS CON 00/100"},
        AmountCase{21, "VEINTIUN CON 00/100"}, AmountCase{31, "TREINTA Y UN CON 00/100"},
        AmountCase{100, "CIEN CON 00/100"}, AmountCase{101, "CIENTO UN CON 00/100"},
        AmountCase{115, "CIENTO QUINCE CON 00/100"}, AmountCase{116, "CIENTO DIECISEIS CON 00/100"},
        AmountCase{1000, "UN MIL CON 00/100"}, AmountCase{1100, "UN MIL CIEN CON 00/100"},
        AmountCase{1500.75, "UN MIL QUINIENTOS CON 75/100"}, AmountCase{21000, "VEINTIUN MIL CON 00/100"},
        AmountCase{101000, "CIENTO UN MIL CON 00/100"},
        AmountCase{999999.99, "NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE CON 99/100"},
        AmountCase{1000000, "UN MILLON  CON 00/100"}, AmountCase{1000001, "UN MILLON UN CON 00/100"},
        AmountCase{1234567.891, "UN MILLON DOSCIENTOS TREINTA Y CUATRO MIL QUINIENTOS SESENTA Y SIETE CON 89/100"},
        AmountCase{2000000, "DOS MILLONES  CON 00/100"}, AmountCase{1000000000, "UN MIL MILLON  CON 00/100"},
        AmountCase{1001000000, "UN MIL UN MILLON  CON 00/100"},
        AmountCase{2147483647.99,
                   "DOS MIL CIENTO CUARENTA Y SIETE MILLONES CUATROCIENTOS OCHENTA Y TRES MIL "
                   "SEISCIENTOS CUARENTA Y SIETE CON 99/100"},
        AmountCase{0.125, "CERO CON 12/100"}));

// Where one word table hands over to the next rule.
INSTANTIATE_TEST_SUITE_P(
    Boundaries, AmountToWordsTable,
    ::testing::Values(AmountCase{9, "NUEVE CON 00/100"}, AmountCase{15, "QUINCE CON 00/100"},
                      AmountCase{19, "DIECINUEVE CON 00/100"}, AmountCase{20, "VEINTE CON 00/100"},
                      AmountCase{29, "VEINTINUEVE CON 00/100"}, AmountCase{30, "TREINTA CON 00/100"},
                      AmountCase{99, "NOVENTA Y NUEVE CON 00/100"}, AmountCase{110, "CIENTO DIEZ CON 00/100"},
                      AmountCase{120, "CIENTO VEINTE CON 00/100"}, AmountCase{199, "CIENTO NOVENTA Y NUEVE CON 00/100"},
                      AmountCase{200, "DOSCIENTOS CON 00/100"}, AmountCase{400, "CUATROCIENTOS CON 00/100"},
                      AmountCase{900, "NOVECIENTOS CON 00/100"},
                      AmountCase{999, "NOVECIENTOS NOVENTA Y NUEVE CON 00/100"},
                      AmountCase{1001, "UN MIL UN CON 00/100"}, AmountCase{1015, "UN MIL QUINCE CON 00/100"},
                      AmountCase{31000, "TREINTA Y UN MIL CON 00/100"}, AmountCase{100000, "CIEN MIL CON 00/100"},
                      AmountCase{999999, "NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE CON 00/100"},
                      AmountCase{1000100, "UN MILLON CIEN CON 00/100"},
                      AmountCase{1001000, "UN MILLON UN MIL CON 00/100"},
                      AmountCase{21000000, "VEINTIUN MILLONES  CON 00/100"},
                      AmountCase{31000001, "TREINTA Y UN MILLONES UN CON 00/100"},
                      AmountCase{1002000000, "UN MIL DOS MILLONES  CON 00/100"},
                      AmountCase{2001000000, "DOS MIL UN MILLON  CON 00/100"}));

// Ties go to the even cent; everything else to the nearest cent, judged on the
// decimals the amount was written with rather than on its binary value.
INSTANTIATE_TEST_SUITE_P(Rounding, AmountToWordsTable,
                         ::testing::Values(AmountCase{0.375, "CERO CON 38/100"}, AmountCase{0.125, "CERO CON 12/100"},
                                           AmountCase{2.675, "DOS CON 68/100"}, AmountCase{1.005, "UN CON 00/100"},
                                           AmountCase{1.015, "UN CON 02/100"}, AmountCase{0.1251, "CERO CON 13/100"},
                                           AmountCase{0.124999, "CERO CON 12/100"}, AmountCase{0.996, "UN CON 00/100"},
                                           AmountCase{0.994, "CERO CON 99/100"},
                                           AmountCase{999999.995, "UN MILLON  CON 00/100"},
                                           AmountCase{1e-300, "CERO CON 00/100"}, AmountCase{-0.0, "CERO CON 00/100"},
                                           AmountCase{-0.995, "CERO CON 00/100"}, AmountCase{-1.5, "CERO CON 50/100"},
                                           AmountCase{0.1 + 0.2, "CERO CON 30/100"},
                                           AmountCase{-2147483648.0, "CERO CON 00/100"}));

TEST(AmountToWordsOverflow, RaisesErrorSixFromTheFirstRoundedWholePartBeyond32Bits) {
  for (double amount :
       {2147483648.0, 2147483647.995, 1e10, -2147483648.01, -1e300, std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(test::errorNumberOf([amount] { AmountToWords(amount); }), kOverflow) << amount;
  }
}

TEST(AmountToWordsOverflow, LargestAmountBelowTheLimitStillConverts) {
  EXPECT_TRUE(AmountToWords(2147483647.994).endsWith(QLatin1String("SIETE CON 99/100")));
}

TEST(GroupToWords, EmptyForZeroAndOutOfRange) {
  EXPECT_EQ(GroupToWords(0), QString());
  EXPECT_EQ(GroupToWords(-1), QString());
  EXPECT_EQ(GroupToWords(1000), QString());
  EXPECT_EQ(GroupToWords(621), QStringLiteral("SEISCIENTOS VEINTIUN"));
}

TEST(WordSteps, FirstAndLastEntryOfEveryTableAndNothingOutside) {
  EXPECT_EQ(HundredsWord(1), QStringLiteral("CIEN"));
  EXPECT_EQ(HundredsWord(9), QStringLiteral("NOVECIENTOS"));
  EXPECT_EQ(TeensWord(10), QStringLiteral("DIEZ"));
  EXPECT_EQ(TeensWord(15), QStringLiteral("QUINCE"));
  EXPECT_EQ(TensWord(3, 0), QStringLiteral("TREINTA"));
  EXPECT_EQ(TensWord(9, 1), QStringLiteral("NOVENTA Y "));
  EXPECT_EQ(UnitsWord(1), QStringLiteral("UN"));
  EXPECT_EQ(UnitsWord(9), QStringLiteral("NUEVE"));
  for (int outside : {-1, 0, 10}) {
    EXPECT_EQ(HundredsWord(outside), QString()) << outside;
    EXPECT_EQ(UnitsWord(outside), QString()) << outside;
    EXPECT_EQ(TensWord(outside, 1), QString()) << outside;
  }
  EXPECT_EQ(TeensWord(9), QString());
  EXPECT_EQ(TeensWord(16), QString());
  EXPECT_EQ(TeensWord(std::numeric_limits<int>::min()), QString());
  EXPECT_EQ(TensWord(4, 10), QString());
}

TEST(WordSteps, TensPrefixesJoinTheUnitWithoutABlank) {
  EXPECT_EQ(TensAndUnitsWords(1, 7), QStringLiteral("DIECISIETE"));
  EXPECT_EQ(TensAndUnitsWords(2, 0), QStringLiteral("VEINTE"));
  EXPECT_EQ(TensAndUnitsWords(2, 2), QStringLiteral("VEINTIDOS"));
  EXPECT_EQ(TensAndUnitsWords(0, 4), QStringLiteral("CUATRO"));
  EXPECT_EQ(TensAndUnitsWords(5, 5), QStringLiteral("CINCUENTA Y CINCO"));
}

}  // namespace
}  // namespace corvex
