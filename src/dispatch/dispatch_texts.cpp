#include "dispatch/dispatch_texts.h"

#include "db/sql_text.h"

namespace corvex {

namespace {

// CR LF LF: the paragraph break the buyers' mail has always had.
const QString kParagraphBreak = QStringLiteral("\r\n\n");

}  // namespace

QString coverText(const QString& tNombre, const QString& sysEmail, const QString& NomCorp) {
  return QStringLiteral("Estimado (a): ") + tNombre + kParagraphBreak +
         QStringLiteral("Adjunto encontrara los documentos electronicos correspondientes a su compra, ") +
         QStringLiteral(
             " esta cuenta de correo no es monitoreada por lo que si responde este correo no sera atendido,") +
         QStringLiteral(" para dudas y/o consultas escribir a: ") + sysEmail + kParagraphBreak +
         QStringLiteral("Atentamente,") + kParagraphBreak + NomCorp;
}

QString logLabel(const QString& serie, const QString& numero, const QString& eMail) {
  return serie + QLatin1Char('-') + numero + QStringLiteral("--") + eMail;
}

namespace {

QString enviadaStatement(char enviada, const QString& serie, qint32 numero) {
  return QStringLiteral("UPDATE FACTURAS_ENC SET ENVIADA=") + QLatin1Char(enviada) + QStringLiteral(" WHERE SERIE=") +
         sqlTextLiteral(serie) + QStringLiteral(" AND NUMERO=") + QString::number(numero);
}

}  // namespace

QString markingStatement(const QString& serie, qint32 numero) { return enviadaStatement('1', serie, numero); }

QString resendStatement(const QString& serie, qint32 numero) { return enviadaStatement('0', serie, numero); }

}  // namespace corvex
