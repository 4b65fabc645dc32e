#include "base/error.h"

namespace corvex {

Error::Error(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toStdString()) {}

Error Error::overflow() { return Error(kOverflow, QStringLiteral("Overflow")); }

Error Error::typeMismatch() { return Error(kTypeMismatch, QStringLiteral("Type mismatch")); }

Error Error::invalidUseOfNull() { return Error(kInvalidUseOfNull, QStringLiteral("Invalid use of Null")); }

Error Error::fileNotFound() { return Error(kFileNotFound, QStringLiteral("File not found")); }

}  // namespace corvex
