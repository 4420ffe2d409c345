// MMX form of the region block copy: a 64-bit move per luma row and a
// 32-bit move per chroma row, with EMMS after each group of rows so that
// floating-point code after it is unaffected.
#include <mmintrin.h>

#include <cstring>

#include "platform/mmx.h"
#include "region/region_mask.h"

namespace {

using mmx::Load4;
using mmx::Load8;
using mmx::Store4;
using mmx::Store8;

}  // namespace

void region_kernels_detail::CopyBlockMmx(uint8_t* out_y, const uint8_t* src_y, size_t stride_y,
                                         uint8_t* out_v, const uint8_t* src_v, uint8_t* out_u,
                                         const uint8_t* src_u, size_t stride_c) {
  for (int row = 0; row < 8; ++row) Store8(out_y + row * stride_y, Load8(src_y + row * stride_y));
  _mm_empty();
  for (int row = 0; row < 4; ++row) Store4(out_v + row * stride_c, Load4(src_v + row * stride_c));
  _mm_empty();
  for (int row = 0; row < 4; ++row) Store4(out_u + row * stride_c, Load4(src_u + row * stride_c));
  _mm_empty();
}
