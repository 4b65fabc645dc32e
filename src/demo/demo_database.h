#pragma once

#include <QByteArray>
#include <QString>

namespace corvex {

/// Which embedded data a demo database receives besides its schema.
enum class DemoContent { SchemaOnly, Documents };

/// One file of the embedded demo data ("schema.sql", "documents.sql",
/// "logo.png"). Raises Error 53 for a name that is not embedded.
QByteArray demoResource(const QString& name);

/// Builds a new SQLite database file at `file` from the embedded schema: the
/// tables Parametros (filled for the demo: mail into the pickup folder
/// "outbox", FESVAmbiente "00"), SYSDATA with the logo, EMPRESA,
/// FACTURAS_ENC, FACTURAS_DET and procedures (holding tovGetFESalvador), and
/// the view vwDTECorvex. With DemoContent::Documents it adds the demo
/// documents; then it runs `extraSql`, a script split as splitSqlScript()
/// does, so tests can shape the data. All in one transaction.
///
/// Never touches an existing file: raises Error kDatabaseError when `file`
/// exists. A failing statement raises kDatabaseError with the driver's text
/// and the statement's opening, and leaves no file behind.
/// A script for buildDemoDatabase()'s `extraSql` that leaves exactly `count`
/// documents pending: copies of the demo's four-line Factura FA-1251 as
/// series "BM", numbers 1..count, IdDocumento "BENCH-000001" ..., buyers
/// buyer1@example.com ..., one second apart in Fecha order. Every demo
/// document is marked as mailed. For benchmarks and volume tests.
QString documentCopiesSql(int count);

void buildDemoDatabase(const QString& file, DemoContent content = DemoContent::Documents,
                       const QString& extraSql = QString());

}  // namespace corvex
