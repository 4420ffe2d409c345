// SSE2 forms of the restoring method's kernels: 16 bytes a step, 16-bit
// lanes for the arithmetic (restore/x86/restore_simd.h), psadbw for the
// block costs. Same results as the reference, bit for bit.
#include <emmintrin.h>

#include "restore/x86/restore_simd.h"

namespace restore::detail {
namespace {

using simd::Sse2;
using Rows = simd::RowKernels<Sse2>;

void LumaRowSse2(uint8_t* y, const uint8_t* bgra, uint32_t n) {
  const __m128i weights = _mm_setr_epi16(25, 129, 66, 0, 25, 129, 66, 0);
  const __m128i zero = _mm_setzero_si128(), sixteen = _mm_set1_epi32(16);
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i sums[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i px = Sse2::Load(bgra + 4 * i + 16 * h);
      // [25 B + 129 G, 66 R] per pixel, then the two halves added.
      const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(px, zero), weights);
      const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), weights);
      const __m128i l = _mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 2, 0));
      const __m128i r = _mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 2, 0));
      const __m128i sum = _mm_add_epi32(_mm_unpacklo_epi64(l, r), _mm_unpackhi_epi64(l, r));
      sums[h] = _mm_add_epi32(_mm_srai_epi32(sum, 8), sixteen);
    }
    const __m128i words = _mm_packs_epi32(sums[0], sums[1]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y + i), _mm_packus_epi16(words, zero));
  }
  if (i < n) kReference.luma_row(y + i, bgra + 4 * i, n - i);
}

uint32_t Sad16Sse2(const uint8_t* a, ptrdiff_t a_stride, const uint8_t* b, ptrdiff_t b_stride,
                   uint32_t rows) {
  __m128i acc = _mm_setzero_si128();
  for (uint32_t r = 0; r < rows; ++r, a += a_stride, b += b_stride) {
    acc = _mm_add_epi64(acc, _mm_sad_epu8(Sse2::Load(a), Sse2::Load(b)));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(acc) + _mm_extract_epi16(acc, 4));
}

}  // namespace

void InitSse2(RestoreKernels& k) {
  k.luma_row = LumaRowSse2;
  k.average_row = Rows::Average;
  k.sad16 = Sad16Sse2;
  k.measure_row = Rows::Measure;
  k.weight_row = Rows::Weight;
  k.rebuild_row = Rows::Rebuild;
}

}  // namespace restore::detail
