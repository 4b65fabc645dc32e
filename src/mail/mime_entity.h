#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace corvex {

/// Header fields in the order they stand: lower-case names, values unfolded
/// (RFC 5322) and trimmed.
using HeaderFields = QList<QPair<QByteArray, QByteArray>>;

/// The fields of a header block ("Name: value" lines, continued by lines
/// that start with a blank), up to its first empty line. Lines that are no
/// field are passed over.
HeaderFields headerFields(const QByteArray& block);

/// The value of the first field `name` (lower case), or an empty array.
QByteArray fieldValue(const HeaderFields& fields, const QByteArray& name);

/// One MIME entity (RFC 2045, 2046) read from a message's bytes, as far as a
/// reader of delivery reports needs it: its header fields, its content type
/// and parameters, its body with the transfer encoding (base64,
/// quoted-printable) undone, and its parts: those of a multipart, or the
/// one message a message/rfc822 (or message/global) entity carries.
///
/// Any bytes give an entity: what is not MIME reads as a text/plain body.
/// Reading is bounded for hostile input: parts nested deeper than 8, or
/// beyond the 64th in all, are not read.
struct MimeEntity {
  HeaderFields headers;
  /// "type/subtype" in lower case; "text/plain" when the entity names none.
  QByteArray type;
  /// Only for an entity without parts.
  QByteArray body;
  QList<MimeEntity> parts;

  QByteArray header(const QByteArray& name) const { return fieldValue(headers, name); }
  /// A parameter of the Content-Type field (lower-case `name`), unquoted.
  QByteArray typeParameter(const QByteArray& name) const;
};

MimeEntity readMimeEntity(const QByteArray& bytes);

}  // namespace corvex
