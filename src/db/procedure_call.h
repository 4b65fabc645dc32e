#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

namespace corvex {

/// A stored-procedure call, "EXEC name @P1 = v1, @P2 = 'v2'", as SQLite
/// databases emulate it: the procedure's body is a SELECT kept in the table
/// procedures(name, body), in which @P1, @P2 stand for the values given.
struct ProcedureCall {
  QString name;
  /// Parameter names without '@', in the order given, with their values:
  /// text for quoted strings (doubled quotes undone), numbers, or NULL.
  QVector<QPair<QString, QVariant>> arguments;
};

/// The call a statement makes, or nothing when it is not an EXEC/EXECUTE
/// statement (any case). Raises kDatabaseError for a malformed argument list.
std::optional<ProcedureCall> parseProcedureCall(const QString& statement);

/// The body with every @name outside string literals replaced by '?', and
/// the values to bind to them in order. Raises kDatabaseError for a
/// parameter the call does not supply.
struct BoundBody {
  QString sql;
  QVector<QVariant> values;
};
BoundBody bindProcedureBody(const ProcedureCall& call, const QString& body);

}  // namespace corvex
