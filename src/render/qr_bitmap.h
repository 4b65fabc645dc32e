#pragma once

#include "base/file_system.h"

#include <QString>

namespace corvex {

/// Draws one QR symbol of `text` into the bitmap file `fileName`, which the
/// renderer then loads as the document's QR picture.
///
/// The three numbers, as the renderer passes them (3, 5, 0):
/// - errorCorrection: the QR error-correction level, 0 = L (7%), 1 = M (15%),
///   2 = Q (25%), 3 = H (30%); values outside are taken as the nearest level.
/// - moduleSize: the side of one module in pixels, taken as 1 to 32.
/// - border: the quiet zone in modules, taken as 4 to 32: readers need at
///   least four light modules around the symbol, so 0 gives 4.
///
/// The text is encoded as UTF-8 bytes and read back by any standard QR reader
/// exactly as given. The file is a 1-bit BMP, black modules on white, that
/// QImage reads, written through writeFileReplacing(): a reader never sees
/// half a picture, and a failed write raises FileError with the system's
/// reason instead of leaving an old picture to be mistaken for this one.
/// A text too long for any QR symbol removes the old file, so no document can
/// carry the symbol of another. No folder is ever created.
void GenerateBMPW(FileSystem& files, const QString& fileName, const QString& text, int errorCorrection, int moduleSize,
                  int border);

}  // namespace corvex
