// Kernels of the block searches: the two block distances with their
// per-row early exit, the 2:1 x 4:1 luma reduction and the per-sample
// replacement of the advanced method. A portable reference and, on x86,
// an MMX form of each; the public names call the best form available.
#pragma once

#include <cstdint>
#include <span>

// Sum of squared differences of two 8x4 (16x8) patches sharing `stride`.
// After each row the partial sum is compared with `best`; once it is not
// below `best` it is returned at once, else the full sum is returned.
uint32_t BlockDistance8x4(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                          int32_t stride);
uint32_t BlockDistance16x8(const uint8_t* candidate, const uint8_t* reference, uint32_t best,
                           int32_t stride);

// out[y * (W/2) + x] = luma[4y * W + 2x]: every other sample of every
// fourth row, no filtering.
void ReduceLuma(uint8_t* out, const uint8_t* luma, uint32_t width, uint32_t height);

// For each of 16 x 8 samples (rows `stride` apart) in order, top row first
// and left to right: dst takes patch's value where |dst - patch| < limit
// (unsigned). In place: a read sees every earlier write, as when the patch
// overlaps the block in the same image.
void ReplaceSamples16x8(uint8_t* dst, const uint8_t* patch, uint32_t limit, int32_t stride);

struct BlockKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  uint32_t (*distance_8x4)(const uint8_t*, const uint8_t*, uint32_t, int32_t);
  uint32_t (*distance_16x8)(const uint8_t*, const uint8_t*, uint32_t, int32_t);
  void (*reduce_luma)(uint8_t*, const uint8_t*, uint32_t, uint32_t);
  void (*replace_samples_16x8)(uint8_t*, const uint8_t*, uint32_t, int32_t);
};

// Every variant built into this binary, the reference first.
std::span<const BlockKernels> BlockKernelVariants();
// The variant the public names use now (the searches fetch it once a frame).
const BlockKernels& ActiveBlockKernels();

namespace block_kernels_detail {
extern const BlockKernels kReference;
#if defined(__i386__) || defined(__x86_64__)
extern const BlockKernels kMmx;
#endif
}  // namespace block_kernels_detail
