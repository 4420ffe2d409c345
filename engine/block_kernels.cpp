// The one chooser of the block kernels.
#include "engine/block_kernels.h"

#include "platform/cpu.h"

BlockKernels MakeBlockKernels(uint32_t features) {
  BlockKernels k = block_kernels_detail::kReference;
#if defined(__i386__) || defined(__x86_64__)
  if (features & platform::kCpuFeatureMmx) block_kernels_detail::InitMmx(k);
  if (features & platform::kCpuFeatureSse2) block_kernels_detail::InitSse2(k);
  if (features & platform::kCpuFeatureAvx2) block_kernels_detail::InitAvx2(k);
#else
  (void)features;
#endif
  return k;
}

std::span<const BlockKernels> BlockKernelVariants() {
  static const auto variants = platform::TablesPerLevel(&MakeBlockKernels);
  return variants;
}

const BlockKernels& ActiveBlockKernels() { return platform::BestVariant(BlockKernelVariants()); }

uint32_t BlockDistance8x4(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                          int32_t stride) {
  return ActiveBlockKernels().distance_8x4(candidate, reference, best, stride);
}

uint32_t BlockDistance16x8(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                           int32_t stride) {
  return ActiveBlockKernels().distance_16x8(candidate, reference, best, stride);
}

void ReduceLuma(uint8_t* out, const uint8_t* luma, uint32_t width, uint32_t height) {
  ActiveBlockKernels().reduce_luma(out, luma, width, height);
}

void ReplaceSamples16x8(uint8_t* dst, const uint8_t* patch, uint32_t limit, int32_t stride) {
  ActiveBlockKernels().replace_samples_16x8(dst, patch, limit, stride);
}
