#include "render/qr_bitmap.h"

#include <qrencode.h>

#include "base/checked_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvex {
namespace {

// Readers need four light modules around the symbol; a picture placed flush
// against other print would not decode without them.
constexpr int kMinQuietZone = 4;
// Bounds that keep the picture's side well inside what QImage allocates.
constexpr int kMaxModuleSize = 32;
constexpr int kMaxQuietZone = 32;

struct QrCodeFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};
using QrCodePtr = std::unique_ptr<QRcode, QrCodeFree>;

// Byte mode takes every text unchanged, embedded NULs included, at the cost of
// a slightly larger symbol than mixed modes would give.
QrCodePtr encode(const QString& text, int errorCorrection) {
  const QByteArray bytes = text.toUtf8();
  const auto level = static_cast<QRecLevel>(std::clamp(errorCorrection, int{QR_ECLEVEL_L}, int{QR_ECLEVEL_H}));
  return QrCodePtr(QRcode_encodeData(static_cast<int>(bytes.size()),
                                     reinterpret_cast<const unsigned char*>(bytes.constData()), 0, level));
}

// One row of modules is drawn into its first pixel row, which the rest of
// the module's height copies.
void drawModuleRow(QImage& image, const QRcode& code, int row, int moduleSize, int quietZone) {
  const int top = (row + quietZone) * moduleSize;
  for (int column = 0; column < code.width; ++column) {
    // Bit 0 of each module byte tells dark from light; the others are encoder bookkeeping.
    if ((code.data[row * code.width + column] & 1) == 0) continue;
    const int left = (column + quietZone) * moduleSize;
    for (int x = left; x < left + moduleSize; ++x) image.setPixel(x, top, 1);
  }
  for (int y = top + 1; y < top + moduleSize; ++y)
    std::memcpy(image.scanLine(y), image.constScanLine(top), std::size_t(image.bytesPerLine()));
}

QImage draw(const QRcode& code, int moduleSize, int quietZone) {
  const int side = (code.width + 2 * quietZone) * moduleSize;
  QImage image(side, side, QImage::Format_Mono);
  if (image.isNull()) return image;
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  image.fill(0);
  for (int row = 0; row < code.width; ++row) drawModuleRow(image, code, row, moduleSize, quietZone);
  return image;
}

QByteArray bmpBytes(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "BMP")) return {};
  return bytes;
}

}  // namespace

void GenerateBMPW(FileSystem& files, const QString& fileName, const QString& text, int errorCorrection, int moduleSize,
                  int border) {
  const QrCodePtr code = encode(text, errorCorrection);
  const QByteArray bmp = code ? bmpBytes(draw(*code, std::clamp(moduleSize, 1, kMaxModuleSize),
                                              std::clamp(border, kMinQuietZone, kMaxQuietZone)))
                              : QByteArray();
  if (bmp.isEmpty())
    files.remove(fileName);
  else
    writeFileReplacing(files, fileName, bmp);
}

}  // namespace corvex
