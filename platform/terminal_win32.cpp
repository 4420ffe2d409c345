// The standard streams on Windows: a console handle for the terminal test;
// the C runtime's text mode switched off for piped frames.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/terminal.h"

namespace platform {
bool StderrIsTerminal() noexcept {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void SetBinaryStdio() noexcept {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}
}  // namespace platform
