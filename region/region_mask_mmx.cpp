// MMX form of the region block copy: a 64-bit move per luma row and a
// 32-bit move per chroma row, with EMMS after each group of rows so that
// floating-point code after it is unaffected.
#include <mmintrin.h>

#include <cstring>

#include "region/region_mask.h"

namespace {

inline __m64 Load8(const uint8_t* p) {
  __m64 v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store8(uint8_t* p, __m64 v) { std::memcpy(p, &v, 8); }

inline __m64 Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si64(v);
}
inline void Store4(uint8_t* p, __m64 v) {
  const int32_t bits = _mm_cvtsi64_si32(v);
  std::memcpy(p, &bits, 4);
}

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
