#pragma once

#include "dte/record.h"

namespace corvex {

/// One element of a DTE's cuerpoDocumento. The members differ by type (a
/// sale, a retained document, a liquidated document, a donation); they are
/// read through Record by their JSON names.
class Item : public Record {
 public:
  Item() = default;
  Item(const Record& record, QString textMember) : Record(record), m_textMember(std::move(textMember)) {}

  int numItem() const { return text(u"numItem").toInt(); }
  /// What the item is: its descripcion, or obsItem for 08.
  QString description() const { return text(m_textMember); }

 private:
  QString m_textMember;
};

}  // namespace corvex
