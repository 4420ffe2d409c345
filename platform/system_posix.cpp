// Operating-system services on POSIX.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/system.h"

namespace platform {
namespace {
MessageBoxHook g_message_box_hook = nullptr;
thread_local uint32_t g_last_error = 0;
bool g_global_block_fails = false;
}  // namespace

void* AllocateGlobalBlock(size_t size) noexcept {
  if (g_global_block_fails) return nullptr;
  return std::calloc(1, size ? size : 1);
}

void SetGlobalBlockFailureForTesting(bool fail) noexcept { g_global_block_fails = fail; }

void FreeGlobalBlock(void* block) noexcept { std::free(block); }

void ShowMessageBox(const char* text, const char* caption) noexcept {
  if (g_message_box_hook) {
    g_message_box_hook(text, caption);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) noexcept { g_message_box_hook = hook; }

namespace {
AlertSoundHook g_alert_sound_hook = nullptr;
}

void SetAlertSoundHookForTesting(AlertSoundHook hook) noexcept { g_alert_sound_hook = hook; }

void PlayAlertSound() noexcept {
  if (g_alert_sound_hook) {
    g_alert_sound_hook();
    return;
  }
  if (isatty(STDERR_FILENO)) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
}

void SetLastErrorCode(uint32_t code) noexcept { g_last_error = code; }
uint32_t GetLastErrorCode() noexcept { return g_last_error; }

std::string SystemErrorText(uint32_t code) {
  return std::error_code(static_cast<int>(code), std::generic_category()).message();
}

void ClearRuntimeError() noexcept { errno = 0; }

std::string RuntimeErrorText(int fallback) {
  return SystemErrorText(static_cast<uint32_t>(errno ? errno : fallback));
}

}  // namespace platform
