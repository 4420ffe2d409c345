// POSIX: preadv with one vector entry a row, so the rows go from the page
// cache to their places in one copy, and several threads read one
// descriptor at once without a shared position.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

#include "platform/row_file.h"

namespace platform {
namespace {

std::string Reason(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

size_t RowWriteBytes() { return size_t{256} << 10; }

RowFile::~RowFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool RowFile::Open(const std::string& path, std::string* reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *reason = Reason(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

int64_t RowFile::ReadRows(uint64_t offset, uint8_t* first, ptrdiff_t stride, size_t row_bytes,
                          uint32_t count, std::string* reason) const {
#ifdef IOV_MAX
  constexpr uint32_t kRowsPerCall = IOV_MAX < 1024 ? IOV_MAX : 1024;
#else
  constexpr uint32_t kRowsPerCall = 16;
#endif
  std::vector<iovec> rows(std::min(count, kRowsPerCall));
  int64_t total = 0;
  uint32_t row = 0;
  size_t done_in_row = 0;  // bytes of `row` already read
  while (row < count) {
    // The rows (or what is left of them) that this call reads.
    const uint32_t n = std::min(count - row, kRowsPerCall);
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* at = first + static_cast<ptrdiff_t>(row + i) * stride;
      const size_t skip = i == 0 ? done_in_row : 0;
      rows[i] = iovec{at + skip, row_bytes - skip};
    }
    const ssize_t got = preadv(static_cast<int>(handle_), rows.data(), static_cast<int>(n),
                               static_cast<off_t>(offset + static_cast<uint64_t>(total)));
    if (got < 0) {
      if (errno == EINTR) continue;
      *reason = Reason(errno);
      return -1;
    }
    if (got == 0) break;  // the end of the file
    total += got;
    size_t left = static_cast<size_t>(got) + done_in_row;
    row += static_cast<uint32_t>(left / row_bytes);
    done_in_row = left % row_bytes;
  }
  return total;
}

}  // namespace platform
