// Portable reference of the block kernels.
#include "engine/block_kernels.h"
#include "engine/block_search.h"

namespace {

template <int Width, int Rows>
uint32_t BlockDistanceRef(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                          int32_t stride) {
  uint32_t sum = 0;
  for (int row = 0; row < Rows; ++row) {
    for (int c = 0; c < Width; ++c) {
      const int32_t d = static_cast<int32_t>(candidate[c]) - reference[c];
      sum += static_cast<uint32_t>(d * d);
    }
    if (sum >= best) return sum;
    candidate += stride;
    reference += stride;
  }
  return sum;
}

void ReduceLumaRef(uint8_t* out, const uint8_t* luma, uint32_t w, uint32_t h) {
  for (uint32_t y = 0; y < h / 4; ++y) {
    const uint8_t* row = luma + static_cast<size_t>(4 * y) * w;
    for (uint32_t x = 0; x < w / 2; ++x) out[static_cast<size_t>(y) * (w / 2) + x] = row[2 * x];
  }
}

void ReplaceSamples16x8Ref(uint8_t* dst, const uint8_t* patch, uint32_t limit, int32_t stride) {
  for (int m = 0; m < 8; ++m) {
    uint8_t* a = dst + static_cast<ptrdiff_t>(m) * stride;
    const uint8_t* b = patch + static_cast<ptrdiff_t>(m) * stride;
    block_search::ReplaceRowInOrder(a, b, limit);
  }
}

}  // namespace

namespace block_kernels_detail {
const BlockKernels kReference = {"c",
                                 0,
                                 &BlockDistanceRef<8, 4>,
                                 &BlockDistanceRef<16, 8>,
                                 &ReduceLumaRef,
                                 &ReplaceSamples16x8Ref,
                                 &block_search::SearchRow<&BlockDistanceRef<8, 4>>,
                                 &block_search::SearchRow<&BlockDistanceRef<16, 8>>};
}
