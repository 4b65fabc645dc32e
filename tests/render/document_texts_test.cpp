#include "render/document_texts.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <QDateTime>

#include <clocale>

#include <gtest/gtest.h>

namespace corvex {
namespace {

DbValue text(const char* value) { return DbValue(QVariant(QString::fromUtf8(value))); }
DbValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DbValue(QVariant(QDateTime(QDate(y, mo, d), QTime(h, mi, s))));
}
const DbValue kNull;

using test::errorNumberOf;

TEST(DocumentTextsTest, Statements) {
  EXPECT_EQ(documentStatement(QStringLiteral("A"), 125),
            QStringLiteral("Exec tovGetFESalvador @Opcion = 9, @Serie='A', @Numero=125"));
  EXPECT_TRUE(documentStatement(QStringLiteral("A"), -7).endsWith(QStringLiteral("@Numero=-7")));
  EXPECT_EQ(documentStatement(QStringLiteral("X' OR '1'='1"), 1),
            QStringLiteral("Exec tovGetFESalvador @Opcion = 9, @Serie='X'' OR ''1''=''1', @Numero=1"));
}

TEST(DocumentTextsTest, PublicQueryUrls) {
  const QString page = QStringLiteral("https://admin.factura.gob.sv/consultaPublica");
  EXPECT_EQ(publicQueryUrl("01", text("ABC-123"), at(2023, 10, 4, 15, 7, 9)),
            page + "?ambiente=01&codGen=ABC-123&fechaEmi=2023-10-04");
  EXPECT_EQ(publicQueryUrl("", text("ABC-123"), text("2023-10-04")),
            page + "?ambiente=&codGen=ABC-123&fechaEmi=2023-10-04");
  EXPECT_EQ(publicQueryUrl("01", kNull, kNull), page + "?ambiente=01&codGen=&fechaEmi=");
}

TEST(DocumentTextsTest, PrintStampsUnderTheCLocale) {
  std::setlocale(LC_TIME, "C");
  EXPECT_EQ(PrintStamp(text("jperez"), at(2023, 10, 4, 15, 7, 9)), QStringLiteral("jperez  04-Oct-2023 03:07:09 PM"));
  EXPECT_EQ(PrintStamp(text("jperez"), at(2023, 1, 9, 0, 30, 0)), QStringLiteral("jperez  09-Jan-2023 12:30:00 AM"));
  EXPECT_EQ(PrintStamp(text("jperez"), at(2023, 1, 9, 12, 0, 5)), QStringLiteral("jperez  09-Jan-2023 12:00:05 PM"));
  EXPECT_EQ(PrintStamp(kNull, text("2023-10-04 09:05:00")), QStringLiteral("  04-Oct-2023 09:05:00 AM"));
  EXPECT_EQ(PrintStamp(text("jperez"), kNull), QStringLiteral("jperez  "));
}

TEST(DocumentTextsTest, AmountLineAndItsFailures) {
  EXPECT_EQ(amountLine(DbValue(QVariant(1234.56))),
            QStringLiteral("SON: UN MIL DOSCIENTOS TREINTA Y CUATRO CON 56/100 DOLARES"));
  EXPECT_EQ(amountLine(text("100")), QStringLiteral("SON: CIEN CON 00/100 DOLARES"));
  EXPECT_EQ(errorNumberOf([] { amountLine(kNull); }), kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([] { amountLine(text("cien")); }), kTypeMismatch);
  EXPECT_EQ(errorNumberOf([] { amountLine(DbValue(QVariant(2147483648.0))); }), kOverflow);
}

TEST(DocumentTextsTest, PromissoryNoteAndPlaceAndDate) {
  EXPECT_EQ(promissoryNote(text("JUAN PEREZ"), text("EMPRESA S.A."), DbValue(QVariant(100)), text("2023-11-03")),
            QStringLiteral("YO, JUAN PEREZ PAGARE EN ESTA CIUDAD, A LA ORDEN DE EMPRESA S.A. POR MERCADERIAS Y/O "
                           "SERVICIOS RECIBIDOS EN ESTA FECHA, LA CANTIDAD DE CIEN CON 00/100 DOLARES, EL DIA "
                           "VIERNES, 3 DE NOVIEMBRE DE 2023 SEGUN EL CREDITO FISCAL PRESENTE, EN CASO DE MORA "
                           "RECONOCERE EL COBRO DE 2% DE INTERES MENSUAL"));
  EXPECT_EQ(placeAndDate(at(2023, 10, 4, 15, 7, 9)), QStringLiteral("SAN SALVADOR, MIERCOLES, 4 DE OCTUBRE DE 2023"));
  const DbValue total(QVariant(100));
  EXPECT_EQ(errorNumberOf([&] { promissoryNote(kNull, text("E"), total, text("2023-11-03")); }), kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([&] { promissoryNote(text("J"), kNull, total, text("2023-11-03")); }), kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([&] { promissoryNote(text("J"), text("E"), total, kNull); }), kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([&] { promissoryNote(text("J"), text("E"), total, text("pronto")); }), kTypeMismatch);
  EXPECT_EQ(errorNumberOf([] { placeAndDate(kNull); }), kInvalidUseOfNull);
}

}  // namespace
}  // namespace corvex
