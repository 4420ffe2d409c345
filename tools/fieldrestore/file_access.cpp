// Input and output files of the command line.
#include "tools/fieldrestore/file_access.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>
#include <vector>

#include "platform/profile_file.h"
#include "platform/system.h"

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

// What a name Windows keeps for a device does to a file of that name.
bool ReservedName(const std::string& path, std::string* error) {
  std::string device;
  if (platform::ClassifyDeviceName(path, &device) != platform::DeviceName::kReserved) return false;
  Fail(error, path,
       "Windows keeps the name " + device +
           " for a device, also with an extension or trailing dots or spaces, so no file can "
           "have this name; choose another");
  return true;
}

// The new file's stream buffer: bytes go out in large writes, and the
// first failure is kept with the system's reason.
class NewFileBuffer final : public std::streambuf {
 public:
  explicit NewFileBuffer(platform::NewFile& file) : file_(file), data_(size_t{256} << 10) {
    setp(data_.data(), data_.data() + data_.size());
  }
  const std::string& failure() const { return failure_; }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n < static_cast<std::streamsize>(data_.size())) return std::streambuf::xsputn(s, n);
    // Large pieces (frames) go out as they are.
    if (!Drain() || !file_.Write(s, static_cast<size_t>(n), &failure_)) return 0;
    return n;
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool Drain() {
    const size_t n = static_cast<size_t>(pptr() - pbase());
    setp(data_.data(), data_.data() + data_.size());
    return failure_.empty() && (n == 0 || file_.Write(data_.data(), n, &failure_));
  }

  platform::NewFile& file_;
  std::vector<char> data_;
  std::string failure_;
};

}  // namespace

bool OpenInputFile(const std::string& path, std::ifstream* file, uint64_t* size,
                   std::string* error) {
  if (ReservedName(path, error)) return false;
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
  if (ReservedName(path, error)) return false;
  if (platform::ClassifyDeviceName(path) == platform::DeviceName::kDevice) {
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

bool RefuseInputAsOutput(const std::string& input, const std::string& output, std::ostream& err) {
  if (input == "-" || output == "-" || !IsSameFile(input, output)) return false;
  err << "fieldrestore: " << output << " is the input file " << input
      << "; writing into it would destroy it before it is read\n";
  return true;
}

std::string WriteFailure(std::ostream& stream) {
  const auto* file = dynamic_cast<const NewFileBuffer*>(stream.rdbuf());
  if (file && !file->failure().empty()) return file->failure();
  return platform::RuntimeErrorText(EIO);
}

bool FrameFits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= 0x7FFFFFFF / 4 && height <= 0x7FFFFFFF / (4 * width);
}

std::string FrameTooLarge(int64_t width, int64_t height) {
  return "a " + std::to_string(width) + "x" + std::to_string(height) +
         " frame does not fit in memory (4 x width x height must stay below 2 GiB)";
}

OutputFile::OutputFile() : stream_(nullptr) {}

OutputFile::~OutputFile() { stream_.rdbuf(nullptr); }

bool OutputFile::Open(const std::string& path, std::string* error, bool streams_ok) {
  path_ = path;
  bool stream = false;
  if (!ResolveOutputPath(path, &target_, error, streams_ok ? &stream : nullptr)) return false;
  if (stream) {
    auto device = std::make_unique<std::filebuf>();
    platform::ClearRuntimeError();
    if (!device->open(target_, std::ios::out | std::ios::binary)) {
      return Fail(error, path, platform::RuntimeErrorText(EIO));
    }
    buffer_ = std::move(device);
  } else {
    const fs::path folder = fs::path(target_).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
      return Fail(error, path,
                  fs::exists(folder, ec) ? folder.string() + " is not a folder"
                                         : "the folder " + folder.string() + " does not exist");
    }
    std::string reason;
    if (!file_.Create(target_, &reason)) {
      return Fail(error, path, reason + " (cannot create a file in its folder)");
    }
    buffer_ = std::make_unique<NewFileBuffer>(file_);
  }
  stream_.rdbuf(buffer_.get());
  stream_.clear();
  return true;
}

bool OutputFile::Commit(std::string* error) {
  platform::ClearRuntimeError();
  stream_.flush();
  if (auto* device = dynamic_cast<std::filebuf*>(buffer_.get())) {
    if (!stream_ || !device->close()) {
      return Fail(error, "cannot write " + path_, WriteFailure(stream_));
    }
    return true;
  }
  if (!stream_) return Fail(error, "cannot write " + path_, WriteFailure(stream_));
  std::string reason;
  if (!file_.Commit(&reason)) return Fail(error, path_, reason);
  return true;
}
