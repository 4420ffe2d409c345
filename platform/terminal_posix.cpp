// Terminal detection on POSIX.
#include <unistd.h>

#include "platform/terminal.h"

namespace platform {
bool StderrIsTerminal() noexcept { return isatty(STDERR_FILENO) != 0; }
}  // namespace platform
