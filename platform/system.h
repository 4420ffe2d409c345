// Small operating-system services: global memory blocks, the message box,
// the alert sound, the thread's last-error value and the system's words for
// an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A zero-filled block that stays at one address until freed (on Windows a
// movable global-memory block, locked). Null when it cannot be had.
void* AllocateGlobalBlock(size_t size) noexcept;
// Releases a block from AllocateGlobalBlock; null is ignored.
void FreeGlobalBlock(void* block) noexcept;
// Tests make every AllocateGlobalBlock fail until this is called with false.
void SetGlobalBlockFailureForTesting(bool fail) noexcept;

// A plain OK message box owned by the window that has the keyboard focus.
// On POSIX the text goes to standard error.
void ShowMessageBox(const char* text, const char* caption) noexcept;

// Tests replace the message box (which would wait for a click) with a
// recorder; pass null to restore the real one.
using MessageBoxHook = void (*)(const char* text, const char* caption);
void SetMessageBoxHookForTesting(MessageBoxHook hook) noexcept;

// The system's exclamation sound (MessageBeep 0x30); a bell on a POSIX terminal.
void PlayAlertSound() noexcept;
// Tests count the sounds instead; pass null to restore the real one.
using AlertSoundHook = void (*)();
void SetAlertSoundHookForTesting(AlertSoundHook hook) noexcept;

void SetLastErrorCode(uint32_t code) noexcept;
uint32_t GetLastErrorCode() noexcept;

// The system's description of an error code (errno on POSIX, GetLastError
// on Windows), without a final full stop.
std::string SystemErrorText(uint32_t code);

// Why the C runtime's last file operation failed, in the system's words:
// on Windows the system's own error where the runtime kept it (its errno
// folds a full disk or a closed pipe into "Invalid argument"). `fallback`
// (an errno value) when nothing was recorded since ClearRuntimeError.
void ClearRuntimeError() noexcept;
std::string RuntimeErrorText(int fallback);

}  // namespace platform
