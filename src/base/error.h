#pragma once

#include <QString>

#include <exception>
#include <string>

namespace corvex {

/// The run-time error numbers that logs, dialogs and callers rely on.
enum ErrorNumber : int {
  kOverflow = 6,
  kTypeMismatch = 13,
  kFileNotFound = 53,
  kBadFileName = 52,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kNoCurrentRecord = 3021,
  kItemNotFound = 3265,
  kObjectClosed = 3704,
  /// What a database provider reports for its own failures (0x80004005);
  /// the description carries the driver's text.
  kDatabaseError = -2147467259,
};

/// The one error type of the program: a number and a description. Procedures
/// either let it travel or trap it where they say so.
class Error : public std::exception {
 public:
  Error(int number, QString description);

  int number() const { return m_number; }
  const QString& description() const { return m_description; }
  const char* what() const noexcept override { return m_what.c_str(); }

  static Error overflow();
  static Error typeMismatch();
  static Error invalidUseOfNull();
  static Error fileNotFound();

 private:
  int m_number;
  QString m_description;
  std::string m_what;
};

}  // namespace corvex
