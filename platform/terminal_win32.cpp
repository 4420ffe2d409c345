// Terminal detection on Windows: a console handle.
#include <windows.h>

#include "platform/terminal.h"

namespace platform {
bool StderrIsTerminal() noexcept {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
}  // namespace platform
