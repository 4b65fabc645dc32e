#include "pdf/pdf_image.h"

#include "pdf/pdf_objects.h"

#include <QBuffer>
#include <QImageWriter>
#include <QMutex>
#include <QMutexLocker>

#include <deque>
#include <utility>

namespace corvex {

namespace {

// Print quality: artefacts a printer would not show, a tenth of the raw size.
constexpr int kJpegQuality = 94;
// Pictures kept encoded: the logo, and room for a few others a layout adds.
constexpr std::size_t kKeptPictures = 4;

QByteArray dimensions(const QImage& image, const char* colourSpace, int bits) {
  return QByteArrayLiteral("/Type /XObject /Subtype /Image /Width ") + QByteArray::number(image.width()) + " /Height " +
         QByteArray::number(image.height()) + " /ColorSpace /" + colourSpace + " /BitsPerComponent " +
         QByteArray::number(bits);
}

bool blackAndWhite(const QImage& image) {
  if (image.depth() != 1) return false;
  for (const QRgb colour : image.colorTable()) {
    if (colour != qRgb(0, 0, 0) && colour != qRgb(255, 255, 255)) return false;
  }
  return true;
}

// PDF rows are whole bytes, QImage's whole 32-bit words.
std::shared_ptr<PdfImage> bitmap(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_Mono);
  QByteArray rows;
  const auto rowBytes = qsizetype((image.width() + 7) / 8);
  for (int y = 0; y < image.height(); ++y) rows.append(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes);
  auto encoded = std::make_shared<PdfImage>();
  // DeviceGray reads a set bit as white; flipped when index 1 is black.
  const bool oneIsBlack = image.colorTable().value(1, qRgb(255, 255, 255)) == qRgb(0, 0, 0);
  encoded->dictionary =
      dimensions(image, "DeviceGray", 1) + (oneIsBlack ? " /Decode [1 0]" : "") + " /Filter /FlateDecode";
  encoded->data = pdfFlate(rows, FlateEffort::Fast);
  return encoded;
}

std::shared_ptr<PdfImage> samples(const QImage& image, const char* colourSpace, const QByteArray& bytes) {
  auto encoded = std::make_shared<PdfImage>();
  encoded->dictionary = dimensions(image, colourSpace, 8) + " /Filter /FlateDecode";
  encoded->data = pdfFlate(bytes, FlateEffort::Small);
  return encoded;
}

std::shared_ptr<PdfImage> withTransparency(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
  QByteArray rgb;
  QByteArray alpha;
  rgb.reserve(qsizetype(image.width()) * image.height() * 3);
  alpha.reserve(qsizetype(image.width()) * image.height());
  for (int y = 0; y < image.height(); ++y) {
    const uchar* pixel = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x, pixel += 4) {
      rgb.append(reinterpret_cast<const char*>(pixel), 3);
      alpha.append(char(pixel[3]));
    }
  }
  std::shared_ptr<PdfImage> encoded = samples(image, "DeviceRGB", rgb);
  encoded->softMask = samples(image, "DeviceGray", alpha);
  return encoded;
}

std::shared_ptr<PdfImage> photograph(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(kJpegQuality);
  if (!writer.write(image)) {
    // Without the JPEG plugin the samples go in whole, compressed.
    QByteArray rgb;
    for (int y = 0; y < image.height(); ++y)
      rgb.append(reinterpret_cast<const char*>(image.constScanLine(y)), qsizetype(image.width()) * 3);
    return samples(image, "DeviceRGB", rgb);
  }
  auto encoded = std::make_shared<PdfImage>();
  encoded->dictionary = dimensions(image, "DeviceRGB", 8) + " /Filter /DCTDecode";
  encoded->data = jpeg;
  return encoded;
}

std::shared_ptr<const PdfImage> encode(const QImage& image) {
  if (blackAndWhite(image)) return bitmap(image);
  if (image.hasAlphaChannel()) return withTransparency(image);
  return photograph(image);
}

}  // namespace

std::shared_ptr<const PdfImage> PdfImage::of(const QImage& image) {
  static QMutex mutex;
  static std::deque<std::pair<qint64, std::shared_ptr<const PdfImage>>> kept;
  {
    const QMutexLocker lock(&mutex);
    for (const auto& [key, encoded] : kept) {
      if (key == image.cacheKey()) return encoded;
    }
  }
  std::shared_ptr<const PdfImage> encoded = encode(image);
  // A QR symbol is new for every document and quick to encode: kept, it
  // would only push the logo out.
  if (blackAndWhite(image)) return encoded;
  const QMutexLocker lock(&mutex);
  kept.emplace_front(image.cacheKey(), encoded);
  if (kept.size() > kKeptPictures) kept.pop_back();
  return encoded;
}

}  // namespace corvex
