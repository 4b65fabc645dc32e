#pragma once

#include <QString>

#include <exception>
#include <span>
#include <string>

namespace corvex {

/// The run-time error numbers that logs, dialogs and callers rely on. This is
/// the program's only list of them: a raiser names one of these, never a bare
/// number, and errorTable() gives each its standard text.
enum ErrorNumber : int {
  kInvalidArgument = 5,
  kOverflow = 6,
  kTypeMismatch = 13,
  kBadFileName = 52,
  kFileNotFound = 53,
  kDiskFull = 61,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kInvalidFileFormat = 321,
  kMailComponentError = 429,
  kInvalidPicture = 481,
  kNoCurrentRecord = 3021,
  kItemNotFound = 3265,
  kObjectClosed = 3704,
  /// What a database provider reports for its own failures (0x80004005);
  /// the description carries the driver's text.
  kDatabaseError = -2147467259,
};

/// One row of the error table: a number and the text it stands for when no
/// more precise description is at hand.
struct ErrorInfo {
  ErrorNumber number;
  const char* text;
};

/// Every error number the program raises, in ascending order.
std::span<const ErrorInfo> errorTable();

/// The standard text of `number`; "Application-defined or object-defined
/// error" for a number the table does not hold.
QString standardErrorText(int number);

/// The one error type of the program: a number and a description. Procedures
/// either let it travel or trap it where they say so.
class Error : public std::exception {
 public:
  Error(int number, QString description);
  /// An error whose description is the number's standard text.
  explicit Error(ErrorNumber number);

  int number() const { return m_number; }
  const QString& description() const { return m_description; }
  const char* what() const noexcept override { return m_what.c_str(); }

  static Error overflow() { return Error(kOverflow); }
  static Error typeMismatch() { return Error(kTypeMismatch); }
  static Error invalidUseOfNull() { return Error(kInvalidUseOfNull); }
  static Error fileNotFound() { return Error(kFileNotFound); }

 private:
  int m_number;
  QString m_description;
  std::string m_what;
};

}  // namespace corvex
