// Profile files on POSIX: our own reader and writer, and the temporary file
// plus rename(2) that replaces a file in one step.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/profile_file.h"

namespace platform {

const ProfileFiles& SystemProfileFiles() { return PortableProfileFiles(); }

bool IsDeviceName(const std::string&) { return false; }

std::string CreateTempFileBeside(const char* path) {
  if (!path || !*path) return {};
  const std::filesystem::path target(path);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string hidden_name(".");
  hidden_name += target.filename().string();
  hidden_name += ".XXXXXX";
  const std::string pattern = (folder / hidden_name).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return {};
  // mkstemp makes the file private; the saved file keeps the permissions of
  // the file it replaces, or gets those of any newly created file.
  struct stat existing;
  mode_t mode;
  if (stat(path, &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  const bool ok = fchmod(fd, mode) == 0;
  close(fd);
  if (!ok) {
    unlink(name.data());
    return {};
  }
  return name.data();
}

bool ReplaceFileWith(const char* temp_path, const char* path) {
  if (!temp_path || !path) return false;
  // A file that may not be written is not replaced either, as on Windows.
  if (access(path, F_OK) == 0 && access(path, W_OK) != 0) return false;
  // The data reaches the disk before the name does, so that a crash leaves
  // either the old file or the complete new one.
  const int fd = open(temp_path, O_RDONLY);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced && rename(temp_path, path) == 0;
}

void RemoveFile(const char* path) noexcept {
  if (path) unlink(path);
}

}  // namespace platform
