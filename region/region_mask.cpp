// Building the region mask from the rectangle list, and putting the source
// pixels back into the blocks it excludes.
#include "region/region_mask.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

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
  if (!mask || width <= 0 || height <= 0) return;
  // Each block is decided by its top-left pixel alone, and there by the
  // last rectangle in the queue that covers that pixel (1 when none does).
  // Asking IsProcessed per block would cost blocks x rectangles; instead
  // the rectangles are painted last first, each onto the blocks no later
  // one has taken. Per block row, `next` links every taken block to the
  // next block that may still be free (path-halving), so a rectangle costs
  // its block rows plus the blocks it takes.
  const int64_t blocks_x = (int64_t{width} + 7) / 8, blocks_y = (int64_t{height} + 7) / 8;
  const size_t entries = static_cast<size_t>(blocks_x * blocks_y);
  std::fill(mask, mask + entries, 1);
  if (!list || list->Count() == 0) return;
  // next[by * (blocks_x + 1) + bx]: the first free block at or after bx in
  // row by; blocks_x stands for the end of the row.
  std::vector<int32_t> next(static_cast<size_t>((blocks_x + 1) * blocks_y));
  for (int64_t by = 0; by < blocks_y; ++by) {
    for (int64_t bx = 0; bx <= blocks_x; ++bx) {
      next[static_cast<size_t>(by * (blocks_x + 1) + bx)] = static_cast<int32_t>(bx);
    }
  }
  const auto find = [](int32_t* row, int32_t bx) {
    while (row[bx] != bx) {
      row[bx] = row[row[bx]];
      bx = row[bx];
    }
    return bx;
  };
  for (auto it = std::make_reverse_iterator(list->end());
       it != std::make_reverse_iterator(list->begin()); ++it) {
    const RectItem& item = *it;
    // The blocks whose top-left pixel (8 bx, 8 by) lies inside the item.
    const int64_t bx0 = (std::max<int64_t>(item.left, 0) + 7) / 8;
    const int64_t bx1 = std::min<int64_t>(item.right < 0 ? -1 : item.right / 8, blocks_x - 1);
    const int64_t by0 = (std::max<int64_t>(item.top, 0) + 7) / 8;
    const int64_t by1 = std::min<int64_t>(item.bottom < 0 ? -1 : item.bottom / 8, blocks_y - 1);
    if (bx0 > bx1 || by0 > by1) continue;
    for (int64_t by = by0; by <= by1; ++by) {
      int32_t* row = next.data() + by * (blocks_x + 1);
      for (int32_t bx = find(row, static_cast<int32_t>(bx0)); bx <= bx1;
           bx = find(row, static_cast<int32_t>(bx))) {
        mask[by * blocks_x + bx] = item.include;
        row[bx] = bx + 1;
      }
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
