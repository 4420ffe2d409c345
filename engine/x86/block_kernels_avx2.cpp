// AVX2 form of the 16x8 window-row search: two neighbouring candidates at
// once, one in each 128-bit lane, against the reference widened once per
// row scan. Same outcome as the reference, bit for bit.
//
// A candidate can only become the best with its full distance, and a
// candidate abandoned early has a partial sum, hence a full sum, not below
// the best; so when the per-row exit happens does not change the outcome,
// only how much is computed. The pair runs until both partial sums reach
// the best of before the pair (or all rows are done); then the first and
// the second candidate are compared with the best in turn, as one after the
// other would be.
#include <immintrin.h>

#include "engine/block_kernels.h"

namespace {

void SearchRow16x8Avx2(const uint8_t* candidates, int32_t count, const uint8_t* reference,
                       int32_t stride, uint32_t* best, int32_t* best_index) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i ref_lo[8], ref_hi[8];
  for (int row = 0; row < 8; ++row) {
    const __m256i both = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(reference + row * stride)));
    ref_lo[row] = _mm256_unpacklo_epi8(both, zero);
    ref_hi[row] = _mm256_unpackhi_epi8(both, zero);
  }
  uint32_t b = *best;
  // Sums stay below 2^24, so a signed compare orders them.
  __m256i b8 = _mm256_set1_epi32(static_cast<int32_t>(b));
  int32_t i = 0;
  for (; i < count; i += 2) {
    // The last candidate of an odd count runs alone in the low lane; the
    // high lane then repeats it and is ignored.
    const bool pair = i + 1 < count;
    const uint8_t* p = candidates + i;
    __m256i acc = zero, t = zero;
    int row = 0;
    for (; row < 8; ++row, p += stride) {
      const __m256i c = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair ? p + 1 : p)), 1);
      const __m256i d_lo = _mm256_sub_epi16(_mm256_unpacklo_epi8(c, zero), ref_lo[row]);
      const __m256i d_hi = _mm256_sub_epi16(_mm256_unpackhi_epi8(c, zero), ref_hi[row]);
      acc = _mm256_add_epi32(
          acc, _mm256_add_epi32(_mm256_madd_epi16(d_lo, d_lo), _mm256_madd_epi16(d_hi, d_hi)));
      t = _mm256_add_epi32(acc, _mm256_shuffle_epi32(acc, _MM_SHUFFLE(1, 0, 3, 2)));
      t = _mm256_add_epi32(t, _mm256_shuffle_epi32(t, _MM_SHUFFLE(2, 3, 0, 1)));
      // Element 0 and 4: the two partial sums; stop once neither is below b.
      const int below = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(b8, t)));
      if ((below & 0x11) == 0) break;
    }
    if (row < 8) continue;  // both abandoned
    const uint32_t s0 = static_cast<uint32_t>(_mm256_cvtsi256_si32(t));
    const uint32_t s1 = static_cast<uint32_t>(_mm256_extract_epi32(t, 4));
    if (s0 < b) {
      b = s0;
      *best_index = i;
    }
    if (pair && s1 < b) {
      b = s1;
      *best_index = i + 1;
    }
    b8 = _mm256_set1_epi32(static_cast<int32_t>(b));
  }
  *best = b;
}

}  // namespace

void block_kernels_detail::InitAvx2(BlockKernels& k) { k.search_row_16x8 = &SearchRow16x8Avx2; }
