#include "mail/mime_entity.h"

namespace corvex {

namespace {

constexpr int kDeepestNesting = 8;
constexpr int kMostParts = 64;

// The header block ends at the first empty line; what follows is the body.
qsizetype bodyStart(const QByteArray& bytes, qsizetype* headerEnd) {
  const qsizetype crlf = bytes.indexOf("\r\n\r\n");
  const qsizetype lf = bytes.indexOf("\n\n");
  if (crlf >= 0 && (lf < 0 || crlf < lf)) {
    *headerEnd = crlf;
    return crlf + 4;
  }
  *headerEnd = lf >= 0 ? lf : bytes.size();
  return lf >= 0 ? lf + 2 : bytes.size();
}

// "type/subtype; name=value; name=\"quoted value\"" split into its pieces,
// semicolons inside quotes kept.
QList<QByteArray> typePieces(const QByteArray& value) {
  QList<QByteArray> pieces{QByteArray()};
  bool quoted = false;
  for (qsizetype i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"' && (i == 0 || value[i - 1] != '\\')) quoted = !quoted;
    if (c == ';' && !quoted)
      pieces << QByteArray();
    else
      pieces.last() += c;
  }
  return pieces;
}

QByteArray unquoted(QByteArray value) {
  value = value.trimmed();
  if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
    value = value.mid(1, value.size() - 2).replace("\\\"", "\"").replace("\\\\", "\\");
  return value;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "=XX" is the byte, "=" at a line's end a soft break; anything else stays.
QByteArray quotedPrintableDecoded(const QByteArray& data) {
  QByteArray decoded;
  decoded.reserve(data.size());
  for (qsizetype i = 0; i < data.size(); ++i) {
    if (data[i] != '=') {
      decoded += data[i];
    } else if (i + 2 < data.size() && isHexDigit(data[i + 1]) && isHexDigit(data[i + 2])) {
      decoded += QByteArray::fromHex(data.mid(i + 1, 2));
      i += 2;
    } else if (data.mid(i + 1, 2) == "\r\n") {
      i += 2;
    } else if (data.mid(i + 1, 1) == "\n") {
      i += 1;
    } else {
      decoded += data[i];
    }
  }
  return decoded;
}

QByteArray decodedBody(const QByteArray& body, const QByteArray& encoding) {
  const QByteArray name = encoding.trimmed().toLower();
  if (name == "base64") return QByteArray::fromBase64(body);
  if (name == "quoted-printable") return quotedPrintableDecoded(body);
  return body;
}

// The parts between "--boundary" lines, each without the line break that
// belongs to the next delimiter; the preamble and the epilogue are dropped.
QList<QByteArray> multipartBodies(const QByteArray& body, const QByteArray& boundary) {
  QList<QByteArray> bodies;
  const QByteArray delimiter = "--" + boundary;
  qsizetype partStart = -1;
  qsizetype lineStart = 0;
  while (lineStart <= body.size()) {
    qsizetype lineEnd = body.indexOf('\n', lineStart);
    if (lineEnd < 0) lineEnd = body.size();
    const QByteArray line = body.mid(lineStart, lineEnd - lineStart).trimmed();
    if (line.startsWith(delimiter)) {
      if (partStart >= 0) {
        qsizetype end = lineStart > 0 ? lineStart - 1 : 0;
        if (end > partStart && body[end - 1] == '\r') --end;
        bodies << body.mid(partStart, end - partStart);
      }
      if (line.mid(delimiter.size()).startsWith("--")) return bodies;
      partStart = lineEnd + 1;
    }
    lineStart = lineEnd + 1;
  }
  // A message cut off before its closing delimiter keeps its last part.
  if (partStart >= 0 && partStart < body.size()) bodies << body.mid(partStart);
  return bodies;
}

MimeEntity readEntity(const QByteArray& bytes, int depth, int& partsLeft) {
  MimeEntity entity;
  qsizetype headerEnd = 0;
  const qsizetype start = bodyStart(bytes, &headerEnd);
  entity.headers = headerFields(bytes.left(headerEnd));
  const QByteArray contentType = entity.header("content-type");
  entity.type = typePieces(contentType).first().trimmed().toLower();
  if (!entity.type.contains('/')) entity.type = "text/plain";
  const QByteArray body = bytes.mid(start);
  const bool canNest = depth < kDeepestNesting;
  if (entity.type.startsWith("multipart/") && canNest && !entity.typeParameter("boundary").isEmpty()) {
    for (const QByteArray& part : multipartBodies(body, entity.typeParameter("boundary"))) {
      if (partsLeft-- <= 0) break;
      entity.parts << readEntity(part, depth + 1, partsLeft);
    }
  } else if ((entity.type == "message/rfc822" || entity.type == "message/global") && canNest && partsLeft-- > 0) {
    entity.parts << readEntity(decodedBody(body, entity.header("content-transfer-encoding")), depth + 1, partsLeft);
  } else {
    entity.body = decodedBody(body, entity.header("content-transfer-encoding"));
  }
  return entity;
}

}  // namespace

// A value folded over many lines grows in place: a hostile header of a
// million continuation lines must not cost a million copies of itself.
HeaderFields headerFields(const QByteArray& block) {
  HeaderFields fields;
  for (const QByteArray& rawLine : block.split('\n')) {
    const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
    if (line.trimmed().isEmpty()) break;
    if ((line.startsWith(' ') || line.startsWith('\t')) && !fields.isEmpty()) {
      QByteArray& value = fields.last().second;
      if (!value.isEmpty()) value += ' ';
      value += line.trimmed();
      continue;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) continue;
    fields << qMakePair(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
  }
  return fields;
}

QByteArray fieldValue(const HeaderFields& fields, const QByteArray& name) {
  for (const auto& field : fields) {
    if (field.first == name) return field.second;
  }
  return {};
}

QByteArray MimeEntity::typeParameter(const QByteArray& name) const {
  const QList<QByteArray> pieces = typePieces(header("content-type"));
  for (qsizetype i = 1; i < pieces.size(); ++i) {
    const qsizetype equals = pieces[i].indexOf('=');
    if (equals > 0 && pieces[i].left(equals).trimmed().toLower() == name) return unquoted(pieces[i].mid(equals + 1));
  }
  return {};
}

MimeEntity readMimeEntity(const QByteArray& bytes) {
  int partsLeft = kMostParts;
  return readEntity(bytes, 0, partsLeft);
}

}  // namespace corvex
