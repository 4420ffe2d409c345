// SSE2 forms of the colour conversions: the MMX arithmetic on 128-bit
// registers, 8 pixels a step forward and 16 back, the leftover pixels of a
// row through the scalar formulas. Same results as the reference, bit for bit.
//
// In the 32-bit plug-in these run on the host's stack, which is only 4-byte
// aligned: the plug-in is built with -mincoming-stack-boundary=2, so the
// compiler realigns the frame of any function that spills a register.
#include <emmintrin.h>

#include <cstring>

#include "convert/convert.h"
#include "convert/pixel_formulas.h"

namespace {

// The B, G and R bytes of 8 pixels (two registers of four) as 16-bit lanes.
struct Channels {
  __m128i b, g, r;
};
inline Channels Split(const uint8_t* p) {
  const __m128i low = _mm_set1_epi32(0xFF);
  const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  auto channel = [&](int shift) {
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, shift), low),
                           _mm_and_si128(_mm_srli_epi32(p1, shift), low));
  };
  return {channel(0), channel(8), channel(16)};
}

// ((66 R + 129 G + 25 B) >> 8) + 16: the sum reaches at most 56100 and so
// stays exact in unsigned 16-bit lanes.
inline __m128i Luma8(const Channels& c) {
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(c.r, _mm_set1_epi16(66)),
                                                  _mm_mullo_epi16(c.g, _mm_set1_epi16(129))),
                                    _mm_mullo_epi16(c.b, _mm_set1_epi16(25)));
  return _mm_add_epi16(_mm_srli_epi16(sum, 8), _mm_set1_epi16(16));
}

// Sums of adjacent lanes (the pixel pairs), each in the low half of a
// 32-bit lane with the high half clear.
inline __m128i PairSums(__m128i v) {
  return _mm_and_si128(_mm_add_epi16(v, _mm_srli_epi32(v, 16)), _mm_set1_epi32(0xFFFF));
}

// Y row y0 from BGRA row bgra0, y1 from bgra1, and one U and one V row.
void BgraRowsToYv12Sse2(uint8_t* y0, uint8_t* y1, uint8_t* u_row, uint8_t* v_row,
                        const uint8_t* bgra0, const uint8_t* bgra1, uint32_t w) {
  const __m128i u_bg = _mm_set1_epi32((-74 << 16) | 112);
  const __m128i v_bg = _mm_set1_epi32((-94 << 16) | (-18 & 0xFFFF));
  const __m128i u_r = _mm_set1_epi32(-38 & 0xFFFF), v_r = _mm_set1_epi32(112);
  const __m128i offset = _mm_set1_epi32(128);
  uint32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    const Channels a = Split(bgra0 + 4 * x), b = Split(bgra1 + 4 * x);
    const __m128i ya = Luma8(a), yb = Luma8(b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y0 + x), _mm_packus_epi16(ya, ya));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y1 + x), _mm_packus_epi16(yb, yb));
    // Channel sums of the four 2x2 blocks, at most 1020 each.
    const __m128i sb = PairSums(_mm_add_epi16(a.b, b.b));
    const __m128i sg = PairSums(_mm_add_epi16(a.g, b.g));
    const __m128i sr = PairSums(_mm_add_epi16(a.r, b.r));
    const __m128i bg = _mm_or_si128(sb, _mm_slli_epi32(sg, 16));
    const __m128i u = _mm_add_epi32(_mm_madd_epi16(bg, u_bg), _mm_madd_epi16(sr, u_r));
    const __m128i v = _mm_add_epi32(_mm_madd_epi16(bg, v_bg), _mm_madd_epi16(sr, v_r));
    // Arithmetic shifts: rounding toward minus infinity; results 16..239.
    const __m128i uv = _mm_packs_epi32(_mm_add_epi32(_mm_srai_epi32(u, 10), offset),
                                       _mm_add_epi32(_mm_srai_epi32(v, 10), offset));
    const __m128i bytes = _mm_packus_epi16(uv, uv);
    const uint32_t u4 = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    const uint32_t v4 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4)));
    std::memcpy(u_row + x / 2, &u4, 4);
    std::memcpy(v_row + x / 2, &v4, 4);
  }
  if (x < w) convert_pixel::ToYv12Pairs(y0, y1, u_row, v_row, bgra1, bgra0, x / 2, w / 2);
}

// Sixteen pixels a step.
void Yv12RowToBgraSse2(uint8_t* out, const uint8_t* y_row, const uint8_t* u_row,
                       const uint8_t* v_row, uint32_t w, uint8_t alpha) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alpha8 = _mm_set1_epi8(static_cast<char>(alpha));
  const __m128i c16 = _mm_set1_epi16(16), c128 = _mm_set1_epi16(128);
  const __m128i c74 = _mm_set1_epi16(74), c129 = _mm_set1_epi16(129), c25 = _mm_set1_epi16(25),
                c52 = _mm_set1_epi16(52), c102 = _mm_set1_epi16(102);
  uint32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i u8 = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u_row + x / 2)), zero),
        c128);
    const __m128i v8 = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v_row + x / 2)), zero),
        c128);
    const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y_row + x));
    __m128i bgr[3][2];
    for (int half = 0; half < 2; ++half) {
      const __m128i y = half ? _mm_unpackhi_epi8(yv, zero) : _mm_unpacklo_epi8(yv, zero);
      const __m128i u = half ? _mm_unpackhi_epi16(u8, u8) : _mm_unpacklo_epi16(u8, u8);
      const __m128i v = half ? _mm_unpackhi_epi16(v8, v8) : _mm_unpacklo_epi16(v8, v8);
      const __m128i yp = _mm_mullo_epi16(_mm_sub_epi16(y, c16), c74);
      bgr[0][half] = _mm_srai_epi16(_mm_adds_epi16(yp, _mm_mullo_epi16(u, c129)), 6);
      bgr[1][half] = _mm_srai_epi16(
          _mm_subs_epi16(_mm_subs_epi16(yp, _mm_mullo_epi16(u, c25)), _mm_mullo_epi16(v, c52)), 6);
      bgr[2][half] = _mm_srai_epi16(_mm_adds_epi16(yp, _mm_mullo_epi16(v, c102)), 6);
    }
    const __m128i b8 = _mm_packus_epi16(bgr[0][0], bgr[0][1]);
    const __m128i g8 = _mm_packus_epi16(bgr[1][0], bgr[1][1]);
    const __m128i r8 = _mm_packus_epi16(bgr[2][0], bgr[2][1]);
    const __m128i bg_lo = _mm_unpacklo_epi8(b8, g8), bg_hi = _mm_unpackhi_epi8(b8, g8);
    const __m128i ra_lo = _mm_unpacklo_epi8(r8, alpha8), ra_hi = _mm_unpackhi_epi8(r8, alpha8);
    __m128i* px = reinterpret_cast<__m128i*>(out + 4 * x);
    _mm_storeu_si128(px, _mm_unpacklo_epi16(bg_lo, ra_lo));
    _mm_storeu_si128(px + 1, _mm_unpackhi_epi16(bg_lo, ra_lo));
    _mm_storeu_si128(px + 2, _mm_unpacklo_epi16(bg_hi, ra_hi));
    _mm_storeu_si128(px + 3, _mm_unpackhi_epi16(bg_hi, ra_hi));
  }
  convert_pixel::ToBgraRow(out, y_row, u_row, v_row, x, w, alpha);
}

}  // namespace

void convert_detail::InitSse2(ConvertKernels& k) {
  k.bgra_to_yv12 = &convert_pixel::BgraToYv12Image<&BgraRowsToYv12Sse2>;
  k.yv12_to_bgra = &convert_pixel::Yv12ToBgraImage<&Yv12RowToBgraSse2>;
  k.bgra_rows_to_yv12 = &BgraRowsToYv12Sse2;
  k.yv12_row_to_bgra = &Yv12RowToBgraSse2;
}
