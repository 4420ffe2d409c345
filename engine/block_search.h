// The scan of one row of a search window, shared by every form of the
// block kernels: each form instantiates it with its own distance, which the
// compiler inlines, so a window row costs one call instead of one a
// candidate.
#pragma once

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

}  // namespace
}  // namespace block_search
