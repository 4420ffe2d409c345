// Windows: ReadFile at an explicit offset (no shared position, so threads
// may read at once) into a buffer of a few rows, copied to their places.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/row_file.h"
#include "platform/system.h"

namespace platform {
namespace {

std::string Reason(DWORD error) { return SystemErrorText(error); }

}  // namespace

size_t RowWriteBytes() { return size_t{1} << 30; }

RowFile::~RowFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool RowFile::Open(const std::string& path, std::string* reason) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *reason = Reason(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

int64_t RowFile::ReadRows(uint64_t offset, uint8_t* first, ptrdiff_t stride, size_t row_bytes,
                          uint32_t count, std::string* reason) const {
  const uint32_t step = static_cast<uint32_t>(std::max<size_t>(1, (size_t{256} << 10) / row_bytes));
  std::vector<uint8_t> buffer(std::min(step, count) * row_bytes);
  int64_t total = 0;
  for (uint32_t row = 0; row < count;) {
    const uint32_t n = std::min(step, count - row);
    OVERLAPPED at = {};
    const uint64_t position = offset + static_cast<uint64_t>(total);
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer.data(),
                  static_cast<DWORD>(n * row_bytes), &got, &at)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      *reason = Reason(error);
      return -1;
    }
    for (uint32_t i = 0; i < got / row_bytes; ++i) {
      std::memcpy(first + static_cast<ptrdiff_t>(row + i) * stride, buffer.data() + i * row_bytes,
                  row_bytes);
    }
    total += got;
    if (got < n * row_bytes) {
      // The end of the file inside these rows: what there is of the last
      // row goes to its place too.
      const uint32_t whole = got / static_cast<DWORD>(row_bytes);
      std::memcpy(first + static_cast<ptrdiff_t>(row + whole) * stride,
                  buffer.data() + whole * row_bytes, got - whole * row_bytes);
      break;
    }
    row += n;
  }
  return total;
}

}  // namespace platform
