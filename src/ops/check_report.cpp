#include "ops/check_report.h"

namespace corvex {

CheckReport::CheckReport(QTextStream& out) : m_out(out) {}

void CheckReport::pass(const QString& check, const QString& detail) { line("ok  ", check, detail); }

void CheckReport::fail(const QString& check, const QString& reason, const QString& fix) {
  ++m_failures;
  QString text = reason.trimmed();
  if (!text.endsWith(u'.')) text += u'.';
  line("FAIL", check, text + QStringLiteral(" Fix: ") + fix);
}

void CheckReport::skip(const QString& check, const QString& why) { line("skip", check, why); }

// A driver's message may span lines; the report keeps one line per check.
void CheckReport::line(const char* mark, const QString& check, const QString& text) {
  QString flat = text;
  flat.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
  m_out << mark << "  " << check << ": " << flat << Qt::endl;
}

}  // namespace corvex
