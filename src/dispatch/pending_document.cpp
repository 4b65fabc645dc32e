#include "dispatch/pending_document.h"

#include "dispatch/dispatch_texts.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace corvex {

namespace {

PendingDocument::Layout layoutFor(const DbValue& formato) {
  if (formato.isNull()) return PendingDocument::Layout::None;
  const double code = formato.toNumber();
  if (code == 40 || code == 43) return PendingDocument::Layout::CreditoFiscal;
  if (code == 41 || code == 44) return PendingDocument::Layout::Factura;
  return PendingDocument::Layout::None;
}

}  // namespace

PendingDocument PendingDocument::read(const RecordSet& row) {
  const auto field = [&row](const char* column) { return row.field(QString::fromLatin1(column)); };
  PendingDocument document;
  document.eMail = field("eMail").toText();
  document.layout = layoutFor(field("Formato"));
  // A series is needed only to find the printed document.
  document.serie = document.layout == Layout::None ? field("Serie").toTextOrEmpty() : field("Serie").toText();
  document.numeroText = field("Numero").toTextOrEmpty();
  document.numero = field("Numero").toInt32();
  document.idDocumento = field("IdDocumento").toText();
  document.selloRecibido = field("SelloRecibido").toText();
  document.jsonDte = field("JSonDTE").toText();
  document.jsonFirmado = field("JSonFirmado").toText();
  document.tNombre = field("tNombre").toTextOrEmpty();
  document.nomCorp = field("NomCorp").toTextOrEmpty();
  return document;
}

QString PendingDocument::logLabel() const { return corvex::logLabel(serie, numeroText, eMail); }

QString PendingDocument::tipoDte() const {
  const QJsonValue type =
      QJsonDocument::fromJson(jsonDte.toUtf8())[QStringLiteral("identificacion")][QStringLiteral("tipoDte")];
  return type.isString() ? type.toString() : QString();
}

}  // namespace corvex
