// Block motion estimation (method 4) and the advanced method (method 5):
// blocks of the rebuilt field are matched against the other field and
// replaced or corrected where the match is close.
//
// Window bounds are computed in 64 bits: with a large or negative `area`
// they clip to the frame (or come out empty) instead of overflowing.
#include <algorithm>
#include <cstring>

#include "engine/me_deinterlacer.h"

namespace {

constexpr uint32_t kCoarseStart = 0x200000;  // above any 8x4 distance
constexpr uint32_t kFineStart = 0x800000;    // above any 16x8 distance
constexpr uint32_t kAdvancedStart = 0x1000000;

// Displacements [lo, hi] that keep a patch corner at `at + u` within
// [0, last] while |u| <= range.
struct Window {
  int64_t lo, hi;
};
Window Clip(int64_t at, int64_t range, int64_t last) {
  return {std::max<int64_t>(at - range, 0) - at, std::min<int64_t>(at + range, last) - at};
}

}  // namespace

void MEDeinterlacer::ClearBlockVectors() {
  std::fill(block_vectors.get(), block_vectors.get() + block_count, BlockVector{0, 0, 0});
}

void MEDeinterlacer::EstimateMotion() {
  const bool whole_frame_interlaced = DetectAndInterpolate();
  const BlockKernels& k = block_kernels_;
  k.reduce_luma(src_reduced.get(), src_y, width, height);
  k.reduce_luma(dst_reduced.get(), dst_y, width, height);
  ClearBlockVectors();
  if (whole_frame_interlaced) return;
  for (uint32_t n = 0; n < block_count; ++n) {
    if (block_comb_hits[n] > 32) SearchBlock(n, params.area);
  }
  if (params.is_replace_only_interlaced_pixels) Restore();
}

void MEDeinterlacer::SearchBlock(uint32_t n, int32_t area) {
  const uint32_t threshold = params.block_distance_threshold;
  const uint32_t bx = n % blocks_x, by = n / blocks_x;
  int32_t range = area;
  if (bx > 0 && by > 0) {
    const BlockVector* neighbours[] = {&block_vectors[n - 1], &block_vectors[n - blocks_x],
                                       &block_vectors[n - blocks_x - 1]};
    bool agree = true;
    uint32_t squares = 0;  // a signed 32-bit sum, computed wrapping
    for (const BlockVector* v : neighbours) {
      agree = agree && v->distance != 0 && v->distance < threshold;
      squares += static_cast<uint32_t>(v->dx) * static_cast<uint32_t>(v->dx) +
                 static_cast<uint32_t>(v->dy) * static_cast<uint32_t>(v->dy);
    }
    if (agree && static_cast<int32_t>(squares) < 64) range = 4;
  }
  CoarseSearch(n, range / 2, range / 4);
  BlockVector& vector = block_vectors[n];
  if (vector.distance < threshold) {
    FineSearch(n, 2, 2);
  } else {
    vector.dx = 0;
    vector.dy = 0;
    FineSearch(n, range, range);
  }
  if (vector.distance >= threshold) return;
  const BlockPosition corner = block_positions[n];
  const uint8_t* from =
      src_y + static_cast<ptrdiff_t>(corner.y + vector.dy) * width + corner.x + vector.dx;
  uint8_t* to = dst_y + static_cast<ptrdiff_t>(corner.y) * width + corner.x;
  for (int m = 0; m < 8; ++m) {
    std::memcpy(to + static_cast<ptrdiff_t>(m) * field_stride,
                from + static_cast<ptrdiff_t>(m) * field_stride, 16);
  }
}

void MEDeinterlacer::CoarseSearch(uint32_t n, int32_t range_x, int32_t range_y) {
  const BlockKernels& k = block_kernels_;
  const int64_t cx = reduced_block_positions[n].x, cy = reduced_block_positions[n].y;
  const Window wu = Clip(cx, range_x, int64_t{reduced_width} - 8);
  const Window wv = Clip(cy, range_y, int64_t{reduced_height} - 4);
  const uint8_t* reference = dst_reduced.get() + reduced_block_offsets[n];
  uint32_t best = kCoarseStart;
  int64_t best_u = 0, best_v = 0;
  for (int64_t v = wv.lo; v <= wv.hi; ++v) {
    const uint8_t* row = src_reduced.get() + (cy + v) * reduced_width + cx;
    int32_t at = -1;
    k.search_row_8x4(row + wu.lo, static_cast<int32_t>(wu.hi - wu.lo + 1), reference,
                     static_cast<int32_t>(reduced_width), &best, &at);
    if (at >= 0) {
      best_u = wu.lo + at;
      best_v = v;
    }
  }
  block_vectors[n] = {4 * best, static_cast<int32_t>(2 * best_u), static_cast<int32_t>(4 * best_v)};
}

void MEDeinterlacer::FineSearch(uint32_t n, int32_t range_x, int32_t range_y) {
  const BlockKernels& k = block_kernels_;
  BlockVector& vector = block_vectors[n];
  const BlockPosition corner = block_positions[n];
  const int64_t px = int64_t{corner.x} + vector.dx, py = int64_t{corner.y} + vector.dy;
  const Window wu = Clip(px, range_x, int64_t{width} - 16);
  const Window wv = Clip(py, range_y, int64_t{height} - 16);
  const uint8_t* reference = dst_y + block_offsets[n];
  uint32_t best = kFineStart;
  int64_t best_u = 0, best_v = 0;
  for (int64_t v = wv.lo; v <= wv.hi; v += 2) {
    const uint8_t* row = src_y + (py + v) * width + px;
    int32_t at = -1;
    k.search_row_16x8(row + wu.lo, static_cast<int32_t>(wu.hi - wu.lo + 1), reference,
                      static_cast<int32_t>(field_stride), &best, &at);
    if (at >= 0) {
      best_u = wu.lo + at;
      best_v = v;
    }
  }
  vector.dx += static_cast<int32_t>(best_u);
  vector.dy += static_cast<int32_t>(best_v);
  vector.distance = best;
}

void MEDeinterlacer::EstimateMotionAdvanced() {
  const bool whole_frame_interlaced = DetectAndInterpolate();
  ClearBlockVectors();
  if (whole_frame_interlaced) return;
  const BlockKernels& k = block_kernels_;
  // Row r of the search image: by default source row r + 1 (the kept field
  // at even r), else the destination as it is when read.
  const uint8_t* search = params.is_search_within_interpolated ? dst_y : src_y + width;
  const int64_t r = params.area;
  for (uint32_t n = 0; n < block_count; ++n) {
    const int64_t x0 = block_positions[n].x, y0 = block_positions[n].y;
    const int64_t xs = std::max<int64_t>(x0 - r, 0),
                  xe = std::min<int64_t>(x0 + r, int64_t{width} - 16);
    const int64_t ys = std::max<int64_t>(y0 - r, 0),
                  ye = std::min<int64_t>(y0 + r, int64_t{height} - 16);
    const uint8_t* reference = src_y + block_offsets[n];
    uint32_t best = kAdvancedStart;
    // An empty window keeps a zero displacement.
    int64_t best_x = x0, best_y = y0;
    for (int64_t y = ys; y < ye; y += 2) {
      if (xe <= xs) break;
      int32_t at = -1;
      k.search_row_16x8(search + y * width + xs, static_cast<int32_t>(xe - xs), reference,
                        static_cast<int32_t>(field_stride), &best, &at);
      if (at >= 0) {
        best_x = xs + at;
        best_y = y;
      }
    }
    block_vectors[n] = {best, static_cast<int32_t>(best_x - x0), static_cast<int32_t>(best_y - y0)};
  }
  const uint32_t limit = static_cast<uint32_t>(params.replace_threshold);
  for (uint32_t n = 0; n < block_count; ++n) {
    const BlockVector& vector = block_vectors[n];
    if (block_comb_hits[n] <= 32 || vector.distance >= params.block_distance_threshold) continue;
    const BlockPosition corner = block_positions[n];
    ReplaceBlockPixels(
        dst_y + block_offsets[n],
        search + static_cast<ptrdiff_t>(corner.y + vector.dy) * width + corner.x + vector.dx,
        limit);
  }
  if (params.is_replace_only_interlaced_pixels) Restore();
}

void MEDeinterlacer::ReplaceBlockPixels(uint8_t* block, const uint8_t* patch, uint32_t limit) {
  block_kernels_.replace_samples_16x8(block, patch, limit, static_cast<int32_t>(field_stride));
}
