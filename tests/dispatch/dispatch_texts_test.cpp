#include "dispatch/dispatch_texts.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(DispatchTextsTest, CoverTextIsTheFixedFourParagraphText) {
  EXPECT_EQ(coverText(QStringLiteral("José Peña"), QStringLiteral("ventas@example.com"),
                      QStringLiteral("Comercial La Ceiba")),
            QStringLiteral("Estimado (a): José Peña\r\n\n"
                           "Adjunto encontrara los documentos electronicos correspondientes a su compra,  esta cuenta "
                           "de correo no es monitoreada por lo que si responde este correo no sera atendido, para "
                           "dudas y/o consultas escribir a: ventas@example.com\r\n\n"
                           "Atentamente,\r\n\n"
                           "Comercial La Ceiba"));
}

TEST(DispatchTextsTest, CoverTextWithEmptyNames) {
  const QString text = coverText(QString(), QStringLiteral("a@b"), QString());
  EXPECT_TRUE(text.startsWith(QStringLiteral("Estimado (a): \r\n\nAdjunto")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("a@b\r\n\nAtentamente,\r\n\n")));
  EXPECT_EQ(text.count(QStringLiteral("\r\n\n")), 3);
  EXPECT_EQ(text.count(QLatin1Char('\r')), 3);
}

TEST(DispatchTextsTest, LogLabel) {
  EXPECT_EQ(logLabel(QStringLiteral("FA"), QStringLiteral("-7"), QStringLiteral("j@x.sv")),
            QStringLiteral("FA--7--j@x.sv"));
  EXPECT_EQ(logLabel(QString(), QString(), QString()), QStringLiteral("---"));
}

TEST(DispatchTextsTest, MarkingStatement) {
  const std::tuple<QString, qint32, QString> cases[] = {
      {"A", 125, "UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='A' AND NUMERO=125"},
      {"B", -7, "UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='B' AND NUMERO=-7"},
      {"", 0, "UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='' AND NUMERO=0"},
      {"O'X", 2147483647, "UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='O''X' AND NUMERO=2147483647"},
      {"x' OR '1'='1", -2147483647 - 1,
       "UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='x'' OR ''1''=''1' AND NUMERO=-2147483648"},
  };
  for (const auto& [serie, numero, expected] : cases) EXPECT_EQ(markingStatement(serie, numero), expected);
}

}  // namespace
}  // namespace corvex
