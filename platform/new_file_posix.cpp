// New files on POSIX: O_TMPFILE in the destination's folder where the file
// system offers it (a file without a name, linked in place when complete),
// a hidden file beside the destination otherwise.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/new_file.h"

namespace platform {
namespace {

std::atomic<bool> g_named_for_testing{false};

// The names of new files an interrupt removes, in slots that a signal
// handler reads without a lock: a slot's name is complete before it is
// marked used.
struct NameSlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
constexpr int kNameSlots = 16;
NameSlot g_names[kNameSlots];
std::mutex g_names_mutex;  // between threads that take and free slots

int Remember(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  std::lock_guard<std::mutex> lock(g_names_mutex);
  for (int i = 0; i < kNameSlots; ++i) {
    if (g_names[i].used.load(std::memory_order_relaxed)) continue;
    path.copy(g_names[i].path, path.size());
    g_names[i].path[path.size()] = '\0';
    g_names[i].used.store(true, std::memory_order_release);
    return i;
  }
  return -1;  // not removed on an interrupt, but written all the same
}

void Forget(int* slot) {
  if (*slot < 0) return;
  std::lock_guard<std::mutex> lock(g_names_mutex);
  g_names[*slot].used.store(false, std::memory_order_release);
  *slot = -1;
}

extern "C" void RemoveNamesAndEnd(int signal_number) {
  const int saved = errno;
  for (NameSlot& slot : g_names) {
    if (slot.used.load(std::memory_order_acquire)) unlink(slot.path);
  }
  errno = saved;
  // Ends the process as the signal would have.
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(signal_number, &plain, nullptr);
  raise(signal_number);
}

std::string Reason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// A hidden name beside `path` that no file has yet: ".NAME.XXXXXX".
std::string HiddenName(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path target(path);
  char suffix[32];
  std::snprintf(
      suffix, sizeof suffix, ".%06x",
      (static_cast<unsigned>(getpid()) * 2654435761u + counter++ * 40503u + attempt) & 0xFFFFFFu);
  std::string name(".");
  name += target.filename().string();
  name += suffix;
  return (std::filesystem::path(FolderOf(path)) / name).string();
}

// The permissions the new file gets: those of the file it replaces, or
// those of any newly created file.
mode_t ModeFor(const std::string& destination) {
  struct stat existing;
  if (stat(destination.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

void NewFile::SetNamedFilesForTesting(bool named) { g_named_for_testing = named; }

NewFile::~NewFile() { Discard(); }

bool NewFile::Fail(std::string* reason, int error) {
  error_ = error;
  if (reason) *reason = Reason(error);
  return false;
}

bool NewFile::Create(const std::string& destination, std::string* reason) {
  Discard();
  destination_ = destination;
  const std::string folder = FolderOf(destination);
  const mode_t mode = ModeFor(destination);
  int fd = -1;
  if (!g_named_for_testing) {
    fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // Linking it in place later goes through /proc, which must be there.
    if (fd >= 0 && access(ProcPath(fd).c_str(), F_OK) != 0) {
      close(fd);
      fd = -1;
      errno = EOPNOTSUPP;
    }
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return Fail(reason, errno);  // the folder itself: missing, read-only, full
    }
  }
  vanishes_ = fd >= 0;
  if (!vanishes_) {
    std::string hidden(".");
    hidden += std::filesystem::path(destination).filename().string();
    hidden += ".XXXXXX";
    const std::string pattern = (std::filesystem::path(folder) / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return Fail(reason, errno);
    name_ = name.data();
    slot_ = Remember(name_);
  }
  handle_ = fd;
  if (fchmod(fd, mode) != 0) {
    const int error = errno;
    Discard();
    return Fail(reason, error);
  }
  return true;
}

bool NewFile::Write(const void* data, size_t size, std::string* reason) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t written = write(static_cast<int>(handle_), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return Fail(reason, errno);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool NewFile::Commit(std::string* reason) {
  const int fd = static_cast<int>(handle_);
  const char* destination = destination_.c_str();
  // The data reaches the disk before the name does, so that a crash leaves
  // either the old file or the complete new one.
  if (fsync(fd) != 0) {
    const int error = errno;
    Discard();
    return Fail(reason, error);
  }
  // A file that may not be written is not replaced either, as on Windows.
  if (access(destination, F_OK) == 0 && access(destination, W_OK) != 0) {
    const int error = errno;
    Discard();
    return Fail(reason, error);
  }
  int error = 0;
  if (vanishes_) {
    const std::string proc = ProcPath(fd);
    if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, destination, AT_SYMLINK_FOLLOW) != 0) {
      error = errno;
      // A file is there: the new one gets a hidden name first and then
      // takes the destination's in one step.
      for (unsigned attempt = 0; error == EEXIST && attempt < 100; ++attempt) {
        const std::string hidden = HiddenName(destination_, attempt);
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) != 0) {
          error = errno;
          continue;
        }
        int slot = Remember(hidden);
        error = rename(hidden.c_str(), destination) == 0 ? 0 : errno;
        if (error) unlink(hidden.c_str());
        Forget(&slot);
        if (error == EEXIST) error = EIO;  // rename never says so; stop trying
      }
    }
  } else if (rename(name_.c_str(), destination) != 0) {
    error = errno;
  } else {
    Forget(&slot_);
    name_.clear();
  }
  Discard();
  if (error) return Fail(reason, error);
  // The new name on the disk too.
  const int folder = open(FolderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

void NewFile::Discard() {
  if (!name_.empty()) unlink(name_.c_str());
  Forget(&slot_);
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  name_.clear();
  vanishes_ = false;
}

void RemoveNewFilesOnInterrupt() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
      continue;  // nohup and the like
    }
    struct sigaction remove {};
    remove.sa_handler = RemoveNamesAndEnd;
    sigemptyset(&remove.sa_mask);
    sigaction(signal_number, &remove, nullptr);
  }
}

}  // namespace platform
