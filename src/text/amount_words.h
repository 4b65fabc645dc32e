#pragma once

#include <QString>

namespace corvex {

/// A money amount in upper-case Spanish words followed by its cents as a
/// fraction of one hundred, as printed on the documents' total lines:
/// 1234.56 gives "UN MIL DOSCIENTOS TREINTA Y CUATRO CON 56/100".
///
/// The amount is first rounded to the cent, ties to the even cent, on its
/// shortest decimal text (0.125 gives 12 cents, 0.375 gives 38). The whole part
/// is written in words; below one, zero and negative amounts read "CERO", and a
/// negative amount keeps the cents of its absolute value. An exact number of
/// millions is followed by two blanks before " CON " ("UN MILLON  CON 00/100").
/// Pure: reads no settings and depends on no locale.
///
/// Raises Error::overflow() when the rounded whole part does not fit a 32-bit
/// signed integer (2,147,483,648 and above, or below -2,147,483,648), and for
/// NaN and infinities. Never returns an empty text.
QString AmountToWords(double amount);

// The steps of AmountToWords, public so that each rule can be tested on its
// own. Each returns an empty text where nothing is to be written, also for an
// argument outside its stated range.

/// n from 0 to 999 in words: "CIENTO VEINTIUN", "CIEN", "" for 0.
QString GroupToWords(int n);

/// h from 1 to 9: "CIEN" to "NOVECIENTOS" (CIENTO is made by GroupToWords).
QString HundredsWord(int h);

/// r from 10 to 15: "DIEZ" to "QUINCE".
QString TeensWord(int r);

/// The tens digit d and units digit u (0 to 9) of a number from 1 to 99 that
/// is not a teen: TensWord(d, u) directly followed by UnitsWord(u).
QString TensAndUnitsWords(int d, int u);

/// The tens word or prefix of digit d: "DIECI" for 1, "VEINTI"/"VEINTE" for 2
/// (with or without units), "TREINTA" to "NOVENTA" for 3 to 9, followed by
/// " Y " when u is not zero.
QString TensWord(int d, int u);

/// u from 1 to 9: "UN" to "NUEVE"; one is always UN, in every position.
QString UnitsWord(int u);

}  // namespace corvex
