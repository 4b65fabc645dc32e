#include "base/error.h"

#include <algorithm>
#include <array>

namespace corvex {

namespace {

// The texts are the classic run-time ones, so a number in a log reads the
// same as it always did for the people who support this program.
constexpr std::array kErrorTable{
    ErrorInfo{kDatabaseError, "Database error"},
    ErrorInfo{kInvalidArgument, "Invalid procedure call or argument"},
    ErrorInfo{kOverflow, "Overflow"},
    ErrorInfo{kTypeMismatch, "Type mismatch"},
    ErrorInfo{kBadFileName, "Bad file name or number"},
    ErrorInfo{kFileNotFound, "File not found"},
    ErrorInfo{kDiskFull, "Disk full"},
    ErrorInfo{kPermissionDenied, "Permission denied"},
    ErrorInfo{kPathFileAccessError, "Path/File access error"},
    ErrorInfo{kPathNotFound, "Path not found"},
    ErrorInfo{kObjectNotSet, "Object variable or With block variable not set"},
    ErrorInfo{kInvalidUseOfNull, "Invalid use of Null"},
    ErrorInfo{kInvalidFileFormat, "Invalid file format"},
    ErrorInfo{kMailComponentError, "ActiveX component can't create object"},
    ErrorInfo{kInvalidPicture, "Invalid picture"},
    ErrorInfo{kNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted"},
    ErrorInfo{kItemNotFound, "Item cannot be found in the collection"},
    ErrorInfo{kObjectClosed, "Operation is not allowed when the object is closed"},
};

static_assert(std::is_sorted(kErrorTable.begin(), kErrorTable.end(),
                             [](const ErrorInfo& a, const ErrorInfo& b) { return a.number < b.number; }),
              "the error table is kept in ascending order, one row per number");

}  // namespace

std::span<const ErrorInfo> errorTable() { return kErrorTable; }

QString standardErrorText(int number) {
  const auto row = std::find_if(kErrorTable.begin(), kErrorTable.end(),
                                [number](const ErrorInfo& info) { return info.number == number; });
  if (row == kErrorTable.end()) return QStringLiteral("Application-defined or object-defined error");
  return QString::fromLatin1(row->text);
}

Error::Error(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toStdString()) {}

Error::Error(ErrorNumber number) : Error(number, standardErrorText(number)) {}

}  // namespace corvex
