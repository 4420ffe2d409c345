// The per-pixel arithmetic of both conversions, shared by the reference
// and by the SIMD forms for the pixels left over after their last full step.
#pragma once

#include <cstdint>

namespace convert_pixel {

// ((66 R + 129 G + 25 B) >> 8) + 16 of one BGRA pixel.
inline uint8_t Luma(const uint8_t* p) {
  return static_cast<uint8_t>(((66 * p[2] + 129 * p[1] + 25 * p[0]) >> 8) + 16);
}

// Column pairs [from, to) of one output row pair: Y rows y0 (from input
// row b) and y1 (from row a), one U and one V sample per 2x2 block.
inline void ToYv12Pairs(uint8_t* y0, uint8_t* y1, uint8_t* u_row, uint8_t* v_row,
                        const uint8_t* row_a, const uint8_t* row_b, uint32_t from, uint32_t to) {
  for (uint32_t x = from; x < to; ++x) {
    const uint8_t* a0 = row_a + 8 * x;
    const uint8_t* a1 = a0 + 4;
    const uint8_t* b0 = row_b + 8 * x;
    const uint8_t* b1 = b0 + 4;
    y0[2 * x] = Luma(b0);
    y0[2 * x + 1] = Luma(b1);
    y1[2 * x] = Luma(a0);
    y1[2 * x + 1] = Luma(a1);
    const int32_t sb = a0[0] + a1[0] + b0[0] + b1[0];
    const int32_t sg = a0[1] + a1[1] + b0[1] + b1[1];
    const int32_t sr = a0[2] + a1[2] + b0[2] + b1[2];
    // Arithmetic shifts: rounding toward minus infinity.
    u_row[x] = static_cast<uint8_t>(((112 * sb - 74 * sg - 38 * sr) >> 10) + 128);
    v_row[x] = static_cast<uint8_t>(((112 * sr - 94 * sg - 18 * sb) >> 10) + 128);
  }
}

inline uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// One BGRA pixel with alpha 0 from Y, U (Cb) and V (Cr); the shifts are
// arithmetic (toward minus infinity).
inline void ToBgra(uint8_t* out, int32_t y, int32_t u, int32_t v) {
  const int32_t yp = 74 * (y - 16), up = u - 128, vp = v - 128;
  out[0] = Clamp((yp + 129 * up) >> 6);
  out[1] = Clamp((yp - 25 * up - 52 * vp) >> 6);
  out[2] = Clamp((yp + 102 * vp) >> 6);
  out[3] = 0;
}

// Converts pixels [from, w) of one output row.
inline void ToBgraRow(uint8_t* out, const uint8_t* y_row, const uint8_t* u_row,
                      const uint8_t* v_row, uint32_t from, uint32_t w) {
  for (uint32_t x = from; x < w; ++x) ToBgra(out + 4 * x, y_row[x], u_row[x / 2], v_row[x / 2]);
}

}  // namespace convert_pixel
