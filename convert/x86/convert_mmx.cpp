// MMX forms of the colour conversions: 16-bit lanes, one multiply-add per
// pixel and per chroma sum, saturating adds and unsigned-saturation packs.
#include <mmintrin.h>

#include <cstring>

#include "convert/convert.h"
#include "convert/pixel_formulas.h"
#include "platform/mmx.h"

namespace {

using mmx::Load4;
using mmx::Load8;
using mmx::Store8;

// ((66 R + 129 G + 25 B) >> 8) + 16 of two pixels, in the low byte of
// each 32-bit lane.
inline __m64 LumaPair(__m64 lo_pixel, __m64 hi_pixel, __m64 coef) {
  const __m64 a = _mm_madd_pi16(lo_pixel, coef);  // [25B + 129G, 66R]
  const __m64 b = _mm_madd_pi16(hi_pixel, coef);
  // Sum each pixel's two dwords: unpack to pair them up, then add.
  const __m64 sums = _mm_add_pi32(_mm_unpacklo_pi32(a, b), _mm_unpackhi_pi32(a, b));
  return _mm_add_pi32(_mm_srli_pi32(sums, 8), _mm_set1_pi32(16));
}

// Y row y0 from BGRA row bgra0 (b), y1 from bgra1 (a), one U and one V row;
// one 2x2 block a step. Leaves the MMX state to the caller.
void RowPairMmx(uint8_t* y0, uint8_t* y1, uint8_t* u_row, uint8_t* v_row, const uint8_t* row_b,
                const uint8_t* row_a, uint32_t w) {
  const __m64 zero = _mm_setzero_si64();
  const __m64 y_coef = _mm_setr_pi16(25, 129, 66, 0);
  const __m64 u_coef = _mm_setr_pi16(112, -74, -38, 0);
  const __m64 v_coef = _mm_setr_pi16(-18, -94, 112, 0);
  const __m64 chroma_offset = _mm_set1_pi32(128);
  for (uint32_t x = 0; x < w / 2; ++x) {
    const __m64 a = Load8(row_a + 8 * x), b = Load8(row_b + 8 * x);
    const __m64 a0 = _mm_unpacklo_pi8(a, zero), a1 = _mm_unpackhi_pi8(a, zero);
    const __m64 b0 = _mm_unpacklo_pi8(b, zero), b1 = _mm_unpackhi_pi8(b, zero);
    const __m64 ya = LumaPair(a0, a1, y_coef), yb = LumaPair(b0, b1, y_coef);
    const uint32_t la = static_cast<uint32_t>(_mm_cvtsi64_si32(ya));
    const uint32_t ha = static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(ya, 32)));
    const uint32_t lb = static_cast<uint32_t>(_mm_cvtsi64_si32(yb));
    const uint32_t hb = static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(yb, 32)));
    y0[2 * x] = static_cast<uint8_t>(lb);
    y0[2 * x + 1] = static_cast<uint8_t>(hb);
    y1[2 * x] = static_cast<uint8_t>(la);
    y1[2 * x + 1] = static_cast<uint8_t>(ha);
    // Channel sums of the block, at most 1020 each.
    const __m64 sum = _mm_add_pi16(_mm_add_pi16(a0, a1), _mm_add_pi16(b0, b1));
    const __m64 u = _mm_madd_pi16(sum, u_coef), v = _mm_madd_pi16(sum, v_coef);
    const __m64 uv = _mm_add_pi32(_mm_unpacklo_pi32(u, v), _mm_unpackhi_pi32(u, v));
    const __m64 scaled = _mm_add_pi32(_mm_srai_pi32(uv, 10), chroma_offset);
    u_row[x] = static_cast<uint8_t>(_mm_cvtsi64_si32(scaled));
    v_row[x] = static_cast<uint8_t>(_mm_cvtsi64_si32(_mm_srli_si64(scaled, 32)));
  }
}

void BgraRowsToYv12Mmx(uint8_t* y0, uint8_t* y1, uint8_t* u_row, uint8_t* v_row,
                       const uint8_t* bgra0, const uint8_t* bgra1, uint32_t w) {
  RowPairMmx(y0, y1, u_row, v_row, bgra0, bgra1, w);
  _mm_empty();
}

void BgraToYv12Mmx(uint8_t* y_plane, uint8_t* u_plane, uint8_t* v_plane, const uint8_t* input,
                   uint32_t w, uint32_t h, int32_t y_pitch) {
  convert_pixel::BgraToYv12Image<&RowPairMmx>(y_plane, u_plane, v_plane, input, w, h, y_pitch);
  _mm_empty();
}

// Eight pixels a step; leaves the MMX state to the caller.
void RowToBgraMmx(uint8_t* out, const uint8_t* y_row, const uint8_t* u_row, const uint8_t* v_row,
                  uint32_t w, uint8_t alpha) {
  const __m64 zero = _mm_setzero_si64();
  const __m64 alpha8 = _mm_set1_pi8(static_cast<char>(alpha));
  const __m64 c16 = _mm_set1_pi16(16), c128 = _mm_set1_pi16(128);
  const __m64 c74 = _mm_set1_pi16(74), c129 = _mm_set1_pi16(129), c25 = _mm_set1_pi16(25),
              c52 = _mm_set1_pi16(52), c102 = _mm_set1_pi16(102);
  uint32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    // Four chroma samples, each doubled for its pixel pair.
    const __m64 u4 = _mm_sub_pi16(_mm_unpacklo_pi8(Load4(u_row + x / 2), zero), c128);
    const __m64 v4 = _mm_sub_pi16(_mm_unpacklo_pi8(Load4(v_row + x / 2), zero), c128);
    const __m64 yv = Load8(y_row + x);
    for (int half = 0; half < 2; ++half) {
      const __m64 y = half ? _mm_unpackhi_pi8(yv, zero) : _mm_unpacklo_pi8(yv, zero);
      const __m64 u = half ? _mm_unpackhi_pi16(u4, u4) : _mm_unpacklo_pi16(u4, u4);
      const __m64 v = half ? _mm_unpackhi_pi16(v4, v4) : _mm_unpacklo_pi16(v4, v4);
      const __m64 yp = _mm_mullo_pi16(_mm_sub_pi16(y, c16), c74);
      const __m64 b = _mm_srai_pi16(_mm_adds_pi16(yp, _mm_mullo_pi16(u, c129)), 6);
      const __m64 g = _mm_srai_pi16(
          _mm_subs_pi16(_mm_subs_pi16(yp, _mm_mullo_pi16(u, c25)), _mm_mullo_pi16(v, c52)), 6);
      const __m64 r = _mm_srai_pi16(_mm_adds_pi16(yp, _mm_mullo_pi16(v, c102)), 6);
      const __m64 b8 = _mm_packs_pu16(b, zero), g8 = _mm_packs_pu16(g, zero),
                  r8 = _mm_packs_pu16(r, zero);
      const __m64 bg = _mm_unpacklo_pi8(b8, g8);      // b0 g0 b1 g1 ...
      const __m64 ra = _mm_unpacklo_pi8(r8, alpha8);  // r0 a r1 a ...
      uint8_t* px = out + 4 * (x + 4 * half);
      Store8(px, _mm_unpacklo_pi16(bg, ra));
      Store8(px + 8, _mm_unpackhi_pi16(bg, ra));
    }
  }
  convert_pixel::ToBgraRow(out, y_row, u_row, v_row, x, w, alpha);
}

void Yv12RowToBgraMmx(uint8_t* out, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                      uint32_t w, uint8_t alpha) {
  RowToBgraMmx(out, y, u, v, w, alpha);
  _mm_empty();
}

void Yv12ToBgraMmx(uint8_t* output, int32_t out_pitch, const uint8_t* y_plane,
                   const uint8_t* u_plane, const uint8_t* v_plane, int32_t y_pitch,
                   int32_t chroma_pitch, uint32_t w, int32_t height) {
  convert_pixel::Yv12ToBgraImage<&RowToBgraMmx>(output, out_pitch, y_plane, u_plane, v_plane,
                                                y_pitch, chroma_pitch, w, height);
  _mm_empty();
}

}  // namespace

void convert_detail::InitMmx(ConvertKernels& k) {
  k.bgra_to_yv12 = &BgraToYv12Mmx;
  k.yv12_to_bgra = &Yv12ToBgraMmx;
  k.bgra_rows_to_yv12 = &BgraRowsToYv12Mmx;
  k.yv12_row_to_bgra = &Yv12RowToBgraMmx;
}
