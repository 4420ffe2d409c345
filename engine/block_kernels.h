// Kernels of the block searches: the two block distances with their
// per-row early exit, the 2:1 x 4:1 luma reduction and the per-sample
// replacement of the advanced method. A portable reference of each; x86
// forms live in engine/x86/, one file per ISA. Whoever runs the kernels
// fills a table once (MakeBlockKernels) and calls through it; the public
// names are thin callers of the table for the processor's features now.
//
// Width contract: the patches are exactly 8x4 and 16x8 bytes, any stride
// and alignment; ReduceLuma takes any even width and writes width / 2 bytes
// in each of height / 4 rows.
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
  // One row of a search window: the candidates at candidates + i for
  // i = 0 .. count - 1 (none when count <= 0) in order, each compared with
  // the running best as the distances above would; one whose distance is
  // below *best becomes the best (*best, and *best_index = i).
  void (*search_row_8x4)(const uint8_t* candidates, int32_t count, const uint8_t* reference,
                         int32_t stride, uint32_t* best, int32_t* best_index);
  void (*search_row_16x8)(const uint8_t* candidates, int32_t count, const uint8_t* reference,
                          int32_t stride, uint32_t* best, int32_t* best_index);
};

// The table for `features`: the reference first, then each ISA the features
// include replaces the functions it implements.
BlockKernels MakeBlockKernels(uint32_t features);
// One table per instruction-set level, the reference first.
std::span<const BlockKernels> BlockKernelVariants();
// The table for the processor's features now: what the public names use.
const BlockKernels& ActiveBlockKernels();

namespace block_kernels_detail {
extern const BlockKernels kReference;
void InitMmx(BlockKernels& k);
void InitSse2(BlockKernels& k);
void InitAvx2(BlockKernels& k);
}  // namespace block_kernels_detail
