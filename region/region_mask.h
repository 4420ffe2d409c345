// The region mask and its application. The mask has one 32-bit entry per
// 8x8 luma block, row-major, 0 where the block keeps its source pixels;
// applying it copies those blocks from the deinterlacer's source frame back
// into its output frame, in all three planes of the frame-order YV12
// layout (Y plane W x H, then the V and U planes W/2 x H/2, pitch W/2).
//
// The block copy has a portable reference and, on x86, an MMX form; a small
// table of function pointers, filled once from the processor's features,
// chooses between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class CRectList;

// The entries a W x H frame has: ceil(W/8) x ceil(H/8), 0 when W or H is
// not positive.
size_t RegionMaskEntries(int32_t width, int32_t height);

// Sets each entry to IsProcessed of its block's top-left pixel in the
// list, or to 1 when there is no list.
void BuildRegionMask(int32_t* mask, int32_t width, int32_t height, const CRectList* list);

// Copies every block whose entry is 0 from `source` to `output`: 8 luma
// rows of 8 bytes and 4 rows of 4 bytes in each chroma plane. Does nothing
// without both frames and the mask or when the height is not positive.
// Blocks of a size that is not a multiple of 8 are copied only as far as
// they lie inside each plane.
void ApplyRegionMask(int32_t height, uint8_t* output, const uint8_t* source, const int32_t* mask,
                     int32_t width);

// One implementation of the block copy.
struct RegionKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  // One whole block: 8 rows of 8 bytes at out_y/src_y (row stride
  // stride_y), then 4 rows of 4 bytes in each chroma plane (stride_c).
  void (*copy_block)(uint8_t* out_y, const uint8_t* src_y, size_t stride_y, uint8_t* out_v,
                     const uint8_t* src_v, uint8_t* out_u, const uint8_t* src_u, size_t stride_c);
};

// Every variant built into this binary, the reference first.
std::span<const RegionKernels> RegionKernelVariants();
// The variant ApplyRegionMask uses now (looked up on every call, so that a
// changed feature mask takes effect at once).
const RegionKernels& ActiveRegionKernels();

// ApplyRegionMask with a given variant.
void ApplyRegionMaskWith(const RegionKernels& kernels, int32_t height, uint8_t* output,
                         const uint8_t* source, const int32_t* mask, int32_t width);

namespace region_kernels_detail {
// The block copies behind the variants (same arguments as copy_block).
void CopyBlockReference(uint8_t* out_y, const uint8_t* src_y, size_t stride_y, uint8_t* out_v,
                        const uint8_t* src_v, uint8_t* out_u, const uint8_t* src_u,
                        size_t stride_c);
#if defined(__i386__) || defined(__x86_64__)
void CopyBlockMmx(uint8_t* out_y, const uint8_t* src_y, size_t stride_y, uint8_t* out_v,
                  const uint8_t* src_v, uint8_t* out_u, const uint8_t* src_u, size_t stride_c);
#endif
}  // namespace region_kernels_detail
