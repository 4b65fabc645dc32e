#pragma once

#include <QString>

namespace corvex {

/// `text` as an SQL string literal: wrapped in single quotes, with every
/// quote inside doubled, so no value can break or extend the statement it
/// is pasted into.
QString sqlTextLiteral(const QString& text);

}  // namespace corvex
