// Portable reference of the colour conversions.
#include "convert/convert.h"
#include "convert/pixel_formulas.h"

namespace {

void BgraRowsToYv12Ref(uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v, const uint8_t* bgra0,
                       const uint8_t* bgra1, uint32_t w) {
  convert_pixel::ToYv12Pairs(y0, y1, u, v, bgra1, bgra0, 0, w / 2);
}

void Yv12RowToBgraRef(uint8_t* out, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                      uint32_t w, uint8_t alpha) {
  convert_pixel::ToBgraRow(out, y, u, v, 0, w, alpha);
}

}  // namespace

namespace convert_detail {
const ConvertKernels kReference = {"c",
                                   0,
                                   &convert_pixel::BgraToYv12Image<&BgraRowsToYv12Ref>,
                                   &convert_pixel::Yv12ToBgraImage<&Yv12RowToBgraRef>,
                                   &BgraRowsToYv12Ref,
                                   &Yv12RowToBgraRef};
}
