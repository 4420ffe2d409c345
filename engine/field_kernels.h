// Kernels of the field methods: interlace detection, line interpolation of
// the rebuilt field (luma and chroma) and field doubling. Each has a
// portable reference and, on x86, an MMX form; the public names call the
// best form the processor offers (limited by platform::SetCpuFeatureMask).
//
// Row convention: in every plane the odd rows are the kept field, the even
// rows the rebuilt field.
#pragma once

#include <cstdint>
#include <span>

// Writes `map` (width x height bytes, 0x00 or 0xFF: interpolate this pixel)
// and `block_hits` (one comb-hit count per 16x16 block); returns 1 when the
// frame is interlaced throughout, else 0. Reads source rows 4 to height,
// that is width bytes past the end of the Y plane as well.
uint32_t DetectInterlace(uint8_t* map, uint8_t* block_hits, const uint8_t* src_y, uint32_t width,
                         uint32_t height, uint32_t interlace_threshold);

// Rebuilds the even rows of a Y plane with the four-tap filter (where `map`
// marks them, or everywhere when `all`) and copies the odd rows.
void InterpolateLuma(uint8_t* dst, const uint8_t* src, const uint8_t* map, uint32_t width,
                     uint32_t height, bool all);

// Rebuilds the even rows of two chroma planes, a then b (everywhere when
// `all`, else where the local comb test fires) and copies the odd rows.
void InterpolateChroma(uint8_t* dst_a, uint8_t* dst_b, const uint8_t* src_a, const uint8_t* src_b,
                       uint32_t width, uint32_t height, bool all);

// In place: every even row becomes a copy of the odd row below it.
void DoubleField(uint8_t* plane, uint32_t width, uint32_t height);

// One implementation of the whole family.
struct FieldKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  uint32_t (*detect_interlace)(uint8_t*, uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t);
  void (*interpolate_luma)(uint8_t*, const uint8_t*, const uint8_t*, uint32_t, uint32_t, bool);
  void (*interpolate_chroma)(uint8_t*, uint8_t*, const uint8_t*, const uint8_t*, uint32_t, uint32_t,
                             bool);
  void (*double_field)(uint8_t*, uint32_t, uint32_t);
};

// Every variant built into this binary, the reference first; tests and
// benchmarks run each one the processor supports.
std::span<const FieldKernels> FieldKernelVariants();

// The variant the public names use now.
const FieldKernels& ActiveFieldKernels();

namespace field_kernels_detail {
extern const FieldKernels kReference;
#if defined(__i386__) || defined(__x86_64__)
extern const FieldKernels kMmx;
#endif
}  // namespace field_kernels_detail
