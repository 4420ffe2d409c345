// Per-user locations on POSIX, following the XDG base directories:
// the store under $XDG_CONFIG_HOME, the log under $XDG_STATE_HOME.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/user_paths.h"

namespace platform {
namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return ".";
}

// $VARIABLE when it is set to an absolute path, else ~/fallback.
std::filesystem::path BaseDirectory(const char* variable, const char* fallback) {
  if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
  return std::filesystem::path(HomeDirectory()) / fallback;
}

}  // namespace

std::string StoreDatabasePath() {
  return (BaseDirectory("XDG_CONFIG_HOME", ".config") / "fieldrestore" / "registry.sqlite3")
      .string();
}

std::string StoreLocation() { return StoreDatabasePath(); }

std::string LogFilePath() {
  return (BaseDirectory("XDG_STATE_HOME", ".local/state") / "fieldrestore" / "pr_deint.txt")
      .string();
}

std::FILE* OpenLogForAppend() {
  std::filesystem::path path = LogFilePath();
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  return std::fopen(path.c_str(), "a");
}

}  // namespace platform
