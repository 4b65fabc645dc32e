#pragma once

#include <QString>
#include <QStringList>

namespace corvex {

/// The statements of an SQL script, in order, without their closing ';'.
/// A ';' ends a statement only outside quoted text ('...' with '' inside,
/// "..." and [...] names) and outside comments (-- to the line end, /* */).
/// Comments stay in the statement that holds them; pieces that hold nothing
/// but blanks and comments are dropped. Statements with inner ';' of their
/// own (CREATE TRIGGER ... BEGIN ...; END) are not supported.
QStringList splitSqlScript(const QString& script);

}  // namespace corvex
