#pragma once

#include "dte/catalogues.h"
#include "dte/dte_type.h"

#include <QString>

#include <nlohmann/json.hpp>

namespace corvex {

/// What every view of one document shares; never changed once parsed.
struct DocumentData {
  nlohmann::json root;
  QString seal;
  const DteType* type = nullptr;
  const Catalogues* catalogues = nullptr;
};

}  // namespace corvex
