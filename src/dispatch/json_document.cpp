#include "dispatch/json_document.h"

#include "base/error.h"

namespace corvex {

namespace {

// The classic "Invalid procedure call or argument".

std::string utf8(const QString& text) { return text.toStdString(); }

// dump() of a string gives its JSON form with the escapes JSON requires;
// non-ASCII characters stay UTF-8.
QByteArray jsonString(const QString& text) {
  const std::string dumped = nlohmann::json(utf8(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return QByteArray::fromStdString(dumped);
}

Error notAnObject(const QString& reason) {
  return Error(kTypeMismatch, QStringLiteral("The JSON text is not a JSON object: %1").arg(reason));
}

Error noDocument() { return Error(kObjectNotSet, QStringLiteral("No JSON document is loaded.")); }

}  // namespace

void JsonDocument::LoadJson(const QString& text) {
  m_loaded.reset();
  const QByteArray bytes = text.toUtf8();
  // The parser takes a NUL for the end of the text and would accept what
  // follows it unread; JSON never holds one, so the text is refused.
  if (bytes.contains('\0')) throw notAnObject(QStringLiteral("it holds a NUL character."));
  nlohmann::json parsed;
  try {
    parsed = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd());
  } catch (const nlohmann::json::exception& error) {
    // Not only syntax: a number beyond a double (1e400) is refused by the
    // parser as out of range, and must end as our error like any other.
    throw notAnObject(QString::fromUtf8(error.what()));
  }
  if (!parsed.is_object())
    throw notAnObject(QStringLiteral("it holds a %1.").arg(QString::fromUtf8(parsed.type_name())));
  // A valid object starts at its first '{' and ends at its last '}'; only
  // whitespace or a byte-order mark can lie outside them.
  const qsizetype open = bytes.indexOf('{');
  const qsizetype close = bytes.lastIndexOf('}');
  Loaded loaded{bytes.mid(open, close - open + 1), close - open, !parsed.empty(), std::move(parsed)};
  m_loaded = std::move(loaded);
}

QString JsonDocument::GetMemberText(const QString& name) const {
  const nlohmann::json& object = loaded().parsed;
  const auto member = object.find(utf8(name));
  if (member == object.end())
    throw Error(kItemNotFound, QStringLiteral("The JSON document has no member \"%1\".").arg(name));
  if (!member->is_string())
    throw Error(kTypeMismatch, QStringLiteral("The JSON member \"%1\" is not a text but a %2.")
                                   .arg(name, QString::fromUtf8(member->type_name())));
  return QString::fromStdString(member->get<std::string>());
}

void JsonDocument::InsertMemberText(int position, const QString& name, const QString& value) {
  Loaded& document = loaded();
  if (position != kAfterLastMember)
    throw Error(
        kInvalidArgument,
        QStringLiteral("Members can only be inserted after the last member (position -1), not at %1.").arg(position));
  QByteArray member = document.hasMembers ? QByteArrayLiteral(",") : QByteArray();
  member += jsonString(name) + ':' + jsonString(value);
  document.text.insert(document.closingBrace, member);
  document.closingBrace += member.size();
  document.hasMembers = true;
  document.parsed[utf8(name)] = utf8(value);
}

QString JsonDocument::ToJsonText() const { return QString::fromUtf8(loaded().text); }

JsonDocument::Loaded& JsonDocument::loaded() {
  if (!m_loaded) throw noDocument();
  return *m_loaded;
}

const JsonDocument::Loaded& JsonDocument::loaded() const {
  if (!m_loaded) throw noDocument();
  return *m_loaded;
}

}  // namespace corvex
