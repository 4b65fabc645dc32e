#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace corvex {

/// The rows of Parametros that the program reads, by name; std::nullopt for a
/// name that has no row (a NULL value counts as an empty text, as start-up
/// reads it).
using ParameterValues = std::map<QString, std::optional<QString>>;

/// Every parameter the program reads, in the order start-up reads them, then
/// FESVAmbiente, which each rendering reads.
QStringList checkedParameters();

/// What `corvex check` says about one parameter: an empty `problem` when its
/// value is fine, else what is wrong and how to mend it.
struct ParameterVerdict {
  QString problem;
  QString fix;
};

/// Judges the parameter `name` as the program will use it: a missing row, a
/// port start-up cannot convert or that no SMTP server listens on
/// (1..32767, the setting is 16-bit signed; any number for a pickup
/// folder), a sender or contact address that is no bare address, an empty
/// server, a login without password (unless `passwordLogin` is false or the
/// server is Graph: the login takes an OAuth token), an unknown DTE
/// environment.
ParameterVerdict judgeParameter(const QString& name, const ParameterValues& values, bool passwordLogin = true);

/// The value as the check may print it: the password never, only whether it
/// is set.
QString shownValue(const QString& name, const QString& value);

}  // namespace corvex
