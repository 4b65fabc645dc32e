// hold_file PATH (Windows): opens PATH, creating it if need be, sharing
// nothing with anyone, as a virus scanner or a backup program does; writes
// "held" on its output once it holds the file and lets go when its input
// ends. The platform table holds a document's file with it.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: hold_file PATH\n", stderr);
    return 64;
  }
  HANDLE file =
      ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s: error %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
  }
  ::CloseHandle(file);
  return 0;
}
