// Operating-system services on Windows.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/system.h"

namespace platform {
namespace {
MessageBoxHook g_message_box_hook = nullptr;
bool g_global_block_fails = false;
}  // namespace

void* AllocateGlobalBlock(size_t size) noexcept {
  if (g_global_block_fails) return nullptr;
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!handle) return nullptr;
  void* block = GlobalLock(handle);
  if (!block) GlobalFree(handle);
  return block;
}

void SetGlobalBlockFailureForTesting(bool fail) noexcept { g_global_block_fails = fail; }

void FreeGlobalBlock(void* block) noexcept {
  if (!block) return;
  HGLOBAL handle = GlobalHandle(block);
  if (!handle) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
}

void ShowMessageBox(const char* text, const char* caption) noexcept {
  if (g_message_box_hook) {
    g_message_box_hook(text, caption);
    return;
  }
  MessageBoxA(GetFocus(), text, caption, MB_OK);
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) noexcept { g_message_box_hook = hook; }

namespace {
AlertSoundHook g_alert_sound_hook = nullptr;
}

void PlayAlertSound() noexcept {
  if (g_alert_sound_hook) {
    g_alert_sound_hook();
    return;
  }
  MessageBeep(MB_ICONEXCLAMATION);
}

void SetAlertSoundHookForTesting(AlertSoundHook hook) noexcept { g_alert_sound_hook = hook; }

void SetLastErrorCode(uint32_t code) noexcept { SetLastError(code); }
uint32_t GetLastErrorCode() noexcept { return GetLastError(); }

std::string SystemErrorText(uint32_t code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason.empty() ? "error " + std::to_string(code) : reason;
}

void ClearRuntimeError() noexcept {
  errno = 0;
  _doserrno = 0;
}

std::string RuntimeErrorText(int fallback) {
  if (_doserrno != 0) return SystemErrorText(static_cast<uint32_t>(_doserrno));
  return std::error_code(errno ? errno : fallback, std::generic_category()).message();
}

}  // namespace platform
