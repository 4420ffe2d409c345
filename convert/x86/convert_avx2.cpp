// AVX2 forms of the colour conversion row kernels: the SSE2 arithmetic on
// 256-bit registers, 16 pixels a step forward and 32 back. The in-lane
// packs and unpacks of AVX2 scramble the 64-bit quarters, which one
// cross-lane permute per result puts back in order. Same results as the
// reference, bit for bit.
#include <immintrin.h>

#include <cstring>

#include "convert/convert.h"
#include "convert/pixel_formulas.h"

namespace {

struct Channels {
  __m256i b, g, r;  // 16 pixels in order, 16-bit lanes
};

inline Channels Split(const uint8_t* p) {
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i p1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  auto channel = [&](int shift) {
    const __m256i a = _mm256_and_si256(_mm256_srli_epi32(p0, shift), low);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi32(p1, shift), low);
    // The in-lane pack gives pixels 0-3, 8-11 | 4-7, 12-15.
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
  };
  return {channel(0), channel(8), channel(16)};
}

// ((66 R + 129 G + 25 B) >> 8) + 16, exact in unsigned 16-bit lanes.
inline __m256i Luma16(const Channels& c) {
  const __m256i sum =
      _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c.r, _mm256_set1_epi16(66)),
                                        _mm256_mullo_epi16(c.g, _mm256_set1_epi16(129))),
                       _mm256_mullo_epi16(c.b, _mm256_set1_epi16(25)));
  return _mm256_add_epi16(_mm256_srli_epi16(sum, 8), _mm256_set1_epi16(16));
}

// 16 lanes of bytes (values 0..255) as 16 bytes in order.
inline __m128i PackBytes(__m256i v) {
  const __m256i packed = _mm256_packus_epi16(v, v);  // 0-7, 0-7 | 8-15, 8-15
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
}

inline __m256i PairSums(__m256i v) {
  return _mm256_and_si256(_mm256_add_epi16(v, _mm256_srli_epi32(v, 16)), _mm256_set1_epi32(0xFFFF));
}

void BgraRowsToYv12Avx2(uint8_t* y0, uint8_t* y1, uint8_t* u_row, uint8_t* v_row,
                        const uint8_t* bgra0, const uint8_t* bgra1, uint32_t w) {
  const __m256i u_bg = _mm256_set1_epi32((-74 << 16) | 112);
  const __m256i v_bg = _mm256_set1_epi32((-94 << 16) | (-18 & 0xFFFF));
  const __m256i u_r = _mm256_set1_epi32(-38 & 0xFFFF), v_r = _mm256_set1_epi32(112);
  const __m256i offset = _mm256_set1_epi32(128);
  uint32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const Channels a = Split(bgra0 + 4 * x), b = Split(bgra1 + 4 * x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y0 + x), PackBytes(Luma16(a)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y1 + x), PackBytes(Luma16(b)));
    // Channel sums of the eight 2x2 blocks, at most 1020 each.
    const __m256i sb = PairSums(_mm256_add_epi16(a.b, b.b));
    const __m256i sg = PairSums(_mm256_add_epi16(a.g, b.g));
    const __m256i sr = PairSums(_mm256_add_epi16(a.r, b.r));
    const __m256i bg = _mm256_or_si256(sb, _mm256_slli_epi32(sg, 16));
    const __m256i u = _mm256_add_epi32(_mm256_madd_epi16(bg, u_bg), _mm256_madd_epi16(sr, u_r));
    const __m256i v = _mm256_add_epi32(_mm256_madd_epi16(bg, v_bg), _mm256_madd_epi16(sr, v_r));
    // Arithmetic shifts: rounding toward minus infinity; results 16..239.
    const __m256i uv = _mm256_packs_epi32(_mm256_add_epi32(_mm256_srai_epi32(u, 10), offset),
                                          _mm256_add_epi32(_mm256_srai_epi32(v, 10), offset));
    // u0-3 v0-3 u0-3 v0-3 | u4-7 v4-7 u4-7 v4-7 as bytes, in 32-bit groups.
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(uv, uv),
                                                      _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
    const __m128i uv8 = _mm256_castsi256_si128(bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u_row + x / 2), uv8);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v_row + x / 2), _mm_srli_si128(uv8, 8));
  }
  if (x < w) convert_pixel::ToYv12Pairs(y0, y1, u_row, v_row, bgra1, bgra0, x / 2, w / 2);
}

// Thirty-two pixels a step.
void Yv12RowToBgraAvx2(uint8_t* out, const uint8_t* y_row, const uint8_t* u_row,
                       const uint8_t* v_row, uint32_t w, uint8_t alpha) {
  const __m256i alpha8 = _mm256_set1_epi8(static_cast<char>(alpha));
  const __m256i c16 = _mm256_set1_epi16(16);
  const __m128i c128 = _mm_set1_epi8(static_cast<char>(128));
  const __m256i c74 = _mm256_set1_epi16(74), c129 = _mm256_set1_epi16(129),
                c25 = _mm256_set1_epi16(25), c52 = _mm256_set1_epi16(52),
                c102 = _mm256_set1_epi16(102);
  uint32_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const __m128i u16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u_row + x / 2));
    const __m128i v16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v_row + x / 2));
    __m256i bgr[3][2];
    for (int half = 0; half < 2; ++half) {
      const __m256i y = _mm256_cvtepu8_epi16(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(y_row + x + 16 * half)));
      // Each chroma sample doubled for its pixel pair, minus 128.
      const __m128i ud = half ? _mm_unpackhi_epi8(u16, u16) : _mm_unpacklo_epi8(u16, u16);
      const __m128i vd = half ? _mm_unpackhi_epi8(v16, v16) : _mm_unpacklo_epi8(v16, v16);
      const __m256i u = _mm256_sub_epi16(_mm256_cvtepu8_epi16(ud), _mm256_cvtepu8_epi16(c128));
      const __m256i v = _mm256_sub_epi16(_mm256_cvtepu8_epi16(vd), _mm256_cvtepu8_epi16(c128));
      const __m256i yp = _mm256_mullo_epi16(_mm256_sub_epi16(y, c16), c74);
      bgr[0][half] = _mm256_srai_epi16(_mm256_adds_epi16(yp, _mm256_mullo_epi16(u, c129)), 6);
      bgr[1][half] =
          _mm256_srai_epi16(_mm256_subs_epi16(_mm256_subs_epi16(yp, _mm256_mullo_epi16(u, c25)),
                                              _mm256_mullo_epi16(v, c52)),
                            6);
      bgr[2][half] = _mm256_srai_epi16(_mm256_adds_epi16(yp, _mm256_mullo_epi16(v, c102)), 6);
    }
    // Bytes 0-7, 16-23 | 8-15, 24-31 after the in-lane packs.
    const __m256i b8 = _mm256_packus_epi16(bgr[0][0], bgr[0][1]);
    const __m256i g8 = _mm256_packus_epi16(bgr[1][0], bgr[1][1]);
    const __m256i r8 = _mm256_packus_epi16(bgr[2][0], bgr[2][1]);
    const __m256i bg_lo = _mm256_unpacklo_epi8(b8, g8);      // px 0-7 | 8-15
    const __m256i bg_hi = _mm256_unpackhi_epi8(b8, g8);      // px 16-23 | 24-31
    const __m256i ra_lo = _mm256_unpacklo_epi8(r8, alpha8);  // px 0-7 | 8-15
    const __m256i ra_hi = _mm256_unpackhi_epi8(r8, alpha8);  // px 16-23 | 24-31
    const __m256i p0 = _mm256_unpacklo_epi16(bg_lo, ra_lo);  // px 0-3 | 8-11
    const __m256i p1 = _mm256_unpackhi_epi16(bg_lo, ra_lo);  // px 4-7 | 12-15
    const __m256i p2 = _mm256_unpacklo_epi16(bg_hi, ra_hi);  // px 16-19 | 24-27
    const __m256i p3 = _mm256_unpackhi_epi16(bg_hi, ra_hi);  // px 20-23 | 28-31
    __m256i* px = reinterpret_cast<__m256i*>(out + 4 * x);
    _mm256_storeu_si256(px, _mm256_permute2x128_si256(p0, p1, 0x20));
    _mm256_storeu_si256(px + 1, _mm256_permute2x128_si256(p0, p1, 0x31));
    _mm256_storeu_si256(px + 2, _mm256_permute2x128_si256(p2, p3, 0x20));
    _mm256_storeu_si256(px + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
  }
  convert_pixel::ToBgraRow(out, y_row, u_row, v_row, x, w, alpha);
}

}  // namespace

void convert_detail::InitAvx2(ConvertKernels& k) {
  k.bgra_to_yv12 = &convert_pixel::BgraToYv12Image<&BgraRowsToYv12Avx2>;
  k.yv12_to_bgra = &convert_pixel::Yv12ToBgraImage<&Yv12RowToBgraAvx2>;
  k.bgra_rows_to_yv12 = &BgraRowsToYv12Avx2;
  k.yv12_row_to_bgra = &Yv12RowToBgraAvx2;
}
