// MMX forms of the field kernels: 64-bit packed bytes, 16-bit lanes, EMMS
// before returning. Same results as the reference, bit for bit.
#include <mmintrin.h>

#include <cstring>

#include "engine/detection_setup.h"
#include "engine/field_kernels.h"
#include "engine/field_rows.h"
#include "platform/mmx.h"

namespace {

using mmx::Load8;
using mmx::Store8;
using mmx::ToU64;

// Copies a row; widths are multiples of 8.
inline void CopyRow(uint8_t* dst, const uint8_t* src, uint32_t w) {
  uint32_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const __m64 a = Load8(src + x), b = Load8(src + x + 8), c = Load8(src + x + 16),
                d = Load8(src + x + 24);
    Store8(dst + x, a);
    Store8(dst + x + 8, b);
    Store8(dst + x + 16, c);
    Store8(dst + x + 24, d);
  }
  for (; x < w; x += 8) Store8(dst + x, Load8(src + x));
}

// Filtered values F(x) = (Y[x] + Y[x + 2]) >> 2 of four columns from one
// 8-byte load starting at the group's first column.
inline __m64 Filter4(const uint8_t* p, __m64 zero) {
  const __m64 v = Load8(p);
  const __m64 lo = _mm_unpacklo_pi8(v, zero);
  const __m64 shifted = _mm_unpacklo_pi8(_mm_srli_si64(v, 16), zero);
  return _mm_srli_pi16(_mm_add_pi16(lo, shifted), 2);
}

uint32_t DetectInterlaceMmx(uint8_t* map, uint8_t* block_hits, const uint8_t* src, uint32_t w,
                            uint32_t h, uint32_t interlace_threshold) {
  const auto [blocks_x, scale, thr] = detection::Begin(map, block_hits, w, h, interlace_threshold);
  uint64_t count = 0;
  const __m64 zero = _mm_setzero_si64();
  const __m64 thr4 = _mm_set1_pi16(thr);
  const __m64 one4 = _mm_set1_pi16(1);
  const __m64 five_bits = _mm_set1_pi16(31);

  const uint32_t groups = (w - 2) / 4;
  uint32_t result = 0;
  for (uint32_t g = 0; g < groups && !result; ++g) {
    const uint8_t* column = src + 4 * g;
    __m64 history = one4;
    __m64 m_prev = zero, m_prev2 = zero;
    __m64 f0 = Filter4(column + static_cast<size_t>(4) * w, zero);
    __m64 f1 = Filter4(column + static_cast<size_t>(5) * w, zero);
    for (uint32_t j = 6; j <= h; ++j) {
      const __m64 f2 = Filter4(column + static_cast<size_t>(j) * w, zero);
      const __m64 d01 = _mm_sub_pi16(f0, f1);
      const __m64 d21 = _mm_sub_pi16(f2, f1);
      const __m64 d20 = _mm_sub_pi16(f2, f0);
      // Squares reach at most 16129: the logical shift divides exactly.
      const __m64 m =
          _mm_sub_pi16(_mm_mullo_pi16(d01, d21), _mm_srli_pi16(_mm_mullo_pi16(d20, d20), 4));
      __m64 s = _mm_adds_pi16(m_prev, m_prev);
      s = _mm_adds_pi16(s, m_prev2);
      s = _mm_adds_pi16(s, m);
      const __m64 bit = _mm_and_si64(_mm_cmpgt_pi16(s, thr4), one4);
      history = _mm_or_si64(_mm_and_si64(_mm_slli_pi16(history, 1), five_bits), bit);
      m_prev2 = m_prev;
      m_prev = m;
      f0 = f1;
      f1 = f2;
      if (j % 2 != 0) continue;
      const uint64_t hist = ToU64(history);
      if (hist == 0) continue;
      uint32_t marks = 0;  // bit c: column c marks
      for (uint32_t c = 0; c < 4; ++c)
        marks |= detection::kMarkingHistory[(hist >> (16 * c)) & 31] << c;
      if (marks == 0) continue;
      const uint64_t bits = ToU64(bit);
      const uint32_t hits = static_cast<uint32_t>((bits & 1) + ((bits >> 16) & 1) +
                                                  ((bits >> 32) & 1) + ((bits >> 48) & 1));
      count += hits;
      if (count * scale > detection::kFrameLimit) {
        result = 1;
        break;
      }
      // Column c marks bytes c, c + 1 and c + 2 of the six from 4g on.
      const uint32_t spread = marks | marks << 1 | marks << 2;
      uint8_t* row = map + static_cast<size_t>(j - 4) * w + 4 * g;
      for (uint32_t i = 0; i < 6; ++i) {
        if (spread & (1u << i)) row[i] = 0xFF;
      }
      block_hits[((j - 1) / 16) * blocks_x + (g + 1) / 4] += static_cast<uint8_t>(hits);
    }
  }
  _mm_empty();
  return result;
}

// Four-tap filter of 8 pixels: clamp(max(0, 5(b + c) - a - d) / 8).
inline __m64 FourTap(__m64 a, __m64 b, __m64 c, __m64 d, __m64 zero) {
  auto half = [&](__m64 pa, __m64 pb, __m64 pc, __m64 pd) {
    const __m64 bc = _mm_add_pi16(pb, pc);
    const __m64 five = _mm_add_pi16(_mm_slli_pi16(bc, 2), bc);
    // Negative sums shift to negative values, which the pack clamps to 0.
    return _mm_srai_pi16(_mm_sub_pi16(_mm_sub_pi16(five, pa), pd), 3);
  };
  const __m64 lo = half(_mm_unpacklo_pi8(a, zero), _mm_unpacklo_pi8(b, zero),
                        _mm_unpacklo_pi8(c, zero), _mm_unpacklo_pi8(d, zero));
  const __m64 hi = half(_mm_unpackhi_pi8(a, zero), _mm_unpackhi_pi8(b, zero),
                        _mm_unpackhi_pi8(c, zero), _mm_unpackhi_pi8(d, zero));
  return _mm_packs_pu16(lo, hi);
}

// Mean of two rows, truncating: (a & b) + ((a ^ b) >> 1) per byte.
inline __m64 Mean8(__m64 a, __m64 b) {
  const __m64 low7 = _mm_set1_pi8(0x7F);
  return _mm_add_pi8(_mm_and_si64(a, b), _mm_and_si64(_mm_srli_pi16(_mm_xor_si64(a, b), 1), low7));
}

void InterpolateLumaMmx(uint8_t* dst, const uint8_t* src, const uint8_t* map, uint32_t w,
                        uint32_t h, bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  const __m64 zero = _mm_setzero_si64();
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  for (uint32_t x = 0; x < w; x += 8) {
    Store8(D(2) + x, Mean8(Load8(S(1) + x), Load8(S(3) + x)));
    Store8(D(h - 2) + x, Mean8(Load8(S(h - 3) + x), Load8(S(h - 1) + x)));
  }
  for (uint32_t r = 4; r + 4 <= h; r += 2) {
    const uint8_t *a = S(r - 3), *b = S(r - 1), *c = S(r + 1), *d = S(r + 3);
    uint8_t* out = D(r);
    if (all) {
      for (uint32_t x = 0; x < w; x += 8) {
        Store8(out + x, FourTap(Load8(a + x), Load8(b + x), Load8(c + x), Load8(d + x), zero));
      }
      continue;
    }
    const uint8_t* m = map + static_cast<size_t>(r) * w;
    const uint8_t* own = S(r);
    for (uint32_t x = 0; x < w; x += 8) {
      const __m64 mask = Load8(m + x);
      if (ToU64(mask) == 0) {
        if (out != own) Store8(out + x, Load8(own + x));
        continue;
      }
      const __m64 rebuilt = FourTap(Load8(a + x), Load8(b + x), Load8(c + x), Load8(d + x), zero);
      Store8(out + x,
             _mm_or_si64(_mm_and_si64(rebuilt, mask), _mm_andnot_si64(mask, Load8(own + x))));
    }
  }
  _mm_empty();
}

// Chroma rebuild of 4 pixels in 16-bit lanes: (a + 3c) >> 2, or, unless
// `all`, only where the comb test T > 8 fires (else the own value b).
inline __m64 ChromaHalf(__m64 a, __m64 b, __m64 c, bool all) {
  const __m64 rebuilt = _mm_srli_pi16(_mm_add_pi16(a, _mm_add_pi16(c, _mm_add_pi16(c, c))), 2);
  if (all) return rebuilt;
  const __m64 p = _mm_mullo_pi16(_mm_sub_pi16(a, b), _mm_sub_pi16(c, b));
  const __m64 ca = _mm_sub_pi16(c, a);
  const __m64 q = _mm_srai_pi16(_mm_mullo_pi16(ca, ca), 3);
  const __m64 t = _mm_srai_pi16(_mm_subs_pi16(p, q), 1);
  const __m64 fire = _mm_cmpgt_pi16(t, _mm_set1_pi16(8));
  return _mm_or_si64(_mm_and_si64(fire, rebuilt), _mm_andnot_si64(fire, b));
}

void InterpolateChromaPlaneMmx(uint8_t* dst, const uint8_t* src, uint32_t w, uint32_t h, bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  const __m64 zero = _mm_setzero_si64();
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  for (uint32_t r = 2; r + 2 <= h; r += 2) {
    const uint8_t *above = S(r - 1), *own = S(r), *below = S(r + 1);
    uint8_t* out = D(r);
    for (uint32_t x = 0; x < w; x += 8) {
      const __m64 a = Load8(above + x), b = Load8(own + x), c = Load8(below + x);
      const __m64 lo = ChromaHalf(_mm_unpacklo_pi8(a, zero), _mm_unpacklo_pi8(b, zero),
                                  _mm_unpacklo_pi8(c, zero), all);
      const __m64 hi = ChromaHalf(_mm_unpackhi_pi8(a, zero), _mm_unpackhi_pi8(b, zero),
                                  _mm_unpackhi_pi8(c, zero), all);
      Store8(out + x, _mm_packs_pu16(lo, hi));
    }
  }
}

void InterpolateChromaMmx(uint8_t* dst_a, uint8_t* dst_b, const uint8_t* src_a,
                          const uint8_t* src_b, uint32_t w, uint32_t h, bool all) {
  InterpolateChromaPlaneMmx(dst_a, src_a, w, h, all);
  InterpolateChromaPlaneMmx(dst_b, src_b, w, h, all);
  _mm_empty();
}

void DoubleFieldMmx(uint8_t* plane, uint32_t w, uint32_t h) {
  for (uint32_t r = 0; r + 1 < h; r += 2) {
    CopyRow(plane + static_cast<size_t>(r) * w, plane + static_cast<size_t>(r + 1) * w, w);
  }
  _mm_empty();
}

}  // namespace

void field_kernels_detail::InitMmx(FieldKernels& k) {
  k.detect_interlace = &DetectInterlaceMmx;
  k.interpolate_luma = &InterpolateLumaMmx;
  k.interpolate_chroma = &InterpolateChromaMmx;
  k.double_field = &DoubleFieldMmx;
}
