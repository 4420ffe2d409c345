// The per-pixel arithmetic of both conversions, shared by the reference
// and by the SIMD forms for the pixels left over after their last full step.
#pragma once

#include <cstdint>

namespace convert_pixel {

// ((66 R + 129 G + 25 B) >> 8) + 16 of one BGRA pixel.
inline uint8_t Luma(const uint8_t* p) {
  return static_cast<uint8_t>(((66 * p[2] + 129 * p[1] + 25 * p[0]) >> 8) + 16);
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
