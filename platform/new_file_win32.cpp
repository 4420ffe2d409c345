// New files on Windows: a file beside the destination (GetTempFileName),
// marked for deletion while it is written through its handle so that the
// system removes it however the process ends, unmarked and moved in place
// (MoveFileEx) once complete.
#include <windows.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/new_file.h"
#include "platform/system.h"

namespace platform {
namespace {

bool g_named_for_testing = false;

// The names of new files that Ctrl+C and the like remove: those that
// could not be marked for deletion.
constexpr int kNameSlots = 16;
std::string g_names[kNameSlots];
bool g_used[kNameSlots] = {};
std::mutex g_names_mutex;

int Remember(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_names_mutex);
  for (int i = 0; i < kNameSlots; ++i) {
    if (g_used[i]) continue;
    g_names[i] = path;
    g_used[i] = true;
    return i;
  }
  return -1;
}

void Forget(int* slot) {
  if (*slot < 0) return;
  std::lock_guard<std::mutex> lock(g_names_mutex);
  g_used[*slot] = false;
  *slot = -1;
}

BOOL WINAPI RemoveNamesOnInterrupt(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    std::lock_guard<std::mutex> lock(g_names_mutex);
    for (int i = 0; i < kNameSlots; ++i) {
      if (g_used[i]) DeleteFileA(g_names[i].c_str());
    }
  }
  return FALSE;  // the system's own handling ends the process
}

// SetFileInformationByHandle (Windows Vista and later), looked up so that
// the plug-in still loads where it is missing.
using SetInformation = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
SetInformation SetFileInformation() {
  static const SetInformation function = reinterpret_cast<SetInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle")));
  return function;
}

// Marks the open file for deletion when its last handle closes, or takes
// the mark back.
bool MarkForDeletion(HANDLE file, bool marked) {
  const SetInformation set = SetFileInformation();
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked ? TRUE : FALSE)};
  return set && set(file, FileDispositionInfo, &disposition, sizeof disposition);
}

std::string FolderOf(const std::string& target) {
  const size_t slash = target.find_last_of("\\/");
  // The folder keeps its separator only where it is a root ("\\", "c:\\").
  const size_t keep = slash == 0 || (slash == 2 && target[1] == ':') ? slash + 1 : slash;
  return slash == std::string::npos ? std::string(1, '.') : target.substr(0, keep);
}

}  // namespace

void NewFile::SetNamedFilesForTesting(bool named) { g_named_for_testing = named; }

NewFile::~NewFile() { Discard(); }

bool NewFile::Fail(std::string* reason, int error) {
  error_ = error;
  if (reason) *reason = SystemErrorText(static_cast<uint32_t>(error));
  return false;
}

bool NewFile::Create(const std::string& destination, std::string* reason) {
  Discard();
  destination_ = destination;
  char name[MAX_PATH];
  if (GetTempFileNameA(FolderOf(destination).c_str(), "frr", 0, name) == 0) {
    return Fail(reason, static_cast<int>(GetLastError()));
  }
  name_ = name;
  const HANDLE file = CreateFileA(name, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Discard();
    return Fail(reason, static_cast<int>(error));
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  // Where the mark cannot be set, Ctrl+C still removes the file by name.
  vanishes_ = !g_named_for_testing && MarkForDeletion(file, true);
  if (!vanishes_) slot_ = Remember(name_);
  return true;
}

bool NewFile::Write(const void* data, size_t size, std::string* reason) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(size < (DWORD{1} << 30) ? size : DWORD{1} << 30);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes, chunk, &written, nullptr)) {
      return Fail(reason, static_cast<int>(GetLastError()));
    }
    bytes += written;
    size -= written;
  }
  return true;
}

bool NewFile::Commit(std::string* reason) {
  const HANDLE file = reinterpret_cast<HANDLE>(handle_);
  // The data reaches the disk before the name does, so that a crash leaves
  // either the old file or the complete new one.
  DWORD error = 0;
  if (file == INVALID_HANDLE_VALUE || !FlushFileBuffers(file) ||
      (vanishes_ && !MarkForDeletion(file, false))) {
    error = GetLastError();
  }
  if (!error) {
    vanishes_ = false;
    CloseHandle(file);
    handle_ = -1;
    if (MoveFileExA(name_.c_str(), destination_.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Forget(&slot_);
      name_.clear();
      return true;
    }
    error = GetLastError();
  }
  Discard();
  return Fail(reason, static_cast<int>(error));
}

void NewFile::Discard() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  // A file marked for deletion went with its handle.
  if (!vanishes_ && !name_.empty()) DeleteFileA(name_.c_str());
  Forget(&slot_);
  name_.clear();
  vanishes_ = false;
}

void RemoveNewFilesOnInterrupt() { SetConsoleCtrlHandler(RemoveNamesOnInterrupt, TRUE); }

}  // namespace platform
