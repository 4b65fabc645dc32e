#include "pdf/pdf_objects.h"

#include <cmath>

namespace corvex {

// The comment of high bytes tells transfer programs the file is binary.
PdfObjects::PdfObjects() : m_file(QByteArrayLiteral("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")) {}

int PdfObjects::reserve() {
  m_offsets.push_back(-1);
  return int(m_offsets.size());
}

QByteArray PdfObjects::reference(int number) { return QByteArray::number(number) + " 0 R"; }

void PdfObjects::write(int number, const QByteArray& body) {
  m_offsets[std::size_t(number - 1)] = m_file.size();
  m_file += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
}

void PdfObjects::writeStream(int number, const QByteArray& dictionary, const QByteArray& data) {
  write(number,
        "<< " + dictionary + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream");
}

QByteArray PdfObjects::finish(int catalog, int info) {
  const qsizetype table = m_file.size();
  m_file += "xref\n0 " + QByteArray::number(qsizetype(m_offsets.size()) + 1) + "\n0000000000 65535 f \n";
  for (const qsizetype offset : m_offsets)
    m_file += QByteArray::number(qMax<qsizetype>(offset, 0)).rightJustified(10, '0') + " 00000 n \n";
  m_file += "trailer\n<< /Size " + QByteArray::number(qsizetype(m_offsets.size()) + 1) + " /Root " +
            reference(catalog) + " /Info " + reference(info) + " >>\nstartxref\n" + QByteArray::number(table) +
            "\n%%EOF\n";
  return m_file;
}

// qCompress() puts the length in front of a zlib stream, which is what
// FlateDecode reads.
QByteArray pdfFlate(const QByteArray& data, FlateEffort effort) {
  return qCompress(data, effort == FlateEffort::Fast ? 1 : 9).mid(4);
}

QByteArray pdfHex16(quint32 value) { return QByteArray::number(value & 0xFFFF, 16).toUpper().rightJustified(4, '0'); }

QByteArray pdfNumber(double value) {
  const double rounded = std::round(value * 1000.0) / 1000.0;
  if (rounded == std::floor(rounded) && std::fabs(rounded) < 1e15) return QByteArray::number(qint64(rounded));
  QByteArray text = QByteArray::number(rounded, 'f', 3);
  while (text.endsWith('0')) text.chop(1);
  return text;
}

}  // namespace corvex
