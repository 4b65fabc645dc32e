#include "document_fixture.h"

#include <QDateTime>

namespace corvex::test {

namespace {

const std::vector<std::pair<QString, QVariant>>& documentColumns() {
  static const std::vector<std::pair<QString, QVariant>> columns{
      {"RazonSocial", "FERRETERIA EL MARTILLO S.A. DE C.V."},
      {"NombreComercial", "El Martillo"},
      {"emActividad", "Venta al por mayor de articulos de ferreteria"},
      {"emEstablecimiento", "Casa Matriz"},
      {"emNit", "0614-010190-101-3"},
      {"emNRC", "123456-7"},
      {"emDireccion", "Calle Arce 1234, San Salvador"},
      {"IdDocumento", "5B1C9D3E-0A2B-4C6D-8E9F-A01112131415"},
      {"Control", "DTE-03-M001P001-000000000000125"},
      {"Recibido", "2023F1A2B3C4D5E6F7A8B9C0D1E2F3A4B5C6"},
      {"Fecha", "2023-10-04 15:07:09"},
      {"FETipoDocumento", "DUI"},
      {"FENumeroDocumento", "01234567-8"},
      {"reNit", "0614-250585-102-1"},
      {"reNRC", "765432-1"},
      {"Codigo", "C0042"},
      {"tNombre", "JUAN PEREZ"},
      {"tDireccion", "Colonia Escalon, Pasaje 3, casa 7"},
      {"reActividad", "Construccion de edificios"},
      {"reMail", "compras@perez.example"},
      {"PED_ID", 7781},
      {"TIPOPAGO", "CREDITO 30 DIAS"},
      {"VENDEDOR", "MARIA LOPEZ"},
      {"IDFactura", 125},
      {"Entrega", "Bodega central, Soyapango"},
      {"Instrucciones", "Entregar por la manana"},
      {"VNETA", 10234.5},
      {"IVA", 1330.485},
      {"SUBTOTAL", 11564.985},
      {"PERCEPCION", 102.345},
      {"TOTAL", 11667.33},
      {"Retencion", 102.34},
      {"Pagar", 11564.99},
      {"Usuario", "jperez"},
  };
  return columns;
}

const QStringList& itemColumns() {
  static const QStringList columns{"CANTIDAD", "IdArticulo", "Articulo", "Precio_Final",
                                   "IITLinea", "Precio",     "TLinea"};
  return columns;
}

std::vector<QVariant> itemValues(int number) {
  const double quantity = number + 0.5;
  const double price = 1234.56785 + number;
  return {quantity,        itemCode(number),        QStringLiteral("Tornillo de acero numero %1").arg(number),
          price * 1.13,    quantity * price * 1.13, price,
          quantity * price};
}

}  // namespace

QString itemCode(int number) { return QStringLiteral("ITEM-%1").arg(number, 3, 10, QLatin1Char('0')); }

DataRows documentRows(int items) {
  DataRows rows;
  for (const auto& [name, value] : documentColumns()) rows.columns << name;
  rows.columns << itemColumns();
  for (int number = 1; number <= items; ++number) {
    std::vector<QVariant> row;
    for (const auto& [name, value] : documentColumns()) row.push_back(value);
    for (QVariant& value : itemValues(number)) row.push_back(value);
    rows.rows.push_back(std::move(row));
  }
  return rows;
}

DataRows nullRows() {
  DataRows rows = documentRows(1);
  for (QVariant& value : rows.rows.front()) value = QVariant();
  return rows;
}

}  // namespace corvex::test
