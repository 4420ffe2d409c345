// What every form of the block kernels shares: the scan of one row of a
// search window (each form instantiates it with its own distance, which the
// compiler inlines, so a window row costs one call instead of one a
// candidate) and the in-order replacement of one row of samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace block_search {
// Internal to each file that includes it: the ISA files compile these with
// their own instruction sets, and one shared out-of-line copy could run
// SSE2 or AVX2 code on a processor without them.
namespace {

using Distance = uint32_t (*)(const uint8_t*, const uint8_t*, uint32_t, int32_t);

// Candidates at candidates + i for i = 0 .. count - 1, in order: one whose
// distance (with the running best as its early exit) is below *best
// becomes the best, *best_index = i.
template <Distance distance>
void SearchRow(const uint8_t* candidates, int32_t count, const uint8_t* reference, int32_t stride,
               uint32_t* best, int32_t* best_index) {
  uint32_t b = *best;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t d = distance(candidates + i, reference, b, stride);
    if (d < b) {
      b = d;
      *best_index = i;
    }
  }
  *best = b;
}

// One row of 16 samples of the per-sample replacement, sample after sample:
// a takes b's value where |a - b| < limit (unsigned). The SIMD forms use it
// where the patch overlaps the row a few samples behind.
inline void ReplaceRowInOrder(uint8_t* a, const uint8_t* b, uint32_t limit) {
  for (int c = 0; c < 16; ++c) {
    const uint32_t diff = a[c] > b[c] ? a[c] - b[c] : b[c] - a[c];
    if (diff < limit) a[c] = b[c];
  }
}

// Whether the SIMD forms, which compare `step` samples at once, must go
// sample by sample: a patch less than `step` samples left of the block in
// the same row reads samples written earlier in that row.
inline bool NeedsInOrder(const uint8_t* dst, const uint8_t* patch, ptrdiff_t step) {
  const ptrdiff_t behind = dst - patch;
  return behind > 0 && behind < step;
}

// The largest difference taken (diff < limit <=> diff <= limit - 1), as a
// byte; limit is not 0.
inline uint8_t LargestTaken(uint32_t limit) {
  return static_cast<uint8_t>(limit > 256 ? 255 : limit - 1);
}

}  // namespace
}  // namespace block_search
