// AVX2 forms of the restoring method's kernels: 32 bytes a step, 16-bit
// lanes for the arithmetic (restore/x86/restore_simd.h), vpsadbw on two
// rows at once for the block costs. Same results as the reference, bit
// for bit.
#include <immintrin.h>

#include "restore/x86/restore_simd.h"

namespace restore::detail {
namespace {

struct Avx2 {
  using Half = simd::Sse2;
  using V = __m256i;
  static constexpr bool kPairs = true;
  static V MulAddPairs(V u8, V s8) { return _mm256_maddubs_epi16(u8, s8); }
  static V SetPair(int8_t a, int8_t b) {
    return _mm256_set1_epi16(static_cast<int16_t>(static_cast<uint8_t>(a) | (b << 8)));
  }
  static constexpr uint32_t kBytes = 32;
  static V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V Zero() { return _mm256_setzero_si256(); }
  static V Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static V Set8(uint8_t v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  static V PackU16(V a, V b) { return _mm256_packus_epi16(a, b); }
  static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V Mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V MulHi16(V a, V b) { return _mm256_mulhi_epi16(a, b); }
  static V Sra16(V a, int n) { return _mm256_srai_epi16(a, n); }
  static V Srl16(V a, int n) { return _mm256_srli_epi16(a, n); }
  static V Sll16(V a, int n) { return _mm256_slli_epi16(a, n); }
  static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
  static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
  static V Abs16(V a) { return _mm256_abs_epi16(a); }
  static V Avg8(V a, V b) { return _mm256_avg_epu8(a, b); }
  static V SubSatU8(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V Max8(V a, V b) { return _mm256_max_epu8(a, b); }
  static V Min8(V a, V b) { return _mm256_min_epu8(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  // kBytes bytes as 16-bit lanes in their own order, and back.
  static void Widen(const uint8_t* p, V* lo, V* hi) {
    *lo = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    *hi = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
  }
  static V PackNatural(V lo, V hi) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), _MM_SHUFFLE(3, 1, 2, 0));
  }
  // Weights of eight pixels, each repeated over its four bytes.
  static V SpreadWeights(const uint8_t* w) {
    const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w));
    // Both lanes hold the eight weights; each lane picks its four.
    return _mm256_shuffle_epi8(_mm256_broadcastq_epi64(x),
                               _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4,
                                                4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7));
  }
};

using Rows = simd::RowKernels<Avx2>;

void LumaRowAvx2(uint8_t* y, const uint8_t* bgra, uint32_t n) {
  // As the SSE2 form, within each 128-bit lane; 16 pixels a step.
  uint32_t i = 0;
  const __m256i w16 =
      _mm256_setr_epi16(25, 129, 66, 0, 25, 129, 66, 0, 25, 129, 66, 0, 25, 129, 66, 0);
  const __m256i zero = _mm256_setzero_si256(), sixteen = _mm256_set1_epi32(16);
  for (; i + 16 <= n; i += 16) {
    __m256i sums[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i px = Avx2::Load(bgra + 4 * i + 32 * h);
      const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi8(px, zero), w16);
      const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi8(px, zero), w16);
      // Per 128-bit lane: lo holds pixels 0, 1 and hi pixels 2, 3 of the lane.
      const __m256i l = _mm256_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 2, 0));
      const __m256i r = _mm256_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 2, 0));
      const __m256i sum =
          _mm256_add_epi32(_mm256_unpacklo_epi64(l, r), _mm256_unpackhi_epi64(l, r));
      sums[h] = _mm256_add_epi32(_mm256_srai_epi32(sum, 8), sixteen);
    }
    // Lanes: sums[0] = pixels 0-3 | 4-7, sums[1] = 8-11 | 12-15; the packs
    // interleave lanes, which the permute puts back in order.
    const __m256i words = _mm256_packs_epi32(sums[0], sums[1]);  // 0-3 8-11 | 4-7 12-15
    const __m256i bytes = _mm256_packus_epi16(words, zero);      // 0-3 8-11 x | 4-7 12-15 x
    const __m256i ordered =
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 3, 6, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + i), _mm256_castsi256_si128(ordered));
  }
  if (i < n) kReference.luma_row(y + i, bgra + 4 * i, n - i);
}

uint32_t Sad16Avx2(const uint8_t* a, ptrdiff_t a_stride, const uint8_t* b, ptrdiff_t b_stride,
                   uint32_t rows) {
  __m256i acc = _mm256_setzero_si256();
  uint32_t r = 0;
  for (; r + 2 <= rows; r += 2, a += 2 * a_stride, b += 2 * b_stride) {
    const __m256i x = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(a + a_stride),
                                          reinterpret_cast<const __m128i*>(a));
    const __m256i y = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(b + b_stride),
                                          reinterpret_cast<const __m128i*>(b));
    acc = _mm256_add_epi64(acc, _mm256_sad_epu8(x, y));
  }
  __m128i sum = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  if (r < rows) {
    sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(b))));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_extract_epi16(sum, 4));
}

}  // namespace

void InitAvx2(RestoreKernels& k) {
  k.luma_row = LumaRowAvx2;
  k.average_row = Rows::Average;
  k.sad16 = Sad16Avx2;
  k.measure_row = Rows::Measure;
  k.weight_row = Rows::Weight;
  k.rebuild_row = Rows::Rebuild;
}

}  // namespace restore::detail
