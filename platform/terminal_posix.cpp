// The standard streams on POSIX, which never translate bytes.
#include <unistd.h>

#include "platform/terminal.h"

namespace platform {
bool StderrIsTerminal() noexcept { return isatty(STDERR_FILENO) != 0; }
void SetBinaryStdio() noexcept {}
}  // namespace platform
