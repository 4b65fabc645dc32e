#pragma once

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

namespace corvex {

/// One JSON object held in memory, as the dispatch run uses it: load a
/// document, read a text member, append text members, write it back out.
///
/// The written text keeps the loaded document byte for byte (its members,
/// their order, spacing and number forms), because the tax authority's seal
/// covers exactly that text; appended members follow its last member as JSON
/// strings, before the closing brace. Whitespace around the object (before
/// the opening brace, after the closing one) and a byte-order mark are not
/// part of the document and are dropped. Texts are UTF-8 throughout.
class JsonDocument {
 public:
  /// Position for InsertMemberText: after the last member.
  static constexpr int kAfterLastMember = -1;

  /// Replaces the content with `text`. Raises Error 13 when the text is not
  /// a JSON object or holds a number beyond the range of a double; the
  /// instance then holds no document.
  void LoadJson(const QString& text);

  /// The text of the top-level member `name` (of the loaded document or
  /// appended since). Raises Error 3265 when there is no such member, 13
  /// when it is not a JSON string, 91 when no document is loaded.
  QString GetMemberText(const QString& name) const;

  /// Appends the member `name` with the text `value`. Only
  /// kAfterLastMember is supported as `position`; any other raises Error 5.
  /// Raises 91 when no document is loaded.
  void InsertMemberText(int position, const QString& name, const QString& value);

  /// The whole document as JSON text. Raises 91 when no document is loaded.
  QString ToJsonText() const;

 private:
  struct Loaded {
    /// The object's text from its opening to its closing brace, UTF-8.
    QByteArray text;
    /// Where the appended members go: the offset of the closing brace.
    qsizetype closingBrace = 0;
    bool hasMembers = false;
    nlohmann::json parsed;
  };

  Loaded& loaded();
  const Loaded& loaded() const;

  std::optional<Loaded> m_loaded;
};

}  // namespace corvex
