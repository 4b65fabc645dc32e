#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

namespace corvex::test {

/// One finished run of the real program.
struct ProgramRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

/// A build of the real program: this build's, or the Windows build's
/// corvex.exe run by Wine.
struct Program {
  QString path;
  /// The Wine loader; empty for a program of this system.
  QString wine;
};

/// This build's program (build/corvex).
Program thisBuild();

/// The Windows build's corvex.exe when `make test-windows` names it
/// (CORVEX_WINDOWS_PROGRAM, CORVEX_WINE, and a WINEPREFIX of its own).
std::optional<Program> windowsBuild();

/// Starts `program` with `arguments` in `environment`; under Wine with
/// WINEDEBUG=-all unless the environment says otherwise.
void startProgram(QProcess& process, const Program& program, const QStringList& arguments,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

/// Caps the address space of the program `process` starts next at 3 GiB:
/// far above what a run needs (a few hundred MB), far below what reading a
/// huge input whole or following a link to an endless device would take,
/// so such a run fails instead of taking the machine. No cap
/// under the address sanitizer, which reserves terabytes for itself, nor on
/// Windows.
void capAddressSpace(QProcess& process);

/// Runs `program` with `arguments` in `environment` and waits at most
/// `timeoutMs`; a run that has not ended by then is killed and reported with
/// exit code -1.
ProgramRun runProgram(const Program& program, const QStringList& arguments, int timeoutMs = 60000,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

/// runProgram() of this build's program.
ProgramRun runProgram(const QStringList& arguments, int timeoutMs = 60000,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace corvex::test
