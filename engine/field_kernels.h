// Kernels of the field methods: interlace detection, line interpolation of
// the rebuilt field (luma and chroma) and field doubling. Each has a
// portable reference; x86 forms live in engine/x86/, one file per ISA. A
// table of the family is filled once per owner (MakeFieldKernels); the
// public names call through the table for the processor's features now
// (limited by platform::SetCpuFeatureMask).
//
// Row convention: in every plane the odd rows are the kept field, the even
// rows the rebuilt field.
//
// Width contract, every form: DetectInterlace takes widths that are
// multiples of 16, the interpolations and DoubleField multiples of 8;
// heights are multiples of 16 for the detector and at least 8 and even for
// the others (the engine passes multiples of 16 and half of them for
// chroma); no byte outside the planes named is written or read, except the
// detector's row past the plane.
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

// The table for `features`: the reference first, then each ISA the features
// include replaces the functions it implements.
FieldKernels MakeFieldKernels(uint32_t features);

// One table per instruction-set level (platform::kIsaLevels), the reference
// first; tests and benchmarks run each one the processor supports.
std::span<const FieldKernels> FieldKernelVariants();

// The table for the processor's features now: what the public names use.
const FieldKernels& ActiveFieldKernels();

namespace field_kernels_detail {
extern const FieldKernels kReference;
// Each replaces the functions its ISA file implements.
void InitMmx(FieldKernels& k);
void InitSse2(FieldKernels& k);
void InitAvx2(FieldKernels& k);
}  // namespace field_kernels_detail
