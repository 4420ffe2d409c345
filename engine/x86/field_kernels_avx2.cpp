// AVX2 form of the interlace detector: four column groups (sixteen
// columns) at once, the rows of the second to fourth group replayed after
// the first so that the counting and the early end keep the one-group
// order; the groups after the last block of four go to the SSE2 form. Same
// results as the reference, bit for bit.
#include <immintrin.h>

#include "engine/detection_setup.h"
#include "engine/field_kernels.h"

namespace {

// F(x) = (Y[x] + Y[x + 2]) >> 2 of sixteen columns from p on; reads up to
// p + 17, which the fourth group's own filter reaches too.
inline __m256i Filter16(const uint8_t* p) {
  const __m256i lo = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  const __m256i shifted =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)));
  return _mm256_srli_epi16(_mm256_add_epi16(lo, shifted), 2);
}

uint32_t DetectInterlaceAvx2(uint8_t* map, uint8_t* block_hits, const uint8_t* src, uint32_t w,
                             uint32_t h, uint32_t interlace_threshold) {
  const auto [blocks_x, scale, thr] = detection::Begin(map, block_hits, w, h, interlace_threshold);
  detection::Run run{map, block_hits, src, w, h, blocks_x, scale, thr, 0};
  const uint32_t groups = (w - 2) / 4;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i thr16 = _mm256_set1_epi16(thr);
  const __m256i one16 = _mm256_set1_epi16(1);
  const __m256i five_bits = _mm256_set1_epi16(31);
  // The marking histories (detection::kMarkingHistory): 7, 15, 22, 23, 28-31.
  const __m256i h7 = _mm256_set1_epi16(7), h15 = _mm256_set1_epi16(15), h22 = _mm256_set1_epi16(22),
                h23 = _mm256_set1_epi16(23), h27 = _mm256_set1_epi16(27);
  // Rows of the second to fourth group of a block, replayed after the first.
  const uint32_t rows = h / 2 + 1;
  uint8_t* const pending = new uint8_t[3 * rows];
  bool going = true;
  uint32_t g = 0;
  for (; g + 4 <= groups && going; g += 4) {
    const uint8_t* column = src + 4 * g;
    __m256i history = one16;
    __m256i m_prev = zero, m_prev2 = zero;
    __m256i f0 = Filter16(column + static_cast<size_t>(4) * w);
    __m256i f1 = Filter16(column + static_cast<size_t>(5) * w);
    for (uint32_t j = 6; j <= h && going; ++j) {
      const __m256i f2 = Filter16(column + static_cast<size_t>(j) * w);
      const __m256i d01 = _mm256_sub_epi16(f0, f1);
      const __m256i d21 = _mm256_sub_epi16(f2, f1);
      const __m256i d20 = _mm256_sub_epi16(f2, f0);
      // Squares reach at most 16129: the logical shift divides exactly.
      const __m256i m = _mm256_sub_epi16(_mm256_mullo_epi16(d01, d21),
                                         _mm256_srli_epi16(_mm256_mullo_epi16(d20, d20), 4));
      __m256i s = _mm256_adds_epi16(m_prev, m_prev);
      s = _mm256_adds_epi16(s, m_prev2);
      s = _mm256_adds_epi16(s, m);
      const __m256i hit = _mm256_cmpgt_epi16(s, thr16);
      history = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(history, 1), five_bits),
                                _mm256_and_si256(hit, one16));
      m_prev2 = m_prev;
      m_prev = m;
      f0 = f1;
      f1 = f2;
      if (j % 2 != 0) continue;
      const __m256i marking = _mm256_or_si256(
          _mm256_or_si256(_mm256_cmpeq_epi16(history, h7), _mm256_cmpeq_epi16(history, h15)),
          _mm256_or_si256(
              _mm256_or_si256(_mm256_cmpeq_epi16(history, h22), _mm256_cmpeq_epi16(history, h23)),
              _mm256_cmpgt_epi16(history, h27)));
      // The in-lane pack gives, per 128-bit half, the marks of eight columns
      // then their hits: group q's nibble starts at bit 16 (q / 2) + 4 (q % 2).
      const uint32_t bits =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(marking, hit)));
      for (uint32_t q = 1; q < 4; ++q) {
        const uint32_t at = 16 * (q / 2) + 4 * (q % 2);
        pending[(q - 1) * rows + j / 2] =
            static_cast<uint8_t>(((bits >> at) & 0x0F) | (((bits >> (at + 8)) & 0x0F) << 4));
      }
      going = detection::ApplyGroupRow(run, {bits & 0x0F, (bits >> 8) & 0x0F}, g, j);
    }
    for (uint32_t q = 1; q < 4 && going; ++q) {
      for (uint32_t j = 6; j <= h && going; j += 2) {
        const uint32_t p = pending[(q - 1) * rows + j / 2];
        going = detection::ApplyGroupRow(run, {p & 0x0F, p >> 4}, g + q, j);
      }
    }
  }
  delete[] pending;
  if (going && g < groups) going = detection::DetectGroupsSse2(run, g, groups);
  return going ? 0 : 1;
}

}  // namespace

void field_kernels_detail::InitAvx2(FieldKernels& k) { k.detect_interlace = &DetectInterlaceAvx2; }
