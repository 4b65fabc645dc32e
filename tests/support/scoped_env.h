#pragma once

#include <QByteArray>
#include <QString>

namespace corvex::test {

/// Sets an environment variable for the life of the object and restores what
/// was there before (or its absence) when it goes.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QString& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  QByteArray m_old;
  bool m_had;
};

}  // namespace corvex::test
