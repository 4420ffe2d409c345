// Input and output files of the command line.
#include "tools/fieldrestore/file_access.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/profile_file.h"

namespace {

namespace fs = std::filesystem;

std::string Reason(int error) { return std::error_code(error, std::generic_category()).message(); }

bool Fail(std::string* error, const std::string& path, const std::string& reason) {
  *error = path + ": " + reason;
  return false;
}

// What a path that is not a regular file is, in words.
std::string NotRegular(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory:
      return "is a directory";
    case fs::file_type::character:
    case fs::file_type::block:
      return "is a device, not a regular file";
    case fs::file_type::fifo:
      return "is a pipe, not a regular file";
    case fs::file_type::socket:
      return "is a socket, not a regular file";
    default:
      return "is not a regular file";
  }
}

}  // namespace

bool OpenInputFile(const std::string& path, std::ifstream* file, uint64_t* size,
                   std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) return Fail(error, path, ec.message());
  if (fs::is_directory(status)) return Fail(error, path, "is a directory");
  if (!fs::is_regular_file(status)) {
    return Fail(error, path, NotRegular(status.type()) + " and not seekable: use - for pipes");
  }
  errno = 0;
  file->open(path, std::ios::binary);
  if (!*file) return Fail(error, path, Reason(errno ? errno : EIO));
  *size = fs::file_size(path, ec);
  if (ec) return Fail(error, path, ec.message());
  return true;
}

bool ResolveOutputPath(const std::string& path, std::string* target, std::string* error,
                       bool* stream) {
  if (stream) *stream = false;
  if (platform::IsDeviceName(path)) {
    // NUL and the like on Windows: taken as a device where one is.
    if (!stream) return Fail(error, path, NotRegular(fs::file_type::character));
    *stream = true;
    *target = path;
    return true;
  }
  fs::path current = path;
  std::error_code ec;
  // Each link is followed by hand, so that a link to a name that does not
  // exist yet leads to that name.
  for (int links = 0;; ++links) {
    const fs::file_status status = fs::symlink_status(current, ec);
    if (ec && status.type() != fs::file_type::not_found) return Fail(error, path, ec.message());
    if (status.type() == fs::file_type::not_found || fs::is_regular_file(status)) break;
    if (stream && (fs::is_character_file(status) || fs::is_fifo(status) || fs::is_socket(status))) {
      *stream = true;
      break;
    }
    if (!fs::is_symlink(status)) return Fail(error, path, NotRegular(status.type()));
    if (links == 40) return Fail(error, path, Reason(ELOOP));
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) return Fail(error, path, ec.message());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  *target = current.string();
  return true;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

bool FrameFits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= 0x7FFFFFFF / 4 && height <= 0x7FFFFFFF / (4 * width);
}

std::string FrameTooLarge(int64_t width, int64_t height) {
  return "a " + std::to_string(width) + "x" + std::to_string(height) +
         " frame does not fit in memory (4 x width x height must stay below 2 GiB)";
}

OutputFile::~OutputFile() {
  if (temp_.empty()) return;
  stream_.close();
  platform::RemoveFile(temp_.c_str());
}

bool OutputFile::Open(const std::string& path, std::string* error, bool streams_ok) {
  path_ = path;
  bool stream = false;
  if (!ResolveOutputPath(path, &target_, error, streams_ok ? &stream : nullptr)) return false;
  errno = 0;
  if (stream) {
    stream_.open(target_, std::ios::binary);
    if (!stream_) return Fail(error, path, Reason(errno ? errno : EIO));
    return true;
  }
  temp_ = platform::CreateTempFileBeside(target_.c_str());
  if (temp_.empty()) {
    return Fail(error, path,
                Reason(errno ? errno : EACCES) + " (cannot create a file in its folder)");
  }
  stream_.open(temp_, std::ios::binary | std::ios::trunc);
  if (!stream_) return Fail(error, path, Reason(errno ? errno : EIO));
  return true;
}

bool OutputFile::Commit(std::string* error) {
  errno = 0;
  stream_.close();
  if (!stream_) return Fail(error, path_, Reason(errno ? errno : EIO));
  if (temp_.empty()) return true;  // written straight through
  errno = 0;
  if (!platform::ReplaceFileWith(temp_.c_str(), target_.c_str())) {
    return Fail(error, path_, Reason(errno ? errno : EACCES));
  }
  temp_.clear();
  return true;
}
