#include "demo/sql_script.h"

namespace corvex {

namespace {

// Where the piece of text that starts at `pos` with a quote or comment ends
// (one past its last character), or -1 when `pos` starts neither.
qsizetype endOfQuotedOrComment(const QString& script, qsizetype pos) {
  const QChar c = script[pos];
  const QChar next = pos + 1 < script.size() ? script[pos + 1] : QChar();
  auto until = [&](const QString& closing, qsizetype from) {
    const qsizetype end = script.indexOf(closing, from);
    return end < 0 ? script.size() : end + closing.size();
  };
  if (c == QLatin1Char('-') && next == QLatin1Char('-')) return until(QStringLiteral("\n"), pos + 2);
  if (c == QLatin1Char('/') && next == QLatin1Char('*')) return until(QStringLiteral("*/"), pos + 2);
  if (c == QLatin1Char('[')) return until(QStringLiteral("]"), pos + 1);
  if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
    // A doubled quote stands for itself and does not close the text.
    qsizetype end = until(QString(c), pos + 1);
    while (end < script.size() && script[end] == c) end = until(QString(c), end + 1);
    return end;
  }
  return -1;
}

bool startsComment(const QString& script, qsizetype pos) {
  const QStringView rest = QStringView(script).mid(pos);
  return rest.startsWith(u"--") || rest.startsWith(u"/*");
}

// True when the statement holds something besides blanks and comments.
bool hasContent(const QString& statement) {
  for (qsizetype pos = 0; pos < statement.size();) {
    if (startsComment(statement, pos)) {
      pos = endOfQuotedOrComment(statement, pos);
    } else if (statement[pos].isSpace()) {
      ++pos;
    } else {
      return true;
    }
  }
  return false;
}

}  // namespace

QStringList splitSqlScript(const QString& script) {
  QStringList statements;
  qsizetype start = 0;
  for (qsizetype pos = 0; pos <= script.size();) {
    if (pos < script.size() && script[pos] != QLatin1Char(';')) {
      const qsizetype end = endOfQuotedOrComment(script, pos);
      pos = end >= 0 ? end : pos + 1;
      continue;
    }
    const QString statement = script.mid(start, pos - start).trimmed();
    if (hasContent(statement)) statements << statement;
    start = ++pos;
  }
  return statements;
}

}  // namespace corvex
