#pragma once

#include "render/data_rows.h"

#include <QString>

namespace corvex::test {

/// The rows the document-data query delivers for one document with `items`
/// lines: the document-level columns repeated on every row, the item columns
/// numbered from 1 ("ITEM-001", quantity 1, ...). Values carry decimals that
/// the layouts' formats must round and group.
DataRows documentRows(int items);

/// The same columns, every value NULL, in one row.
DataRows nullRows();

/// The item code of line `number` (1-based), as documentRows() writes it.
QString itemCode(int number);

}  // namespace corvex::test
