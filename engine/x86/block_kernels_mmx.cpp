// MMX forms of the block kernels: bytes widened to 16 bits, differences
// squared and pair-summed into 32-bit lanes (pmaddwd), EMMS before return.
#include <mmintrin.h>

#include <cstring>

#include "engine/block_kernels.h"
#include "engine/block_search.h"
#include "platform/mmx.h"

namespace {

using mmx::Load8;
using mmx::Store8;

// Squared differences of 8 samples, summed pairwise into two 32-bit lanes.
inline __m64 SquaredDiff8(const uint8_t* a, const uint8_t* b, __m64 zero) {
  const __m64 va = Load8(a), vb = Load8(b);
  const __m64 dlo = _mm_sub_pi16(_mm_unpacklo_pi8(va, zero), _mm_unpacklo_pi8(vb, zero));
  const __m64 dhi = _mm_sub_pi16(_mm_unpackhi_pi8(va, zero), _mm_unpackhi_pi8(vb, zero));
  return _mm_add_pi32(_mm_madd_pi16(dlo, dlo), _mm_madd_pi16(dhi, dhi));
}

inline uint32_t HorizontalSum(__m64 v) {
  return static_cast<uint32_t>(_mm_cvtsi64_si32(v)) +
         static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(v, 32)));
}

template <int Width, int Rows>
uint32_t BlockDistanceMmx(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                          int32_t stride) {
  const __m64 zero = _mm_setzero_si64();
  __m64 acc = zero;
  uint32_t sum = 0;
  for (int row = 0; row < Rows; ++row) {
    acc = _mm_add_pi32(acc, SquaredDiff8(candidate, reference, zero));
    if (Width == 16) acc = _mm_add_pi32(acc, SquaredDiff8(candidate + 8, reference + 8, zero));
    sum = HorizontalSum(acc);
    if (sum >= best) break;
    candidate += stride;
    reference += stride;
  }
  _mm_empty();
  return sum;
}

void ReduceLumaMmx(uint8_t* out, const uint8_t* luma, uint32_t w, uint32_t h) {
  const __m64 even_bytes = _mm_set1_pi16(0x00FF);
  const uint32_t out_w = w / 2;
  for (uint32_t y = 0; y < h / 4; ++y) {
    const uint8_t* row = luma + static_cast<size_t>(4 * y) * w;
    uint8_t* dst = out + static_cast<size_t>(y) * out_w;
    uint32_t x = 0;
    for (; x + 8 <= out_w; x += 8) {
      const __m64 lo = _mm_and_si64(Load8(row + 2 * x), even_bytes);
      const __m64 hi = _mm_and_si64(Load8(row + 2 * x + 8), even_bytes);
      Store8(dst + x, _mm_packs_pu16(lo, hi));
    }
    for (; x < out_w; ++x) dst[x] = row[2 * x];
  }
  _mm_empty();
}

void ReplaceSamples16x8Mmx(uint8_t* dst, const uint8_t* patch, uint32_t limit, int32_t stride) {
  if (limit == 0) return;  // no difference is below 0
  const bool serial = block_search::NeedsInOrder(dst, patch, 8);
  const uint8_t below = block_search::LargestTaken(limit);
  const __m64 max_diff = _mm_set1_pi8(static_cast<char>(below));
  const __m64 zero = _mm_setzero_si64();
  for (int m = 0; m < 8; ++m) {
    uint8_t* a = dst + static_cast<ptrdiff_t>(m) * stride;
    const uint8_t* b = patch + static_cast<ptrdiff_t>(m) * stride;
    if (serial) {
      block_search::ReplaceRowInOrder(a, b, limit);
      continue;
    }
    for (int c = 0; c < 16; c += 8) {
      const __m64 va = Load8(a + c), vb = Load8(b + c);
      const __m64 diff = _mm_or_si64(_mm_subs_pu8(va, vb), _mm_subs_pu8(vb, va));
      // diff < limit  <=>  diff <= limit - 1  <=>  saturating (diff - (limit - 1)) == 0
      const __m64 take = _mm_cmpeq_pi8(_mm_subs_pu8(diff, max_diff), zero);
      Store8(a + c, _mm_or_si64(_mm_and_si64(take, vb), _mm_andnot_si64(take, va)));
    }
  }
  _mm_empty();
}

}  // namespace

void block_kernels_detail::InitMmx(BlockKernels& k) {
  k.distance_8x4 = &BlockDistanceMmx<8, 4>;
  k.distance_16x8 = &BlockDistanceMmx<16, 8>;
  k.reduce_luma = &ReduceLumaMmx;
  k.replace_samples_16x8 = &ReplaceSamples16x8Mmx;
  k.search_row_8x4 = &block_search::SearchRow<&BlockDistanceMmx<8, 4>>;
  k.search_row_16x8 = &block_search::SearchRow<&BlockDistanceMmx<16, 8>>;
}
