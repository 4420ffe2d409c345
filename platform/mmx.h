// Unaligned loads and stores between memory and MMX registers, for the
// MMX kernel files (each compiled with -mmmx). The memcpy calls compile to
// single movq / movd instructions.
#pragma once

#include <mmintrin.h>

#include <cstdint>
#include <cstring>

namespace mmx {

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

// The register's 64 bits as an integer.
inline uint64_t ToU64(__m64 v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  return u;
}

}  // namespace mmx
