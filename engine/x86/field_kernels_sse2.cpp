// SSE2 forms of the field kernels: the MMX arithmetic on 128-bit registers,
// 16 pixels a step (8 for the last step of a chroma row whose width is an
// odd multiple of 8), and a detector that runs two column groups at once.
// Same results as the reference, bit for bit.
#include <emmintrin.h>

#include <cstring>

#include "engine/detection_setup.h"
#include "engine/field_kernels.h"
#include "engine/field_rows.h"

namespace {

inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

inline void CopyRow(uint8_t* dst, const uint8_t* src, uint32_t w) { std::memcpy(dst, src, w); }

// Filtered values F(x) = (Y[x] + Y[x + 2]) >> 2 of eight columns from x0 on
// (two groups of four). With `one_group` only the first four are wanted,
// and nothing past x0 + 7 is read.
inline __m128i Filter8(const uint8_t* p, bool one_group, __m128i zero) {
  const __m128i lo = _mm_unpacklo_epi8(Load8(p), zero);
  const __m128i shifted = one_group ? _mm_srli_si128(lo, 4) : _mm_unpacklo_epi8(Load8(p + 2), zero);
  return _mm_srli_epi16(_mm_add_epi16(lo, shifted), 2);
}

}  // namespace

bool detection::DetectGroupsSse2(Run& run, uint32_t first, uint32_t end) {
  const uint32_t w = run.w, h = run.h;
  const __m128i zero = _mm_setzero_si128();
  const __m128i thr8 = _mm_set1_epi16(run.thr);
  const __m128i one8 = _mm_set1_epi16(1);
  const __m128i five_bits = _mm_set1_epi16(31);
  // The marking histories (detection::kMarkingHistory): 7, 15, 22, 23, 28-31.
  const __m128i h7 = _mm_set1_epi16(7), h15 = _mm_set1_epi16(15), h22 = _mm_set1_epi16(22),
                h23 = _mm_set1_epi16(23), h27 = _mm_set1_epi16(27);
  // The second group's rows wait here until the first group is done, so
  // that the counting (and the early end) keeps the one-group order. (No
  // library container here: its shared code would be built for SSE2.)
  uint8_t* const pending = new uint8_t[h / 2 + 1];
  bool going = true;
  for (uint32_t g = first; g < end && going; g += 2) {
    const bool one_group = g + 1 >= end;
    const uint8_t* column = run.src + 4 * g;
    __m128i history = one8;
    __m128i m_prev = zero, m_prev2 = zero;
    __m128i f0 = Filter8(column + static_cast<size_t>(4) * w, one_group, zero);
    __m128i f1 = Filter8(column + static_cast<size_t>(5) * w, one_group, zero);
    for (uint32_t j = 6; j <= h && going; ++j) {
      const __m128i f2 = Filter8(column + static_cast<size_t>(j) * w, one_group, zero);
      const __m128i d01 = _mm_sub_epi16(f0, f1);
      const __m128i d21 = _mm_sub_epi16(f2, f1);
      const __m128i d20 = _mm_sub_epi16(f2, f0);
      // Squares reach at most 16129: the logical shift divides exactly.
      const __m128i m =
          _mm_sub_epi16(_mm_mullo_epi16(d01, d21), _mm_srli_epi16(_mm_mullo_epi16(d20, d20), 4));
      __m128i s = _mm_adds_epi16(m_prev, m_prev);
      s = _mm_adds_epi16(s, m_prev2);
      s = _mm_adds_epi16(s, m);
      const __m128i hit = _mm_cmpgt_epi16(s, thr8);
      history = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(history, 1), five_bits),
                             _mm_and_si128(hit, one8));
      m_prev2 = m_prev;
      m_prev = m;
      f0 = f1;
      f1 = f2;
      if (j % 2 != 0) continue;
      const __m128i marking = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi16(history, h7), _mm_cmpeq_epi16(history, h15)),
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(history, h22), _mm_cmpeq_epi16(history, h23)),
                       _mm_cmpgt_epi16(history, h27)));
      // Bits 0-7: the eight columns that mark; bits 8-15: their hits.
      const uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(marking, hit)));
      if (!one_group)
        pending[j / 2] = static_cast<uint8_t>(((bits >> 4) & 0x0F) | ((bits >> 8) & 0xF0));
      going = ApplyGroupRow(run, {bits & 0x0F, (bits >> 8) & 0x0F}, g, j);
    }
    if (one_group) break;
    for (uint32_t j = 6; j <= h && going; j += 2) {
      const uint32_t p = pending[j / 2];
      going = ApplyGroupRow(run, {p & 0x0F, p >> 4}, g + 1, j);
    }
  }
  delete[] pending;
  return going;
}

namespace {

uint32_t DetectInterlaceSse2(uint8_t* map, uint8_t* block_hits, const uint8_t* src, uint32_t w,
                             uint32_t h, uint32_t interlace_threshold) {
  const auto [blocks_x, scale, thr] = detection::Begin(map, block_hits, w, h, interlace_threshold);
  detection::Run run{map, block_hits, src, w, h, blocks_x, scale, thr, 0};
  return detection::DetectGroupsSse2(run, 0, (w - 2) / 4) ? 0 : 1;
}

// Four-tap filter of 8 pixels in 16-bit lanes: max(0, 5(b + c) - a - d) / 8,
// negative sums shifting to negative values that the pack clamps to 0.
inline __m128i FourTapHalf(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i bc = _mm_add_epi16(b, c);
  const __m128i five = _mm_add_epi16(_mm_slli_epi16(bc, 2), bc);
  return _mm_srai_epi16(_mm_sub_epi16(_mm_sub_epi16(five, a), d), 3);
}

inline __m128i FourTap(__m128i a, __m128i b, __m128i c, __m128i d, __m128i zero) {
  const __m128i lo = FourTapHalf(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                 _mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero));
  const __m128i hi = FourTapHalf(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                 _mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero));
  return _mm_packus_epi16(lo, hi);
}

// Mean of two rows, truncating: (a & b) + ((a ^ b) >> 1) per byte.
inline __m128i Mean(__m128i a, __m128i b) {
  const __m128i low7 = _mm_set1_epi8(0x7F);
  return _mm_add_epi8(_mm_and_si128(a, b),
                      _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), low7));
}

// Sixteen pixels a step, and eight for the last step of a row whose width
// is an odd multiple of 8 (the upper half of the register is then unused).
template <bool kWide>
inline __m128i Load(const uint8_t* p) {
  return kWide ? Load16(p) : Load8(p);
}
template <bool kWide>
inline void Store(uint8_t* p, __m128i v) {
  if (kWide) {
    Store16(p, v);
  } else {
    Store8(p, v);
  }
}

// Calls step.template operator()<true>(x) for every 16 pixels of a row of w
// and <false> for a last 8.
template <class Step>
inline void ForEachStep(uint32_t w, Step step) {
  uint32_t x = 0;
  for (; x + 16 <= w; x += 16) step.template operator()<true>(x);
  if (x < w) step.template operator()<false>(x);
}

void InterpolateLumaSse2(uint8_t* dst, const uint8_t* src, const uint8_t* map, uint32_t w,
                         uint32_t h, bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  const __m128i zero = _mm_setzero_si128();
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  ForEachStep(w, [&]<bool kWide>(uint32_t x) {
    Store<kWide>(D(2) + x, Mean(Load<kWide>(S(1) + x), Load<kWide>(S(3) + x)));
    Store<kWide>(D(h - 2) + x, Mean(Load<kWide>(S(h - 3) + x), Load<kWide>(S(h - 1) + x)));
  });
  for (uint32_t r = 4; r + 4 <= h; r += 2) {
    const uint8_t *a = S(r - 3), *b = S(r - 1), *c = S(r + 1), *d = S(r + 3);
    uint8_t* out = D(r);
    const uint8_t* m = map + static_cast<size_t>(r) * w;
    const uint8_t* own = S(r);
    ForEachStep(w, [&]<bool kWide>(uint32_t x) {
      if (all) {
        Store<kWide>(out + x, FourTap(Load<kWide>(a + x), Load<kWide>(b + x), Load<kWide>(c + x),
                                      Load<kWide>(d + x), zero));
        return;
      }
      const __m128i mask = Load<kWide>(m + x);
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(mask, zero)) == 0xFFFF) {
        if (out != own) Store<kWide>(out + x, Load<kWide>(own + x));
        return;
      }
      const __m128i rebuilt = FourTap(Load<kWide>(a + x), Load<kWide>(b + x), Load<kWide>(c + x),
                                      Load<kWide>(d + x), zero);
      Store<kWide>(out + x, _mm_or_si128(_mm_and_si128(rebuilt, mask),
                                         _mm_andnot_si128(mask, Load<kWide>(own + x))));
    });
  }
}

// Chroma rebuild of 8 pixels in 16-bit lanes: (a + 3c) >> 2, or, unless
// `all`, only where the comb test T > 8 fires (else the own value b).
inline __m128i ChromaHalf(__m128i a, __m128i b, __m128i c, bool all) {
  const __m128i rebuilt =
      _mm_srli_epi16(_mm_add_epi16(a, _mm_add_epi16(c, _mm_add_epi16(c, c))), 2);
  if (all) return rebuilt;
  const __m128i p = _mm_mullo_epi16(_mm_sub_epi16(a, b), _mm_sub_epi16(c, b));
  const __m128i ca = _mm_sub_epi16(c, a);
  const __m128i q = _mm_srai_epi16(_mm_mullo_epi16(ca, ca), 3);
  const __m128i t = _mm_srai_epi16(_mm_subs_epi16(p, q), 1);
  const __m128i fire = _mm_cmpgt_epi16(t, _mm_set1_epi16(8));
  return _mm_or_si128(_mm_and_si128(fire, rebuilt), _mm_andnot_si128(fire, b));
}

void InterpolateChromaPlaneSse2(uint8_t* dst, const uint8_t* src, uint32_t w, uint32_t h,
                                bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  const __m128i zero = _mm_setzero_si128();
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  for (uint32_t r = 2; r + 2 <= h; r += 2) {
    const uint8_t *above = S(r - 1), *own = S(r), *below = S(r + 1);
    uint8_t* out = D(r);
    ForEachStep(w, [&]<bool kWide>(uint32_t x) {
      const __m128i a = Load<kWide>(above + x), b = Load<kWide>(own + x),
                    c = Load<kWide>(below + x);
      const __m128i lo = ChromaHalf(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                    _mm_unpacklo_epi8(c, zero), all);
      const __m128i hi = kWide ? ChromaHalf(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                            _mm_unpackhi_epi8(c, zero), all)
                               : lo;
      Store<kWide>(out + x, _mm_packus_epi16(lo, hi));
    });
  }
}

void InterpolateChromaSse2(uint8_t* dst_a, uint8_t* dst_b, const uint8_t* src_a,
                           const uint8_t* src_b, uint32_t w, uint32_t h, bool all) {
  InterpolateChromaPlaneSse2(dst_a, src_a, w, h, all);
  InterpolateChromaPlaneSse2(dst_b, src_b, w, h, all);
}

}  // namespace

void field_kernels_detail::InitSse2(FieldKernels& k) {
  k.detect_interlace = &DetectInterlaceSse2;
  k.interpolate_luma = &InterpolateLumaSse2;
  k.interpolate_chroma = &InterpolateChromaSse2;
  // A plain row copy is faster than the MMX one (bench_engine DoubleField).
  k.double_field = kReference.double_field;
}
