// The per-pixel arithmetic of both conversions, shared by the reference
// and by the SIMD forms for the pixels left over after their last full step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace convert_pixel {
// Internal to each file that includes it: the ISA files compile these with
// their own instruction sets, and one shared out-of-line copy could run
// SSE2 or AVX2 code on a processor without them.
namespace {

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

// One BGRA pixel from Y, U (Cb) and V (Cr) with the given alpha; the
// shifts are arithmetic (toward minus infinity).
inline void ToBgra(uint8_t* out, int32_t y, int32_t u, int32_t v, uint8_t alpha) {
  const int32_t yp = 74 * (y - 16), up = u - 128, vp = v - 128;
  out[0] = Clamp((yp + 129 * up) >> 6);
  out[1] = Clamp((yp - 25 * up - 52 * vp) >> 6);
  out[2] = Clamp((yp + 102 * vp) >> 6);
  out[3] = alpha;
}

// Converts pixels [from, w) of one output row.
inline void ToBgraRow(uint8_t* out, const uint8_t* y_row, const uint8_t* u_row,
                      const uint8_t* v_row, uint32_t from, uint32_t w, uint8_t alpha) {
  for (uint32_t x = from; x < w; ++x)
    ToBgra(out + 4 * x, y_row[x], u_row[x / 2], v_row[x / 2], alpha);
}

// The whole-image conversions of every form, driven by that form's row
// kernels (which the compiler inlines).
using RowPairToYv12 = void (*)(uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v,
                               const uint8_t* bgra0, const uint8_t* bgra1, uint32_t w);
using RowToBgra = void (*)(uint8_t* out, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                           uint32_t w, uint8_t alpha);

template <RowPairToYv12 row_pair>
void BgraToYv12Image(uint8_t* y_plane, uint8_t* u_plane, uint8_t* v_plane, const uint8_t* input,
                     uint32_t w, uint32_t h, int32_t y_pitch) {
  const ptrdiff_t chroma_pitch = (static_cast<ptrdiff_t>(y_pitch) - w) / 2 + w / 2;
  for (uint32_t k = 0; k < h / 2; ++k) {
    uint8_t* y0 = y_plane + static_cast<ptrdiff_t>(2 * k) * y_pitch;
    row_pair(y0, y0 + y_pitch, u_plane + k * chroma_pitch, v_plane + k * chroma_pitch,
             input + size_t{4} * w * (h - 1 - 2 * k), input + size_t{4} * w * (h - 2 - 2 * k), w);
  }
}

template <RowToBgra row>
void Yv12ToBgraImage(uint8_t* output, int32_t out_pitch, const uint8_t* y_plane,
                     const uint8_t* u_plane, const uint8_t* v_plane, int32_t y_pitch,
                     int32_t chroma_pitch, uint32_t w, int32_t height) {
  const int64_t h = height < 0 ? -static_cast<int64_t>(height) : height;
  for (int64_t m = 0; m < h; ++m) {
    const int64_t s = height >= 0 ? m : h - 1 - m;
    row(output + 4 * static_cast<int64_t>(out_pitch) * m, y_plane + s * y_pitch,
        u_plane + (s / 2) * chroma_pitch, v_plane + (s / 2) * chroma_pitch, w, 0);
  }
}

}  // namespace
}  // namespace convert_pixel
