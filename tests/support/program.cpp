#include "support/program.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace corvex::test {

Program thisBuild() { return {QStringLiteral(CORVEX_BINARY), QString()}; }

std::optional<Program> windowsBuild() {
  const QString path = qEnvironmentVariable("CORVEX_WINDOWS_PROGRAM");
  if (path.isEmpty()) return std::nullopt;
  return Program{path, qEnvironmentVariable("CORVEX_WINE", QStringLiteral("wine"))};
}

void startProgram(QProcess& process, const Program& program, const QStringList& arguments,
                  const QProcessEnvironment& environment) {
  QProcessEnvironment shown = environment;
  if (program.wine.isEmpty()) {
    process.setProcessEnvironment(shown);
    process.start(program.path, arguments);
    return;
  }
  if (!shown.contains(QStringLiteral("WINEDEBUG"))) shown.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
  process.setProcessEnvironment(shown);
  process.start(program.wine, QStringList{program.path} + arguments);
}

ProgramRun runProgram(const Program& program, const QStringList& arguments, int timeoutMs,
                      const QProcessEnvironment& environment) {
  QProcess process;
  startProgram(process, program, arguments, environment);
  ProgramRun run;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished(5000);
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  return run;
}

ProgramRun runProgram(const QStringList& arguments, int timeoutMs, const QProcessEnvironment& environment) {
  return runProgram(thisBuild(), arguments, timeoutMs, environment);
}

void capAddressSpace(QProcess& process) {
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
  process.setChildProcessModifier([] {
    constexpr rlim_t kCap = rlim_t{3} << 30;
    const rlimit cap{kCap, kCap};
    setrlimit(RLIMIT_AS, &cap);
  });
#else
  Q_UNUSED(process);
#endif
}

}  // namespace corvex::test
