// The restoring method's row kernels written once over a vector width: the
// ISA files include this with their own instruction sets and instantiate
// it with their vector type (I::V, I::kBytes bytes, 16-bit lanes for the
// arithmetic). Every operation is lane-wise (loads, unpacks within each
// 128-bit lane and the packs that undo them in the same order), so the
// results are those of the reference, bit for bit. The last bytes of a
// span go to the form of half the width (I::Half), and what is left below
// 16 bytes to the reference.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "restore/restore_kernels.h"

namespace restore::simd {
namespace {

// 16 bytes a step (SSE2); also the half step of wider forms.
struct Sse2 {
  using Half = void;
  static constexpr bool kPairs = false;  // no byte multiply-add before SSSE3
  using V = __m128i;
  static constexpr uint32_t kBytes = 16;
  static V Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V Zero() { return _mm_setzero_si128(); }
  static V Set16(int16_t v) { return _mm_set1_epi16(v); }
  static V Set8(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  static V PackU16(V a, V b) { return _mm_packus_epi16(a, b); }
  static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Mul16(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V MulHi16(V a, V b) { return _mm_mulhi_epi16(a, b); }
  static V Sra16(V a, int n) { return _mm_srai_epi16(a, n); }
  static V Srl16(V a, int n) { return _mm_srli_epi16(a, n); }
  static V Sll16(V a, int n) { return _mm_slli_epi16(a, n); }
  static V Max16(V a, V b) { return _mm_max_epi16(a, b); }
  static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
  static V Abs16(V a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
  static V Avg8(V a, V b) { return _mm_avg_epu8(a, b); }
  static V SubSatU8(V a, V b) { return _mm_subs_epu8(a, b); }
  static V Max8(V a, V b) { return _mm_max_epu8(a, b); }
  static V Min8(V a, V b) { return _mm_min_epu8(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  // kBytes bytes as 16-bit lanes in their own order, and back.
  static void Widen(const uint8_t* p, V* lo, V* hi) {
    const V x = Load(p);
    *lo = _mm_unpacklo_epi8(x, _mm_setzero_si128());
    *hi = _mm_unpackhi_epi8(x, _mm_setzero_si128());
  }
  static V PackNatural(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
  // Weights of four pixels, each repeated over its four bytes.
  static V SpreadWeights(const uint8_t* w) {
    int32_t four;
    std::memcpy(&four, w, 4);
    const V x = _mm_cvtsi32_si128(four);
    const V pairs = _mm_unpacklo_epi8(x, x);
    return _mm_unpacklo_epi16(pairs, pairs);
  }
};

template <class I>
struct RowKernels {
  using V = typename I::V;
  static constexpr uint32_t kBytes = I::kBytes;

  // The six-tap filter of `phase` over bytes taps `step` apart around p,
  // for the kBytes bytes from p: ((sum + 32) >> 6) clamped, as bytes.
  static V Filter6(const uint8_t* p, int32_t phase, ptrdiff_t step) {
    if (phase == 0) return I::Load(p);
    const int16_t* t = kPhaseTaps[phase];
    if constexpr (I::kPairs) {
      // Taps in pairs (-2, -1), (0, 1), (2, 3): one multiply-add of
      // interleaved bytes each (no pair sum reaches the 16-bit limit).
      V lo = I::Set16(32), hi = I::Set16(32);
      for (int k = 0; k < 6; k += 2) {
        const V x = I::Load(p + (k - 2) * step), y = I::Load(p + (k - 1) * step);
        const V c = I::SetPair(static_cast<int8_t>(t[k]), static_cast<int8_t>(t[k + 1]));
        lo = I::Add16(lo, I::MulAddPairs(I::UnpackLo8(x, y), c));
        hi = I::Add16(hi, I::MulAddPairs(I::UnpackHi8(x, y), c));
      }
      return I::PackU16(I::Sra16(lo, 6), I::Sra16(hi, 6));
    }
    const V zero = I::Zero();
    V lo = I::Set16(32), hi = I::Set16(32);
    for (int k = 0; k < 6; ++k) {
      if (t[k] == 0) continue;
      const V c = I::Set16(t[k]);
      const V x = I::Load(p + (k - 2) * step);
      lo = I::Add16(lo, I::Mul16(I::UnpackLo8(x, zero), c));
      hi = I::Add16(hi, I::Mul16(I::UnpackHi8(x, zero), c));
    }
    return I::PackU16(I::Sra16(lo, 6), I::Sra16(hi, 6));
  }

  static V AbsDiff8(V a, V b) { return I::Or(I::SubSatU8(a, b), I::SubSatU8(b, a)); }

  // Whether the weights of the kBytes / 4 pixels from w are all 0.
  static bool AllZero(const uint8_t* w) {
    uint8_t bytes[kBytes / 4];
    std::memcpy(bytes, w, kBytes / 4);
    uint8_t any = 0;
    for (uint8_t b : bytes) any |= b;
    return any == 0;
  }

  static V Average2(const KeptSampleRow& s, uint32_t i) {
    const V top = I::Avg8(I::Load(s.top + i), I::Load(s.top + i + s.right));
    const V bottom = I::Avg8(I::Load(s.bottom + i), I::Load(s.bottom + i + s.right));
    return I::Avg8(top, bottom);
  }

  static void Measure(const restore::MeasureRow& m, uint32_t n) {
    const V zero = I::Zero();
    uint32_t i = 0;
    for (; i + kBytes <= n; i += kBytes) {
      const V ku = I::Load(m.ku + i), kd = I::Load(m.kd + i);
      V e = zero;
      if (m.mode == TimeSamples::kBoth) {
        const V a = Filter6(m.oa + i, m.pa, 1), b = Filter6(m.ob + i, m.pb, 1);
        const V d4 = I::Set16(static_cast<int16_t>(m.d4));
        V halves[2];
        for (int h = 0; h < 2; ++h) {
          const auto un = [&](V x) { return h ? I::UnpackHi8(x, zero) : I::UnpackLo8(x, zero); };
          const V t =
              I::Sub16(I::Sll16(I::Sub16(un(a), un(b)), 2), I::Mul16(d4, I::Sub16(un(kd), un(ku))));
          halves[h] = I::Srl16(I::Abs16(t), 3);
        }
        e = I::PackU16(halves[0], halves[1]);
      } else if (m.mode == TimeSamples::kSameFrame) {
        const V a = I::Load(m.oa + i);
        e = I::Max8(I::SubSatU8(a, I::Max8(ku, kd)), I::SubSatU8(I::Min8(ku, kd), a));
      }
      for (int32_t j = 0; j < m.kept_count; ++j) {
        const V above = AbsDiff8(Average2(m.kept[2 * j], i), ku);
        const V below = AbsDiff8(Average2(m.kept[2 * j + 1], i), kd);
        // ((x + y + 1) >> 1) >> 1, as bytes.
        const V half = I::And(I::Srl16(I::Avg8(above, below), 1), I::Set8(0x7F));
        e = I::Max8(e, half);
      }
      const V v = AbsDiff8(ku, kd);
      const V h = AbsDiff8(I::Load(m.ku + i + 1), I::Load(m.ku + i - 1));
      const V act = I::PackU16(I::Add16(I::UnpackLo8(v, zero), I::UnpackLo8(h, zero)),
                               I::Add16(I::UnpackHi8(v, zero), I::UnpackHi8(h, zero)));
      I::Store(m.out_e + i, e);
      I::Store(m.out_act + i, act);
    }
    if (i < n) {
      restore::MeasureRow rest = m;
      rest.oa += i;
      rest.ob += i;
      rest.ku += i;
      rest.kd += i;
      for (int32_t j = 0; j < 2 * m.kept_count; ++j) {
        rest.kept[j].top += i;
        rest.kept[j].bottom += i;
      }
      rest.out_e += i;
      rest.out_act += i;
      if constexpr (std::is_void_v<typename I::Half>) {
        detail::kReference.measure_row(rest, n - i);
      } else {
        RowKernels<typename I::Half>::Measure(rest, n - i);
      }
    }
  }

  // weight[i] from the 5 x 3 windows: first c[j] = 4 (e0 + e1 + e2)[j] -
  // (act0 + act1 + act2)[j] for every column the windows reach (16-bit
  // lanes in the columns' own order), then the sums of five of them; a
  // chunk of columns at a time.
  static void Weight(uint8_t* weight, const uint8_t* const e[3], const uint8_t* const act[3],
                     uint32_t n) {
    constexpr uint32_t kChunk = 256;
    int16_t c[kChunk + 4 + kBytes];
    const V bias = I::Set16(120), scale = I::Set16(2185), zero = I::Zero(), top = I::Set16(16);
    constexpr uint32_t kLanes = kBytes / 2;
    uint32_t i = 0;
    while (i + kBytes <= n) {
      const uint32_t m = std::min<uint32_t>(kChunk, (n - i) / kBytes * kBytes);
      // Columns i - 2 ... i + m + 1: whole vectors, then the last few one
      // by one (the rows hold only two columns past the span).
      uint32_t j = 0;
      for (; j + kBytes <= m + 4; j += kBytes) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(i + j) - 2;
        V sum[2] = {zero, zero};
        for (int k = 0; k < 3; ++k) {
          V lo, hi, alo, ahi;
          I::Widen(e[k] + at, &lo, &hi);
          I::Widen(act[k] + at, &alo, &ahi);
          sum[0] = I::Add16(sum[0], I::Sub16(I::Sll16(lo, 2), alo));
          sum[1] = I::Add16(sum[1], I::Sub16(I::Sll16(hi, 2), ahi));
        }
        I::Store(reinterpret_cast<uint8_t*>(c + j), sum[0]);
        I::Store(reinterpret_cast<uint8_t*>(c + j + kLanes), sum[1]);
      }
      for (; j < m + 4; ++j) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(i + j) - 2;
        c[j] = static_cast<int16_t>(4 * (e[0][at] + e[1][at] + e[2][at]) -
                                    (act[0][at] + act[1][at] + act[2][at]));
      }
      for (j = 0; j < m; j += kBytes) {
        V w[2];
        for (int h = 0; h < 2; ++h) {
          const int16_t* at = c + j + h * kLanes;
          V v = I::Sub16(I::Load(reinterpret_cast<const uint8_t*>(at)), bias);
          for (int dx = 1; dx < 5; ++dx)
            v = I::Add16(v, I::Load(reinterpret_cast<const uint8_t*>(at + dx)));
          w[h] = I::Min16(I::Max16(I::MulHi16(v, scale), zero), top);
        }
        I::Store(weight + i + j, I::PackNatural(w[0], w[1]));
      }
      i += m;
    }
    if (i < n) {
      const uint8_t* e_rest[3] = {e[0] + i, e[1] + i, e[2] + i};
      const uint8_t* a_rest[3] = {act[0] + i, act[1] + i, act[2] + i};
      detail::kReference.weight_row(weight + i, e_rest, a_rest, n - i);
    }
  }

  static void Rebuild(const restore::RebuildRow& r, uint32_t n) {
    const V zero = I::Zero(), eight = I::Set16(8), sixteen = I::Set16(16), nine = I::Set16(9);
    const V c16 = I::Set16(static_cast<int16_t>(r.c16));
    const uint32_t bytes = 4 * n;
    uint32_t j = 0;
    for (; j + kBytes <= bytes; j += kBytes) {
      V a = zero, b = zero, w = zero;
      if (r.mode == TimeSamples::kSameFrame) {
        a = b = I::Load(r.oa + j);
      } else if (r.mode != TimeSamples::kNone) {
        a = Filter6(r.oa + j, r.pa, 4);
        b = Filter6(r.ob + j, r.pb, 4);
      }
      if (r.mode != TimeSamples::kNone) {
        // Pixels that all take time alone, their samples on the row (no
        // curvature correction): M = (16 (a + b) + 16) >> 5, the rounded
        // average.
        if (r.c16 == 0 && AllZero(r.weight + j / 4)) {
          I::Store(r.out + j, I::Avg8(a, b));
          continue;
        }
        w = I::SpreadWeights(r.weight + j / 4);
      }
      const V ku = I::Load(r.ku + j), kd = I::Load(r.kd + j);
      const V ku3 = I::Load(r.ku3 + j), kd3 = I::Load(r.kd3 + j);
      V out[2];
      for (int h = 0; h < 2; ++h) {
        const auto un = [&](V x) { return h ? I::UnpackHi8(x, zero) : I::UnpackLo8(x, zero); };
        const V k2 = I::Add16(un(ku), un(kd));
        V s = I::Sub16(I::Sub16(I::Mul16(k2, nine), un(ku3)), un(kd3));
        s = I::Min16(I::Max16(I::Sra16(I::Add16(s, eight), 4), zero), I::Set16(255));
        if (r.mode == TimeSamples::kNone) {
          out[h] = s;
          continue;
        }
        const V ab = I::Add16(un(a), un(b));
        V m = I::Add16(I::Add16(I::Sll16(ab, 4), I::Mul16(c16, I::Sub16(ab, k2))), sixteen);
        m = I::Min16(I::Max16(I::Sra16(m, 5), zero), I::Set16(255));
        const V blend = I::Sra16(I::Add16(I::Mul16(un(w), I::Sub16(s, m)), eight), 4);
        out[h] = I::Add16(m, blend);
      }
      I::Store(r.out + j, I::PackU16(out[0], out[1]));
    }
    if (j < bytes) {
      restore::RebuildRow rest = r;
      rest.oa += j;
      rest.ob += j;
      rest.ku += j;
      rest.kd += j;
      rest.ku3 += j;
      rest.kd3 += j;
      rest.weight += j / 4;
      rest.out += j;
      if constexpr (std::is_void_v<typename I::Half>) {
        detail::kReference.rebuild_row(rest, (bytes - j) / 4);
      } else {
        RowKernels<typename I::Half>::Rebuild(rest, (bytes - j) / 4);
      }
    }
  }

  static void Average(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n) {
    uint32_t i = 0;
    for (; i + kBytes <= n; i += kBytes) I::Store(out + i, I::Avg8(I::Load(a + i), I::Load(b + i)));
    if (i < n) detail::kReference.average_row(out + i, a + i, b + i, n - i);
  }
};

}  // namespace
}  // namespace restore::simd
