#include "render/document_texts.h"

#include "db/sql_text.h"
#include "text/amount_words.h"
#include "text/date_words.h"

#include <ctime>

namespace corvex {

namespace {

const QString kQueryPage = QStringLiteral("https://admin.factura.gob.sv/consultaPublica");

// The month abbreviation and AM/PM texts come from the C library, which
// follows LC_TIME as the application object set it up from the environment.
QString localeTimeText(const QDateTime& time, const char* format) {
  std::tm parts{};
  parts.tm_year = time.date().year() - 1900;
  parts.tm_mon = time.date().month() - 1;
  parts.tm_mday = time.date().day();
  parts.tm_hour = time.time().hour();
  parts.tm_min = time.time().minute();
  parts.tm_sec = time.time().second();
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &parts);
  return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(length));
}

QString stampTime(const QDateTime& time) {
  return time.toString(QStringLiteral("dd-")) + localeTimeText(time, "%b") + time.toString(QStringLiteral("-yyyy ")) +
         localeTimeText(time, "%I:%M:%S %p");
}

}  // namespace

QString documentStatement(const QString& serie, qint32 numero) {
  return QStringLiteral("Exec tovGetFESalvador @Opcion = 9, @Serie=") + sqlTextLiteral(serie) +
         QStringLiteral(", @Numero=") + QString::number(numero);
}

QString publicQueryUrl(const QString& environment, const DbValue& idDocumento, const DbValue& fecha) {
  const QString day = fecha.isNull() ? QString() : fecha.toDateTime().toString(QStringLiteral("yyyy-MM-dd"));
  return kQueryPage + QStringLiteral("?ambiente=") + environment + QStringLiteral("&codGen=") +
         idDocumento.toTextOrEmpty() + QStringLiteral("&fechaEmi=") + day;
}

QString amountLine(const DbValue& total) {
  return QStringLiteral("SON: ") + AmountToWords(total.toNumber()) + QStringLiteral(" DOLARES");
}

QString promissoryNote(const DbValue& tNombre, const DbValue& razonSocial, const DbValue& total, const DbValue& vence) {
  return QStringLiteral("YO, ") + tNombre.toText() + QStringLiteral(" PAGARE EN ESTA CIUDAD, A LA ORDEN DE ") +
         razonSocial.toText() +
         QStringLiteral(" POR MERCADERIAS Y/O SERVICIOS RECIBIDOS EN ESTA FECHA, LA CANTIDAD DE ") +
         AmountToWords(total.toNumber()) + QStringLiteral(" DOLARES, EL DIA ") +
         DateToWords(vence.toDateTime().date()).toUpper() +
         QStringLiteral(
             " SEGUN EL CREDITO FISCAL PRESENTE, EN CASO DE MORA RECONOCERE EL COBRO DE 2% DE INTERES MENSUAL");
}

QString placeAndDate(const DbValue& fecha) {
  return QStringLiteral("SAN SALVADOR, ") + DateToWords(fecha.toDateTime().date()).toUpper();
}

QString PrintStamp(const DbValue& usuario, const DbValue& fecha) {
  return usuario.toTextOrEmpty() + QStringLiteral("  ") + (fecha.isNull() ? QString() : stampTime(fecha.toDateTime()));
}

}  // namespace corvex
