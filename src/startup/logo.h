#pragma once

#include "db/database.h"

#include <QImage>

namespace corvex {

/// The company logo: the picture in column LOGO of the first row of SYSDATA,
/// read over DbConnection (opened and closed here). No row, NULL or empty
/// bytes give a null image. Raises the database's errors, and 481 "Invalid
/// picture" for bytes that are no image Qt can read.
QImage loadLogo(Database& database);

/// The picture held in a LOGO value: null for NULL or empty bytes; raises 481
/// "Invalid picture" for bytes that are no image Qt can read.
QImage decodeLogo(const DbValue& value);

}  // namespace corvex
