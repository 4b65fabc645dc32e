#include "render/report.h"

#include "base/error.h"
#include "document_fixture.h"
#include "render/report_objects.h"
#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

const QString kFactura = QStringLiteral("arSVDTEFactura");
const QString kCredito = QStringLiteral("arSVDTECreditoFiscal");

QString simplified(const QString& text) { return text.simplified(); }

class ReportTest : public ::testing::Test {
 protected:
  Report& report(const QString& name) {
    return name == kFactura ? reports.arSVDTEFactura() : reports.arSVDTECreditoFiscal();
  }

  // Sets every run-time value the way the renderer does for each document.
  void setRunTimeValues(Report& target, const QString& tag) {
    target.setLabelText(QStringLiteral("lLetras"), QStringLiteral("SON: CIEN CON 00/100 DOLARES ") + tag);
    target.setLabelText(QStringLiteral("lblOInicial"), QStringLiteral("jperez  04-Oct-2023 03:07:09 PM"));
    target.setLabelText(QStringLiteral("lblOActual"), QStringLiteral("jperez  04-Oct-2023 03:07:09 PM"));
    target.setLabelText(QStringLiteral("lblMail"), QStringLiteral("ventas@martillo.example"));
    target.setLabelText(QStringLiteral("lblWeb"), QStringLiteral("www.martillo.example"));
    if (target.name() == kCredito) {
      target.setLabelText(QStringLiteral("lPagare"), QStringLiteral("YO, EL COMPRADOR PAGARE ") + tag);
      target.setLabelText(QStringLiteral("lFechaPagare"),
                          QStringLiteral("SAN SALVADOR, MIERCOLES, 4 DE OCTUBRE DE 2023"));
    }
  }

  QString render(const QString& name, DataRows rows, const QString& tag = QStringLiteral("PRIMERO")) {
    Report& target = report(name);
    setRunTimeValues(target, tag);
    target.run(std::move(rows));
    const QString pdf = dir.filePath(QStringLiteral("files/%1-%2.pdf").arg(name, tag));
    target.exportPdf(files, pdf);
    return pdf;
  }

  // Where a control of the first page lies on the paper, in twips.
  QRect placeOf(const QString& layoutName, const QString& control, int detailRow = 0) {
    const Layout& layout = report(layoutName).layout();
    const Control* found = layout.findControl(control);
    if (found == nullptr) throw std::runtime_error("no control " + control.toStdString());
    int top = 360;
    if (std::any_of(layout.detail.controls.begin(), layout.detail.controls.end(),
                    [&](const Control& c) { return c.name == control; })) {
      top += layout.pageHeader.height + detailRow * layout.detail.height;
    }
    if (std::any_of(layout.pageFooter.controls.begin(), layout.pageFooter.controls.end(),
                    [&](const Control& c) { return c.name == control; })) {
      top = 15840 - 720 - layout.pageFooter.height;
    }
    return found->box.translated(360, top);
  }

  TempAppDir dir{{QStringLiteral("files")}};
  RealFileSystem files;
  ReportObjects reports{dir.folder()};
};

struct PlacedText {
  const char* layout;
  const char* control;
  const char* text;
  // The title lines share their left end with the web and mail labels.
  int skipLeft = 0;
};

// Each caption and each bound value, read back from the place of its control.
TEST_F(ReportTest, EveryCaptionAndValuePrintsInItsBox) {
  const QString facturaPdf = render(kFactura, test::documentRows(3));
  const QString creditoPdf = render(kCredito, test::documentRows(3));
  const PlacedText cases[] = {
      {"both", "lblTitulo", "DOCUMENTO TRIBUTARIO ELECTRONICO", 2880},
      {"F", "lTipoDoc", "FACTURA", 2880},
      {"C", "lTipoDoc", "COMPROBANTE DE CREDITO FISCAL", 2880},
      {"both", "Label36", "Código de Generación:"},
      {"both", "Label45", "Número de Control:"},
      {"both", "Label46", "Sello de recepción:"},
      {"both", "Label47", "Módelo de Facturación:"},
      {"both", "Label48", "Tipo de Transmisión:"},
      {"both", "Label49", "Fecha y Hora de Generación:"},
      {"both", "Label50", "Modelo de Facturación previo"},
      {"both", "Label51", "Transmisión normal"},
      {"F", "Label52", "TIPO DE DOCUMENTO"},
      {"F", "Label53", "NUMERO DOCUMENTO:"},
      {"C", "Label52", "NIT:"},
      {"C", "Label53", "NRC:"},
      {"both", "Label54", "CODIGO:"},
      {"both", "Label55", "RAZON SOCIAL:"},
      {"both", "Label56", "DIRECCION:"},
      {"both", "Label57", "ACTIVIDAD ECONOMICA:"},
      {"both", "Label58", "CORREO ELECTRONICO:"},
      {"both", "Label11", "PEDIDO"},
      {"both", "Label12", "CONDICIONES DE PAGO"},
      {"both", "Label13", "VENDEDOR"},
      {"both", "lblOtros", "No. DE SISTEMA"},
      {"both", "Label19", "DIRECCION DE ENTREGA:"},
      {"both", "Label20", "INSTRUCCIONES:"},
      {"both", "Label15", "CANTIDAD"},
      {"both", "Label16", "DESCRIPCION"},
      {"both", "Label17", "PRECIO UNITARIO"},
      {"both", "Label61", "VENTAS NO SUJETAS"},
      {"both", "Label60", "VENTAS EXENTAS"},
      {"both", "Label18", "VENTAS GRAVADAS"},
      {"both", "lTelefono", "Teléfono:"},
      {"both", "Field36", "FERRETERIA EL MARTILLO S.A. DE C.V."},
      {"both", "Field37", "El Martillo"},
      {"both", "Field26", "Venta al por mayor de articulos de ferreteria"},
      {"both", "Field27", "Casa Matriz"},
      {"both", "Field28", "0614-010190-101-3"},
      {"both", "Field29", "123456-7"},
      {"both", "Field30", "Calle Arce 1234, San Salvador"},
      {"both", "fCodigoGeneracion", "5B1C9D3E-0A2B-4C6D-8E9F-A01112131415"},
      {"both", "fNumeroControl", "DTE-03-M001P001-000000000000125"},
      {"both", "fRecepcion", "2023F1A2B3C4D5E6F7A8B9C0D1E2F3A4B5C6"},
      {"both", "Field38", "04-Oct-2023 3:07 PM"},
      {"F", "Field1", "DUI"},
      {"F", "Field23", "01234567-8"},
      {"C", "Field1", "0614-250585-102-1"},
      {"C", "Field23", "765432-1"},
      {"both", "Field5", "C0042"},
      {"both", "Field2", "JUAN PEREZ"},
      {"both", "Field3", "Colonia Escalon, Pasaje 3, casa 7"},
      {"both", "Field4", "Construccion de edificios"},
      {"both", "Field24", "compras@perez.example"},
      {"both", "Field7", "7781"},
      {"both", "Field8", "CREDITO 30 DIAS"},
      {"both", "Field9", "MARIA LOPEZ"},
      {"both", "fOtros", "125"},
      {"both", "Field17", "Bodega central, Soyapango"},
      {"both", "Field16", "Entregar por la manana"},
      {"both", "lblWeb", "www.martillo.example"},
      {"both", "lblMail", "ventas@martillo.example"},
      {"both", "Field10", "1.50"},
      {"both", "Field11", "ITEM-001"},
      {"both", "Field12", "Tornillo de acero numero 1"},
      {"F", "fPrecio", "1,396.1917"},
      {"F", "fTlinea", "2,094.29"},
      {"C", "fPrecio", "1,235.5679"},
      {"C", "fTlinea", "1,853.35"},
      {"both", "lLetras", "SON: CIEN CON 00/100 DOLARES PRIMERO"},
      {"both", "Label40", "IMPRESION INICIAL:"},
      {"both", "Label42", "IMPRESION ACTUAL:"},
      {"both", "lblOInicial", "jperez 04-Oct-2023 03:07:09 PM"},
      {"both", "lblOActual", "jperez 04-Oct-2023 03:07:09 PM"},
      {"both", "lblOriginal", "ORIGINAL"},
      {"both", "Label62", "Sumas $"},
      {"both", "Label64", "Sub Total $"},
      {"both", "Label65", "(-) IVA Retenido $"},
      {"both", "Label67", "Ventas no Sujetas $"},
      {"both", "Label68", "Ventas Exentas $"},
      {"both", "Label69", "Venta Total $"},
      {"both", "Label23", "RECIBO POR:"},
      {"both", "Label24", "ENTREGADO POR:"},
      {"both", "Label25", "FIRMA"},
      {"both", "Label26", "NOMBRE"},
      {"both", "Label27", "DUI"},
      {"both", "Label71", "FIRMA"},
      {"both", "Label72", "DUI"},
      {"both", "Label73", "NOMBRE"},
      {"F", "Label74", "NO SE ACEPTAN DEVOLUCIONES"},
      {"F", "Label75", "Total a Pagar $"},
      {"F", "Field31", "11,564.99"},
      {"F", "Field33", "11,564.99"},
      {"F", "Field35", "11,667.33"},
      {"F", "Field39", "102.34"},
      {"F", "Field40", "11,564.99"},
      {"C", "Label63", "13% IVA $"},
      {"C", "Label66", "(+) IVA Percibido $"},
      {"C", "Label70", "OPERACIONES SUPERIORES A $11,428.58"},
      {"C", "Label74", "PAGARE"},
      {"C", "lPagare", "YO, EL COMPRADOR PAGARE PRIMERO"},
      {"C", "Label75", "FIRMA CLIENTE (SUSCRIPTOR)"},
      {"C", "lFechaPagare", "SAN SALVADOR, MIERCOLES, 4 DE OCTUBRE DE 2023"},
      {"C", "Label76", "F."},
      {"C", "Label77", "Total a Pagar $"},
      {"C", "Field31", "10,234.50"},
      {"C", "Field32", "1,330.49"},
      {"C", "Field33", "11,564.99"},
      {"C", "Field34", "102.35"},
      {"C", "Field35", "11,667.33"},
      {"C", "Field39", "11,564.99"},
      {"C", "Field40", "102.34"},
  };
  for (const PlacedText& c : cases) {
    const QString which = QString::fromUtf8(c.layout);
    for (const QString& layout : {kFactura, kCredito}) {
      if (which != QLatin1String("both") && which != layout.mid(7, 1)) continue;
      const QString pdf = layout == kFactura ? facturaPdf : creditoPdf;
      const QString control = QString::fromUtf8(c.control);
      const QRect place = placeOf(layout, control).adjusted(c.skipLeft, 0, 0, 0);
      EXPECT_EQ(simplified(test::pdfTextIn(pdf, place)), QString::fromUtf8(c.text))
          << layout.toStdString() << " " << c.control;
    }
  }
}

// The text of the -layout line that holds `caption`, after the caption.
QString besideCaption(const QString& text, const QString& caption) {
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    const qsizetype at = line.indexOf(caption);
    if (at >= 0) return line.mid(at + caption.size()).trimmed();
  }
  return QStringLiteral("<caption missing>");
}

TEST_F(ReportTest, FooterAmountsStandOnTheRowsOfTheirCaptions) {
  const std::pair<const char*, const char*> credito[] = {
      {"Sumas $", "10,234.50"},          {"13% IVA $", "1,330.49"},        {"Sub Total $", "11,564.99"},
      {"(+) IVA Percibido $", "102.35"}, {"Ventas no Sujetas $", ""},      {"Ventas Exentas $", ""},
      {"Venta Total $", "11,667.33"},    {"(-) IVA Retenido $", "102.34"}, {"Total a Pagar $", "11,564.99"},
  };
  const QString creditoText = test::pdfText(render(kCredito, test::documentRows(2)));
  for (const auto& [caption, value] : credito) {
    EXPECT_EQ(besideCaption(creditoText, QString::fromUtf8(caption)), QString::fromUtf8(value)) << caption;
  }
  const std::pair<const char*, const char*> factura[] = {
      {"Sumas $", "11,564.99"},         {"Sub Total $", "11,564.99"},   {"Ventas no Sujetas $", ""},
      {"Ventas Exentas $", ""},         {"Venta Total $", "11,667.33"}, {"(-) IVA Retenido $", "102.34"},
      {"Total a Pagar $", "11,564.99"},
  };
  const QString facturaText = test::pdfText(render(kFactura, test::documentRows(2)));
  for (const auto& [caption, value] : factura) {
    EXPECT_EQ(besideCaption(facturaText, QString::fromUtf8(caption)), QString::fromUtf8(value)) << caption;
  }
}

TEST_F(ReportTest, LongDocumentRepeatsHeaderAndFooterAndPrintsEveryItemOnce) {
  const std::pair<QString, int> cases[] = {{kFactura, 2}, {kCredito, 3}};
  for (const auto& [layout, pages] : cases) {
    const QString pdf = render(layout, test::documentRows(70));
    EXPECT_EQ(test::pdfPageCount(pdf), pages) << layout.toStdString();
    const QString text = test::pdfText(pdf);
    QStringList pageTexts = text.split(QLatin1Char('\f'));
    if (pageTexts.last().trimmed().isEmpty()) pageTexts.removeLast();
    ASSERT_EQ(pageTexts.size(), pages);
    for (const QString& page : pageTexts) {
      for (const char* mark : {"DOCUMENTO TRIBUTARIO ELECTRONICO", "FERRETERIA EL MARTILLO", "Total a Pagar $",
                               "11,564.99", "ORIGINAL", "IMPRESION ACTUAL:"}) {
        EXPECT_TRUE(page.contains(QString::fromUtf8(mark))) << layout.toStdString() << " lacks " << mark;
      }
    }
    qsizetype previous = -1;
    for (int item = 1; item <= 70; ++item) {
      EXPECT_EQ(text.count(test::itemCode(item)), 1) << layout.toStdString() << " item " << item;
      EXPECT_GT(text.indexOf(test::itemCode(item)), previous) << "out of order: " << item;
      previous = text.indexOf(test::itemCode(item));
    }
  }
}

TEST_F(ReportTest, OneRowIsOnePage) {
  for (const QString& layout : {kFactura, kCredito}) {
    EXPECT_EQ(test::pdfPageCount(render(layout, test::documentRows(1))), 1) << layout.toStdString();
  }
}

// With every column NULL and the run-time texts empty, only the layout's own
// captions may reach the page: no design-time sample text, no stray value.
TEST_F(ReportTest, NullRowsPrintOnlyTheLayoutCaptions) {
  for (const QString& layout : {kFactura, kCredito}) {
    Report& target = report(layout);
    for (const char* label : {"lLetras", "lblOInicial", "lblOActual", "lblMail", "lblWeb"}) {
      target.setLabelText(QString::fromUtf8(label), QString());
    }
    target.run(test::nullRows());
    const QString pdf = dir.filePath(QStringLiteral("files/null.pdf"));
    target.exportPdf(files, pdf);
    QSet<QString> captionWords;
    for (const Band* band : target.layout().bands()) {
      for (const Control& control : band->controls) {
        for (const QString& word : control.caption.split(QLatin1Char(' '), Qt::SkipEmptyParts)) captionWords << word;
      }
    }
    for (const QString& word :
         test::pdfText(pdf).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
      EXPECT_TRUE(captionWords.contains(word)) << layout.toStdString() << ": " << word.toStdString();
    }
  }
}

TEST_F(ReportTest, AReusedReportCarriesOnlyTheValuesOfItsLatestDocument) {
  Report& first = reports.arSVDTECreditoFiscal();
  render(kCredito, test::documentRows(1), QStringLiteral("PRIMERO"));
  DataRows second = test::documentRows(1);
  second.rows.front()[second.columnIndex(QStringLiteral("tNombre"))] = QStringLiteral("ANA GOMEZ");
  const QString text = test::pdfText(render(kCredito, second, QStringLiteral("SEGUNDO")));
  EXPECT_EQ(&reports.arSVDTECreditoFiscal(), &first);
  EXPECT_TRUE(text.contains(QStringLiteral("ANA GOMEZ")));
  EXPECT_TRUE(text.contains(QStringLiteral("PAGARE SEGUNDO")));
  EXPECT_FALSE(text.contains(QStringLiteral("JUAN PEREZ")));
  EXPECT_FALSE(text.contains(QStringLiteral("PRIMERO")));
}

TEST_F(ReportTest, SettingAControlTheLayoutLacksIsAnError) {
  const std::pair<QString, QString> missing[] = {
      {kFactura, QStringLiteral("lPagare")},
      {kFactura, QStringLiteral("lFechaPagare")},
      {kCredito, QStringLiteral("lNada")},
      {kCredito, QStringLiteral("QRCode")},  // an image, not a label
  };
  for (const auto& [layout, control] : missing) {
    try {
      report(layout).setLabelText(control, QStringLiteral("x"));
      ADD_FAILURE() << "accepted " << control.toStdString();
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kItemNotFound);
      EXPECT_TRUE(error.description().contains(control)) << error.what();
    }
  }
  EXPECT_THROW(report(kFactura).setPicture(QStringLiteral("lLetras"), QImage(2, 2, QImage::Format_RGB32)), Error);
  EXPECT_NO_THROW(report(kFactura).setPicture(QStringLiteral("logcorp"), QImage(2, 2, QImage::Format_RGB32)));
}

TEST_F(ReportTest, RowsWithoutABoundColumnAreRefused) {
  DataRows rows = test::documentRows(1);
  rows.columns[rows.columnIndex(QStringLiteral("Pagar"))] = QStringLiteral("Pago");
  try {
    report(kFactura).run(rows);
    FAIL() << "accepted";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kItemNotFound);
    EXPECT_TRUE(error.description().contains(QStringLiteral("Pagar"))) << error.what();
  }
}

TEST_F(ReportTest, ExportFailuresAreErrors) {
  Report& factura = report(kFactura);
  try {
    factura.exportPdf(files, dir.filePath(QStringLiteral("files/early.pdf")));
    ADD_FAILURE() << "exported before any run";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kObjectNotSet);
  }
  factura.run(test::documentRows(1));
  const QString unwritable = dir.filePath(QStringLiteral("missing/doc.pdf"));
  try {
    factura.exportPdf(files, unwritable);
    ADD_FAILURE() << "exported into a missing folder";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kPathNotFound);
    EXPECT_TRUE(error.description().contains(unwritable)) << error.what();
  }
}

// pdfimages -list rows: page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
QStringList imageRows(const QString& pdf) {
  QStringList rows =
      test::runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
  rows = rows.mid(2);
  rows.removeAll(QString());
  return rows;
}

TEST_F(ReportTest, PicturesPrintOnlyWhenSetAndKeepTheirProportions) {
  const QString without = render(kFactura, test::documentRows(1), QStringLiteral("SIN"));
  EXPECT_TRUE(imageRows(without).isEmpty());

  QImage wide(400, 100, QImage::Format_RGB32);  // 4:1 into the 1800 x 1710 logo box
  wide.fill(Qt::darkBlue);
  report(kFactura).setPicture(QStringLiteral("LogCorp"), wide);
  const QStringList rows = imageRows(render(kFactura, test::documentRows(1), QStringLiteral("CON")));
  ASSERT_EQ(rows.size(), 1);
  const QStringList columns = rows.first().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  // 400 pixels over the box's full 1800 twips (1.25 inch) is 320 ppi, both ways.
  EXPECT_EQ(columns.at(12).toInt(), 320);
  EXPECT_EQ(columns.at(13).toInt(), 320);
}

}  // namespace
}  // namespace corvex
