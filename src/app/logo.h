#pragma once

#include "db/database.h"

#include <QImage>

namespace corvex {

/// The company logo: the picture in column LOGO of the first row of SYSDATA,
/// read over DbConnection (opened and closed here). No row, NULL or empty
/// bytes give a null image. Raises the database's errors, and 481 "Invalid
/// picture" for bytes that are no image Qt can read.
QImage loadLogo(Database& database);

}  // namespace corvex
