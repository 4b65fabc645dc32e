#pragma once

#include "dte/catalogues.h"
#include "dte/dte_type.h"
#include "dte/fact_table.h"

#include <QString>

#include <nlohmann/json.hpp>

namespace corvex {

/// What every view of one document shares; never changed once parsed.
struct DocumentData {
  nlohmann::json root;
  QString seal;
  const DteType* type = nullptr;
  Generation generation;
  /// Where the facts live in the document's type and generation.
  const FactPaths* facts = nullptr;
  const Catalogues* catalogues = nullptr;
};

}  // namespace corvex
