#include "db/procedure_call.h"

#include "base/error.h"

#include <QLocale>
#include <QRegularExpression>

namespace corvex {

namespace {

Error syntaxError(const QString& near) {
  return Error(kDatabaseError, QStringLiteral("Incorrect syntax near '%1'.").arg(near));
}

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// Reads the argument list "@A = 1, @B = 'x'" one token at a time.
class ArgumentScanner {
 public:
  explicit ArgumentScanner(const QString& text) : m_text(text) {}

  QVector<QPair<QString, QVariant>> scan() {
    QVector<QPair<QString, QVariant>> arguments;
    skipBlanks();
    while (!atEnd()) {
      if (!arguments.isEmpty()) expect(QLatin1Char(','));
      expect(QLatin1Char('@'));
      const QString name = word();
      expect(QLatin1Char('='));
      arguments.append({name, value()});
    }
    return arguments;
  }

 private:
  bool atEnd() const { return m_pos >= m_text.size() || m_text.mid(m_pos).trimmed() == QStringLiteral(";"); }
  void skipBlanks() {
    while (m_pos < m_text.size() && m_text[m_pos].isSpace()) ++m_pos;
  }
  void expect(QChar c) {
    skipBlanks();
    if (m_pos >= m_text.size() || m_text[m_pos] != c) throw syntaxError(m_text.mid(m_pos, 10));
    ++m_pos;
    skipBlanks();
  }
  QString word() {
    const qsizetype start = m_pos;
    while (m_pos < m_text.size() && isWordChar(m_text[m_pos])) ++m_pos;
    if (m_pos == start) throw syntaxError(m_text.mid(m_pos, 10));
    return m_text.mid(start, m_pos - start);
  }
  QVariant value() {
    if (m_text.mid(m_pos, 2).compare(QStringLiteral("N'"), Qt::CaseInsensitive) == 0) ++m_pos;
    QVariant result = m_pos < m_text.size() && m_text[m_pos] == QLatin1Char('\'') ? quoted() : bare();
    skipBlanks();
    return result;
  }
  QString quoted() {
    QString text;
    for (++m_pos; m_pos < m_text.size(); ++m_pos) {
      if (m_text[m_pos] != QLatin1Char('\'')) {
        text += m_text[m_pos];
      } else if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('\'')) {
        text += m_text[++m_pos];
      } else {
        ++m_pos;
        return text;
      }
    }
    throw Error(kDatabaseError, QStringLiteral("Unclosed quotation mark after the character string '%1'.").arg(text));
  }
  QVariant bare() {
    static const QRegularExpression number(QStringLiteral("\\G[-+]?\\d+(\\.\\d*)?([eE][-+]?\\d+)?"));
    static const QRegularExpression null(QStringLiteral("\\GNULL\\b"), QRegularExpression::CaseInsensitiveOption);
    if (const auto match = null.match(m_text, m_pos); match.hasMatch()) {
      m_pos += match.capturedLength();
      return QVariant();
    }
    const auto match = number.match(m_text, m_pos);
    if (!match.hasMatch()) throw syntaxError(m_text.mid(m_pos, 10));
    m_pos += match.capturedLength();
    bool whole = false;
    const qlonglong integer = match.captured().toLongLong(&whole);
    if (whole) return integer;
    return QLocale::c().toDouble(match.captured());
  }

  const QString& m_text;
  qsizetype m_pos = 0;
};

const QVariant* findArgument(const ProcedureCall& call, const QString& name) {
  for (const auto& [argument, value] : call.arguments) {
    if (argument.compare(name, Qt::CaseInsensitive) == 0) return &value;
  }
  return nullptr;
}

}  // namespace

std::optional<ProcedureCall> parseProcedureCall(const QString& statement) {
  static const QRegularExpression head(
      QStringLiteral("^\\s*EXEC(?:UTE)?\\s+(?:\\[?\\w+\\]?\\.)?\\[?(\\w+)\\]?(.*)$"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = head.match(statement);
  if (!match.hasMatch()) return std::nullopt;
  const QString arguments = match.captured(2);
  return ProcedureCall{match.captured(1), ArgumentScanner(arguments).scan()};
}

BoundBody bindProcedureBody(const ProcedureCall& call, const QString& body) {
  BoundBody bound;
  bool inString = false;
  for (qsizetype i = 0; i < body.size(); ++i) {
    const QChar c = body[i];
    if (c == QLatin1Char('\'')) inString = !inString;
    if (inString || c != QLatin1Char('@') || i + 1 >= body.size() || !isWordChar(body[i + 1])) {
      bound.sql += c;
      continue;
    }
    qsizetype end = i + 1;
    while (end < body.size() && isWordChar(body[end])) ++end;
    const QString name = body.mid(i + 1, end - i - 1);
    const QVariant* value = findArgument(call, name);
    if (!value)
      throw Error(kDatabaseError,
                  QStringLiteral("Procedure or function '%1' expects parameter '@%2', which was not supplied.")
                      .arg(call.name, name));
    bound.sql += QLatin1Char('?');
    bound.values.append(*value);
    i = end - 1;
  }
  return bound;
}

}  // namespace corvex
