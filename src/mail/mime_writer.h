#pragma once

#include <QByteArray>
#include <QString>

namespace corvex::mime {

/// A header value as it may stand on the wire: printable ASCII text as it is,
/// anything else (accents, line breaks) as RFC 2047 UTF-8 encoded words, each
/// short enough for a header line and joined by folding (CR LF + blank), so a
/// value can never start a header of its own.
QByteArray headerText(const QString& text);

/// "Name: value" and CR LF, its lines folded (RFC 5322) before a blank
/// wherever they would run past 78 characters; a word longer than that (a
/// long file name, say) keeps a line of its own. `value` may be folded
/// already (headerText()); it must hold no other line break.
QByteArray headerField(const QByteArray& name, const QByteArray& value);

/// `text` always as RFC 2047 encoded words, folded as headerText() does; safe
/// in an address list, where commas and quotes would otherwise count.
QByteArray encodedWords(const QString& text);

/// A display name before an address: a quoted string when it is printable
/// ASCII without quotes or backslashes, else encodedWords().
QByteArray phrase(const QString& name);

/// `data` in base64, in lines of 76 characters, each ended by CR LF.
QByteArray base64Lines(const QByteArray& data);

/// `data` in quoted-printable (RFC 2045): its CR LF pairs as line breaks,
/// every other control byte (a bare CR or LF too), '=' and each byte above
/// 126 as =XX, a blank before a line break as =20 or =09, and lines of at most
/// 76 characters by soft breaks ("=" CR LF). Decoding gives `data` back byte
/// for byte. Ends without a line break.
QByteArray quotedPrintable(const QByteArray& data);

/// The headers and body of a UTF-8 text/plain part, ended by CR LF: 7bit when
/// `utf8` is ASCII with CR LF line ends only and no line over 998 bytes, so
/// it travels as it is; otherwise quoted-printable.
QByteArray textPart(const QByteArray& utf8);

/// The content type an attachment is announced with, by its file name:
/// application/json for .json, application/pdf for .pdf (any case),
/// application/octet-stream for everything else.
QByteArray contentTypeFor(const QString& fileName);

/// A `name="value"` parameter for Content-Type and Content-Disposition;
/// a value that is not plain ASCII is given as RFC 2231 `name*=UTF-8''...`.
QByteArray parameter(const QByteArray& name, const QString& value);

}  // namespace corvex::mime
