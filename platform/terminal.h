// The command line's standard streams: whether standard error is an
// interactive terminal (for progress lines), and raw bytes on standard input
// and output (for frames piped from and to other programs).
#pragma once

namespace platform {
bool StderrIsTerminal() noexcept;
// Standard input and output pass bytes unchanged from now on (no CR LF
// translation, no end at a 0x1A byte); a no-op where they always do.
void SetBinaryStdio() noexcept;
}  // namespace platform
