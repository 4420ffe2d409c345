// The kept rows of the interpolation kernels, shared by every form: row 0
// of the destination from source row 1, and every odd row copied unless the
// kernel works in place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace field_rows {
// Internal to each file that includes it: the ISA files compile it with
// their own instruction sets.
namespace {

template <void (*copy_row)(uint8_t*, const uint8_t*, uint32_t)>
void CopyKeptRows(uint8_t* dst, const uint8_t* src, uint32_t w, uint32_t h) {
  copy_row(dst, src + w, w);
  if (dst == src) return;
  for (uint32_t r = 1; r < h; r += 2)
    copy_row(dst + static_cast<size_t>(r) * w, src + static_cast<size_t>(r) * w, w);
}

}  // namespace
}  // namespace field_rows
