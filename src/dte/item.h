#pragma once

#include "dte/record.h"

namespace corvex {

/// One element of a DTE's cuerpoDocumento. The members differ by type (a
/// sale, a retained document, a liquidated document, a donation); they are
/// read through Record by their JSON names.
class Item : public Record {
 public:
  Item() = default;
  explicit Item(const Record& record) : Record(record) {}

  int numItem() const { return text(u"numItem").toInt(); }
  /// What the item is: its descripcion, or 08's observations on the
  /// liquidated document (the fact "description").
  QString description() const { return text(u"description"); }
};

}  // namespace corvex
