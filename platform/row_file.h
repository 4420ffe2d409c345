// A file of frames read at any position, by several threads at once, each
// frame's rows straight to where they belong in memory (the frames of a
// render, bottom row first, read with one call and no copy between).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// How many bytes of rows that do not lie one after another go out in one
// write: a few rows that stay in the processor's cache where a write costs
// little (POSIX), whole frames where each write costs much more (Windows,
// and Wine even more so).
size_t RowWriteBytes();

class RowFile {
 public:
  RowFile() = default;
  ~RowFile();
  RowFile(const RowFile&) = delete;
  RowFile& operator=(const RowFile&) = delete;

  // Opens the file for reading; false with the system's reason when it
  // cannot.
  bool Open(const std::string& path, std::string* reason);
  // Reads `count` rows of `row_bytes` bytes each, stored one after another
  // in the file from `offset` on, into first, first + stride, first + 2 x
  // stride, ... (a negative stride fills them upwards). Returns the bytes
  // read, fewer at the end of the file; -1 with the system's reason when
  // the file cannot be read.
  int64_t ReadRows(uint64_t offset, uint8_t* first, ptrdiff_t stride, size_t row_bytes,
                   uint32_t count, std::string* reason) const;

 private:
  intptr_t handle_ = -1;
};

}  // namespace platform
