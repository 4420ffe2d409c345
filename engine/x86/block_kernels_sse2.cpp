// SSE2 forms of the block kernels: a whole 16-sample row per register,
// squared differences pair-summed into 32-bit lanes (pmaddwd). Same results
// as the reference, bit for bit.
#include <emmintrin.h>

#include "engine/block_kernels.h"
#include "engine/block_search.h"

namespace {

inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

inline __m128i SquaredDiffs(__m128i a, __m128i b) {
  return _mm_madd_epi16(_mm_sub_epi16(a, b), _mm_sub_epi16(a, b));
}

inline uint32_t HorizontalSum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

uint32_t BlockDistance16x8Sse2(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                               int32_t stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i acc = zero;
  uint32_t sum = 0;
  for (int row = 0; row < 8; ++row) {
    const __m128i a = Load16(candidate), b = Load16(reference);
    acc = _mm_add_epi32(acc, SquaredDiffs(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
    acc = _mm_add_epi32(acc, SquaredDiffs(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
    sum = HorizontalSum(acc);
    if (sum >= best) break;
    candidate += stride;
    reference += stride;
  }
  return sum;
}

uint32_t BlockDistance8x4Sse2(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                              int32_t stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i acc = zero;
  uint32_t sum = 0;
  for (int row = 0; row < 4; ++row) {
    acc = _mm_add_epi32(acc, SquaredDiffs(_mm_unpacklo_epi8(Load8(candidate), zero),
                                          _mm_unpacklo_epi8(Load8(reference), zero)));
    sum = HorizontalSum(acc);
    if (sum >= best) break;
    candidate += stride;
    reference += stride;
  }
  return sum;
}

void ReduceLumaSse2(uint8_t* out, const uint8_t* luma, uint32_t w, uint32_t h) {
  const __m128i even_bytes = _mm_set1_epi16(0x00FF);
  const uint32_t out_w = w / 2;
  for (uint32_t y = 0; y < h / 4; ++y) {
    const uint8_t* row = luma + static_cast<size_t>(4 * y) * w;
    uint8_t* dst = out + static_cast<size_t>(y) * out_w;
    uint32_t x = 0;
    for (; x + 16 <= out_w; x += 16) {
      const __m128i lo = _mm_and_si128(Load16(row + 2 * x), even_bytes);
      const __m128i hi = _mm_and_si128(Load16(row + 2 * x + 16), even_bytes);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(lo, hi));
    }
    for (; x < out_w; ++x) dst[x] = row[2 * x];
  }
}

void ReplaceSamples16x8Sse2(uint8_t* dst, const uint8_t* patch, uint32_t limit, int32_t stride) {
  if (limit == 0) return;  // no difference is below 0
  const bool serial = block_search::NeedsInOrder(dst, patch, 16);
  const uint8_t below = block_search::LargestTaken(limit);
  const __m128i max_diff = _mm_set1_epi8(static_cast<char>(below));
  const __m128i zero = _mm_setzero_si128();
  for (int m = 0; m < 8; ++m) {
    uint8_t* a = dst + static_cast<ptrdiff_t>(m) * stride;
    const uint8_t* b = patch + static_cast<ptrdiff_t>(m) * stride;
    if (serial) {
      block_search::ReplaceRowInOrder(a, b, limit);
      continue;
    }
    const __m128i va = Load16(a), vb = Load16(b);
    const __m128i diff = _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va));
    // diff < limit  <=>  saturating (diff - (limit - 1)) == 0
    const __m128i take = _mm_cmpeq_epi8(_mm_subs_epu8(diff, max_diff), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a),
                     _mm_or_si128(_mm_and_si128(take, vb), _mm_andnot_si128(take, va)));
  }
}

}  // namespace

void block_kernels_detail::InitSse2(BlockKernels& k) {
  k.distance_8x4 = &BlockDistance8x4Sse2;
  k.distance_16x8 = &BlockDistance16x8Sse2;
  k.reduce_luma = &ReduceLumaSse2;
  k.replace_samples_16x8 = &ReplaceSamples16x8Sse2;
  k.search_row_8x4 = &block_search::SearchRow<&BlockDistance8x4Sse2>;
  k.search_row_16x8 = &block_search::SearchRow<&BlockDistance16x8Sse2>;
}
