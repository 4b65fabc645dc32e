#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

namespace corvex::test {

/// One finished run of the real program.
struct ProgramRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

/// Runs build/corvex with `arguments` in `environment` and waits at most
/// `timeoutMs`; a run that has not ended by then is killed and reported with
/// exit code -1.
ProgramRun runProgram(const QStringList& arguments, int timeoutMs = 60000,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace corvex::test
