// Building the region mask from the rectangle list, and putting the source
// pixels back into the blocks it excludes.
#include "region/region_mask.h"

#include <algorithm>
#include <cstring>

#include "platform/cpu.h"
#include "region/rect_list.h"

void region_kernels_detail::CopyBlockReference(uint8_t* out_y, const uint8_t* src_y,
                                               size_t stride_y, uint8_t* out_v,
                                               const uint8_t* src_v, uint8_t* out_u,
                                               const uint8_t* src_u, size_t stride_c) {
  for (size_t row = 0; row < 8; ++row)
    std::memcpy(out_y + row * stride_y, src_y + row * stride_y, 8);
  for (size_t row = 0; row < 4; ++row)
    std::memcpy(out_v + row * stride_c, src_v + row * stride_c, 4);
  for (size_t row = 0; row < 4; ++row)
    std::memcpy(out_u + row * stride_c, src_u + row * stride_c, 4);
}

namespace {

constexpr RegionKernels kVariants[] = {
    {"reference", 0, &region_kernels_detail::CopyBlockReference},
#if defined(__i386__) || defined(__x86_64__)
    {"mmx", platform::kCpuFeatureMmx, &region_kernels_detail::CopyBlockMmx},
#endif
};

// The part of a block that lies inside a plane of the given size, copied a
// row at a time; only frames whose size is not a multiple of 8 need it.
void CopyClipped(uint8_t* output, const uint8_t* source, int64_t x0, int64_t y0, int64_t block,
                 int64_t width, int64_t height) {
  const int64_t columns = std::min(block, width - x0);
  const int64_t rows = std::min(block, height - y0);
  if (columns <= 0 || rows <= 0) return;
  for (int64_t row = y0; row < y0 + rows; ++row) {
    const size_t offset = static_cast<size_t>(row * width + x0);
    std::memcpy(output + offset, source + offset, static_cast<size_t>(columns));
  }
}

}  // namespace

std::span<const RegionKernels> RegionKernelVariants() { return kVariants; }

const RegionKernels& ActiveRegionKernels() { return platform::BestVariant(RegionKernelVariants()); }

size_t RegionMaskEntries(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<size_t>((int64_t{width} + 7) / 8) *
         static_cast<size_t>((int64_t{height} + 7) / 8);
}

void BuildRegionMask(int32_t* mask, int32_t width, int32_t height, const CRectList* list) {
  if (!mask) return;
  size_t k = 0;
  // Each block is decided by its top-left pixel alone.
  for (int64_t y = 0; y < height; y += 8) {
    for (int64_t x = 0; x < width; x += 8) {
      mask[k++] = list ? list->IsProcessed(static_cast<int32_t>(x), static_cast<int32_t>(y)) : 1;
    }
  }
}

void ApplyRegionMask(int32_t height, uint8_t* output, const uint8_t* source, const int32_t* mask,
                     int32_t width) {
  ApplyRegionMaskWith(ActiveRegionKernels(), height, output, source, mask, width);
}

void ApplyRegionMaskWith(const RegionKernels& kernels, int32_t height, uint8_t* output,
                         const uint8_t* source, const int32_t* mask, int32_t width) {
  if (!output || !source || !mask || height <= 0 || width <= 0) return;
  const int64_t w = width, h = height;
  const int64_t chroma_w = w / 2, chroma_h = h / 2;
  const size_t v_offset = static_cast<size_t>(w * h);
  const size_t u_offset = static_cast<size_t>(5 * w * h / 4);
  const int64_t blocks_x = (w + 7) / 8, blocks_y = (h + 7) / 8;
  size_t k = 0;
  for (int64_t by = 0; by < blocks_y; ++by) {
    for (int64_t bx = 0; bx < blocks_x; ++bx) {
      if (mask[k++] != 0) continue;
      const int64_t x = 8 * bx, y = 8 * by, cx = 4 * bx, cy = 4 * by;
      if (x + 8 <= w && y + 8 <= h && cx + 4 <= chroma_w && cy + 4 <= chroma_h) {
        const size_t luma = static_cast<size_t>(y * w + x);
        const size_t chroma = static_cast<size_t>(cy * chroma_w + cx);
        kernels.copy_block(output + luma, source + luma, static_cast<size_t>(w),
                           output + v_offset + chroma, source + v_offset + chroma,
                           output + u_offset + chroma, source + u_offset + chroma,
                           static_cast<size_t>(chroma_w));
      } else {
        CopyClipped(output, source, x, y, 8, w, h);
        CopyClipped(output + v_offset, source + v_offset, cx, cy, 4, chroma_w, chroma_h);
        CopyClipped(output + u_offset, source + u_offset, cx, cy, 4, chroma_w, chroma_h);
      }
    }
  }
}
