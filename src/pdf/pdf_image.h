#pragma once

#include <QByteArray>
#include <QImage>

#include <memory>

namespace corvex {

/// A picture as a PDF image object: the entries of its stream dictionary
/// besides /Length, and the encoded samples. A two-colour black-and-white
/// picture (the QR symbol) stays one bit per pixel and lossless; a picture
/// with transparency keeps it in a soft mask; any other is a JPEG, as print
/// drivers send photographs and logos.
struct PdfImage {
  QByteArray dictionary;
  QByteArray data;
  /// The transparency, a grey image; none for an opaque picture.
  std::shared_ptr<const PdfImage> softMask;

  /// Encodes `image`. Encoding the same image again (the company logo on
  /// every PDF) returns the result kept from the first time, on any thread.
  static std::shared_ptr<const PdfImage> of(const QImage& image);
};

}  // namespace corvex
