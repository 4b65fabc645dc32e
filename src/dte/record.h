#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <vector>

namespace corvex {

struct DocumentData;

/// A read-only view of one JSON object of a DTE: the document itself, a
/// party, an item, a payment, a related document. Members are read by name
/// along a dotted path ("emisor.direccion.departamento"; a number steps into
/// an array: "cuerpoDocumento.0.descripcion"), so that a member this program
/// does not know is ignored and one the document lacks reads blank: no
/// lookup raises.
///
/// A path whose last segment is a catalogued member followed by "Nombre"
/// ("emisor.direccion.departamentoNombre", "uniMedidaNombre",
/// "resumen.condicionOperacionNombre") reads the name the tax authority's
/// catalogue gives that code, or the code itself when the catalogue has no
/// name for it; an array of codes reads as their names joined by ", ".
/// README.md lists the catalogued members.
///
/// A view shares the document it belongs to: it stays valid, and so does
/// every view taken from it, as long as any of them lives. Views never
/// change; any number of threads may read them at once.
class Record {
 public:
  /// A blank record: every path reads blank.
  Record() = default;

  /// The text at `path`: a string as it is, a number in its shortest form
  /// ("1250.5", "3"), "true" or "false", an array of strings or numbers
  /// joined by ", ". Blank for null, an object, an array of objects or a
  /// path that leads nowhere.
  QString text(QStringView path) const;
  /// The value at `path` for a layout's formats: a double for a number, a
  /// QString for everything text() gives, a null QVariant where text() would
  /// be blank.
  QVariant value(QStringView path) const;
  /// True when `path` leads to a value other than null, an empty list or an
  /// empty object: what a section that prints only when present asks.
  bool has(QStringView path) const;

  /// The object at `path`; a blank record when there is none.
  Record record(QStringView path) const;
  /// The objects of the array at `path`, in order, those that carry a
  /// numeric "numItem" ordered by it among themselves (stable; the others
  /// keep their places); empty when there is no such array. Elements that
  /// are not objects are left out.
  std::vector<Record> list(QStringView path) const;

  /// True for the blank record and for a view of null.
  bool isBlank() const { return m_node == nullptr; }
  /// Where this record sits, its member names joined by "." without array
  /// positions ("resumen.pagos" for every payment): what decides which
  /// catalogue names a code.
  const QString& section() const { return m_section; }

 protected:
  Record(std::shared_ptr<const DocumentData> data, const nlohmann::json* node, QString section);

  const DocumentData* data() const { return m_data.get(); }

 private:
  struct Found;
  Found find(QStringView path) const;
  QString nameAt(QStringView path) const;

  std::shared_ptr<const DocumentData> m_data;
  const nlohmann::json* m_node = nullptr;
  QString m_section;
};

}  // namespace corvex
