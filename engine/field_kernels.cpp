// The one chooser of the field kernels: fills a table from the reference
// and the ISA files the processor's features allow.
#include "engine/field_kernels.h"

#include "platform/cpu.h"

FieldKernels MakeFieldKernels(uint32_t features) {
  FieldKernels k = field_kernels_detail::kReference;
#if defined(__i386__) || defined(__x86_64__)
  if (features & platform::kCpuFeatureMmx) field_kernels_detail::InitMmx(k);
  if (features & platform::kCpuFeatureSse2) field_kernels_detail::InitSse2(k);
  if (features & platform::kCpuFeatureAvx2) field_kernels_detail::InitAvx2(k);
#else
  (void)features;
#endif
  return k;
}

// Built on first use, so that callers from other static initialisers (the
// benchmarks register per variant) never see it empty.
std::span<const FieldKernels> FieldKernelVariants() {
  static const auto variants = platform::TablesPerLevel(&MakeFieldKernels);
  return variants;
}

const FieldKernels& ActiveFieldKernels() { return platform::BestVariant(FieldKernelVariants()); }

uint32_t DetectInterlace(uint8_t* map, uint8_t* block_hits, const uint8_t* src_y, uint32_t width,
                         uint32_t height, uint32_t interlace_threshold) {
  return ActiveFieldKernels().detect_interlace(map, block_hits, src_y, width, height,
                                               interlace_threshold);
}

void InterpolateLuma(uint8_t* dst, const uint8_t* src, const uint8_t* map, uint32_t width,
                     uint32_t height, bool all) {
  ActiveFieldKernels().interpolate_luma(dst, src, map, width, height, all);
}

void InterpolateChroma(uint8_t* dst_a, uint8_t* dst_b, const uint8_t* src_a, const uint8_t* src_b,
                       uint32_t width, uint32_t height, bool all) {
  ActiveFieldKernels().interpolate_chroma(dst_a, dst_b, src_a, src_b, width, height, all);
}

void DoubleField(uint8_t* plane, uint32_t width, uint32_t height) {
  ActiveFieldKernels().double_field(plane, width, height);
}
