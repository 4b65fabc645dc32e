#pragma once

#include <QString>
#include <QTextStream>

namespace corvex {

/// The output of `corvex check`: one line per check, written at once so an
/// operator watching a slow check sees where it stands.
///
///   ok    database login: sqlite:/var/lib/corvex/ventas.db
///   FAIL  parameter sysSMTPPort: 40000 is outside 1..32767. Fix: ...
///   skip  logo: needs the database login
///
/// "*out" must outlive the report.
class CheckReport {
 public:
  explicit CheckReport(QTextStream& out);

  void pass(const QString& check, const QString& detail);
  /// `reason` says what is wrong, `fix` what the operator should do.
  void fail(const QString& check, const QString& reason, const QString& fix);
  /// A check that cannot run because an earlier one failed.
  void skip(const QString& check, const QString& why);

  /// True while no check failed.
  bool allPassed() const { return m_failures == 0; }

 private:
  void line(const char* mark, const QString& check, const QString& text);

  QTextStream& m_out;
  int m_failures = 0;
};

}  // namespace corvex
