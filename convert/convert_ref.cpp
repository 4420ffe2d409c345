// Portable reference of the colour conversions.
#include "convert/convert.h"
#include "convert/pixel_formulas.h"

namespace {

using convert_pixel::Luma;

void BgraToYv12Ref(uint8_t* y_plane, uint8_t* u_plane, uint8_t* v_plane, const uint8_t* input,
                   uint32_t w, uint32_t h, int32_t y_pitch) {
  const ptrdiff_t chroma_pitch = (static_cast<ptrdiff_t>(y_pitch) - w) / 2 + w / 2;
  for (uint32_t k = 0; k < h / 2; ++k) {
    const uint8_t* row_a = input + static_cast<size_t>(4) * w * (h - 2 - 2 * k);
    const uint8_t* row_b = input + static_cast<size_t>(4) * w * (h - 1 - 2 * k);
    uint8_t* y0 = y_plane + static_cast<ptrdiff_t>(2 * k) * y_pitch;
    uint8_t* y1 = y0 + y_pitch;
    for (uint32_t x = 0; x < w / 2; ++x) {
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
      u_plane[k * chroma_pitch + x] =
          static_cast<uint8_t>(((112 * sb - 74 * sg - 38 * sr) >> 10) + 128);
      v_plane[k * chroma_pitch + x] =
          static_cast<uint8_t>(((112 * sr - 94 * sg - 18 * sb) >> 10) + 128);
    }
  }
}

void Yv12ToBgraRef(uint8_t* output, int32_t out_pitch, const uint8_t* y_plane,
                   const uint8_t* u_plane, const uint8_t* v_plane, int32_t y_pitch,
                   int32_t chroma_pitch, uint32_t w, int32_t height) {
  const int64_t h = height < 0 ? -static_cast<int64_t>(height) : height;
  for (int64_t m = 0; m < h; ++m) {
    const int64_t s = height >= 0 ? m : h - 1 - m;
    const uint8_t* y_row = y_plane + s * y_pitch;
    const uint8_t* u_row = u_plane + (s / 2) * chroma_pitch;
    const uint8_t* v_row = v_plane + (s / 2) * chroma_pitch;
    convert_pixel::ToBgraRow(output + 4 * static_cast<int64_t>(out_pitch) * m, y_row, u_row, v_row,
                             0, w);
  }
}

}  // namespace

namespace convert_detail {
const ConvertKernels kReference = {"c", 0, &BgraToYv12Ref, &Yv12ToBgraRef};
}
