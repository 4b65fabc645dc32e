#include "support/scoped_env.h"

#include <QtGlobal>

namespace corvex::test {

ScopedEnv::ScopedEnv(const char* name, const QString& value)
    : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
  qputenv(name, value.toLocal8Bit());
}

ScopedEnv::~ScopedEnv() {
  if (m_had)
    qputenv(m_name, m_old);
  else
    qunsetenv(m_name);
}

}  // namespace corvex::test
