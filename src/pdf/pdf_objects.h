#pragma once

#include <QByteArray>

#include <vector>

namespace corvex {

/// The object layer of a PDF file: numbered objects written in any order,
/// then the cross-reference table and the trailer that find them.
class PdfObjects {
 public:
  PdfObjects();

  /// A number for an object written later (objects refer to each other).
  int reserve();
  /// "N 0 R".
  static QByteArray reference(int number);

  void write(int number, const QByteArray& body);
  /// A stream object: `dictionary` holds every entry but /Length.
  void writeStream(int number, const QByteArray& dictionary, const QByteArray& data);

  /// The file, ending with the table and the trailer naming `catalog` and `info`.
  QByteArray finish(int catalog, int info);

 private:
  QByteArray m_file;
  std::vector<qsizetype> m_offsets;
};

/// How hard pdfFlate() works: a stream written for one file (a page, a QR
/// symbol) is compressed fast, one built once and shared by every file (a
/// font program, the logo) as small as it gets.
enum class FlateEffort { Fast, Small };

/// `data` compressed for a /FlateDecode stream.
QByteArray pdfFlate(const QByteArray& data, FlateEffort effort);

/// Four upper-case hex digits: a two-byte code or UTF-16 unit in a hex string.
QByteArray pdfHex16(quint32 value);

/// A number as a PDF content stream writes it: no exponent, at most three
/// decimals, no trailing zeros.
QByteArray pdfNumber(double value);

}  // namespace corvex
