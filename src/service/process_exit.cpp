#include "service/process_exit.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace corvex {

void endProcess(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
#ifdef Q_OS_WIN
  // exit() would run every DLL's detach code after Windows has ended the
  // threads Qt still keeps; the C++ runtime's detach then waits, now and then
  // for ever, on a lock one of those threads held. Nothing of Corvex's own is
  // open any more, so the process ends without that step.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
  std::exit(status);
}

}  // namespace corvex
