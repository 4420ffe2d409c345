// Portable reference of the colour conversions.
#include "convert/convert.h"
#include "convert/pixel_formulas.h"

namespace {

void BgraToYv12Ref(uint8_t* y_plane, uint8_t* u_plane, uint8_t* v_plane, const uint8_t* input,
                   uint32_t w, uint32_t h, int32_t y_pitch) {
  const ptrdiff_t chroma_pitch = (static_cast<ptrdiff_t>(y_pitch) - w) / 2 + w / 2;
  for (uint32_t k = 0; k < h / 2; ++k) {
    const uint8_t* row_a = input + static_cast<size_t>(4) * w * (h - 2 - 2 * k);
    const uint8_t* row_b = input + static_cast<size_t>(4) * w * (h - 1 - 2 * k);
    uint8_t* y0 = y_plane + static_cast<ptrdiff_t>(2 * k) * y_pitch;
    uint8_t* y1 = y0 + y_pitch;
    convert_pixel::ToYv12Pairs(y0, y1, u_plane + k * chroma_pitch, v_plane + k * chroma_pitch,
                               row_a, row_b, 0, w / 2);
  }
}

void BgraRowsToYv12Ref(uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v, const uint8_t* bgra0,
                       const uint8_t* bgra1, uint32_t w) {
  convert_pixel::ToYv12Pairs(y0, y1, u, v, bgra1, bgra0, 0, w / 2);
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
const ConvertKernels kReference = {"c", 0, &BgraToYv12Ref, &Yv12ToBgraRef, &BgraRowsToYv12Ref};
}
