// The restoring method's frame path (host/restore_path.h).
#include "host/restore_path.h"

#include <cstring>

#include "host/comb_map.h"
#include "region/region_mask.h"

namespace {

// The restoring method's map: each rebuilt pixel (the even engine rows)
// marked by where it came from, `weights` (one byte a pixel, rebuilt row
// r / 2) being its weight of space (0 ... 16): green from time (8 or
// less), red from space; blocks the region excludes blue, as the comb map
// marks them.
constexpr uint8_t kTimeColour[3] = {0, 255, 0};
constexpr uint8_t kSpaceColour[3] = {0, 0, 255};

void DrawRestoreMap(const HostFrames& f, const uint8_t* weights, const int32_t* region_mask) {
  MarkFrame(f, region_mask, [&](uint8_t* pixel, uint32_t r, uint32_t x) {
    if (r % 2 == 0) {
      MarkPixel(pixel, weights[size_t{r / 2} * f.width + x] <= 8 ? kTimeColour : kSpaceColour);
    }
  });
}

}  // namespace

void RestoreWorkspace::Prepare(uint32_t width, uint32_t height) {
  if (mask_ && width == width_ && height == height_) return;
  mask_.reset();
  weights_ = platform::MakeScratchArray<uint8_t>(size_t{width} * (height / 2));
  mask_ = platform::MakeScratchArray<int32_t>(
      RegionMaskEntries(static_cast<int32_t>(width), static_cast<int32_t>(height)));
  width_ = width;
  height_ = height;
}

void RenderRestoredFrame(const HostFrames& f, const FrameNeighbours& neighbours,
                         const FrameRegion& region, LogSink* log, RestoreWorkspace& workspace,
                         bool comb_map) {
  workspace.Prepare(f.width, f.height);
  LogLine(log, "\nStart restore. Frame %llu%s%s", static_cast<unsigned long long>(neighbours.index),
          neighbours.previous ? ", with the previous frame" : "",
          neighbours.next ? ", with the next frame" : "");
  const int32_t* mask = region.mask;
  if (!mask) {
    BuildRegionMask(workspace.Mask(), static_cast<int32_t>(f.width), static_cast<int32_t>(f.height),
                    region.list);
    mask = workspace.Mask();
  }
  // Engine row r is host row H - 1 - r.
  const ptrdiff_t last = static_cast<ptrdiff_t>(f.height - 1);
  const auto window_frame = [&](const uint8_t* src, uint64_t id) {
    return restore::WindowFrame{src ? src + last * f.src_row_bytes : nullptr, -f.src_row_bytes, id};
  };
  restore::FrameWindow window;
  window.current = window_frame(f.src, neighbours.index);
  window.previous = window_frame(neighbours.previous, neighbours.index - 1);
  window.next = window_frame(neighbours.next, neighbours.index + 1);
  const restore::RestoreDecisions decisions{workspace.Weights(), static_cast<ptrdiff_t>(f.width)};
  workspace.Restorer().Restore(window, f.width, f.height, f.dst + last * f.dst_row_bytes,
                               -f.dst_row_bytes, comb_map ? &decisions : nullptr);
  // Blocks outside the region keep their source pixels.
  const uint32_t mask_columns = (f.width + 7) / 8;
  for (uint32_t r = 0; r < f.height; ++r) {
    const int32_t* entries = mask + (r / 8) * mask_columns;
    const ptrdiff_t m = last - r;
    for (uint32_t b = 0; b < mask_columns; ++b) {
      if (entries[b] != 0) continue;
      const uint32_t x = 8 * b, n = f.width - x < 8 ? f.width - x : 8;
      std::memcpy(f.dst + m * f.dst_row_bytes + 4 * x, f.src + m * f.src_row_bytes + 4 * x, 4 * n);
    }
  }
  if (comb_map) DrawRestoreMap(f, workspace.Weights(), mask);
  LogLine(log, "Other field %s the kept field. Done.",
          workspace.Restorer().OtherFieldFollowed() ? "after" : "before");
}
