// Whether standard error is an interactive terminal (for progress lines).
#pragma once

namespace platform {
bool StderrIsTerminal() noexcept;
}
