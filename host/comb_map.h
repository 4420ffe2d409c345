// The comb map, for choosing thresholds: drawn over a rendered frame in
// translucent colours, what the frame path decided for it. Each marked
// pixel becomes the average of itself and its mark's colour:
// - red: a pixel the interlace detector found combed (methods 3 to 5),
//   rebuilt from the kept field;
// - green: a 16x16 block whose rebuilt rows motion search replaced
//   (methods 4 and 5); a combed pixel there is marked red over green;
// - blue: an 8x8 block the region excludes (its source pixels kept); such
//   a block shows only this mark.
#pragma once

#include <cstdint>

#include "engine/deinterlace_parameters.h"
#include "engine/me_deinterlacer.h"
#include "host/frame_path.h"

// Mark colours, blue, green, red bytes as in a BGRA pixel.
inline constexpr uint8_t kCombedColour[3] = {0, 0, 255};
inline constexpr uint8_t kReplacedColour[3] = {0, 255, 0};
inline constexpr uint8_t kExcludedColour[3] = {255, 0, 0};

// True when motion search replaced block n in the engine's last frame.
bool BlockReplaced(const MEDeinterlacer& engine, const DeinterlaceParameters& settings, uint32_t n);

// A pixel marked: the average of itself and the colour.
inline void MarkPixel(uint8_t* pixel, const uint8_t colour[3]) {
  for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>((pixel[c] + colour[c]) / 2);
}

// Walks the destination frame of `frames`: a pixel of a block the region
// mask excludes is marked blue; every other goes to mark(pixel, engine
// row, column).
template <class Mark>
void MarkFrame(const HostFrames& f, const int32_t* region_mask, Mark mark) {
  const uint32_t mask_columns = (f.width + 7) / 8;
  for (uint32_t m = 0; m < f.height; ++m) {
    const uint32_t r = f.height - 1 - m;  // engine image row of frame row m
    uint8_t* row = f.dst + static_cast<int64_t>(m) * f.dst_row_bytes;
    for (uint32_t x = 0; x < f.width; ++x) {
      uint8_t* pixel = row + size_t{4} * x;
      if (region_mask && region_mask[(r / 8) * mask_columns + x / 8] == 0) {
        MarkPixel(pixel, kExcludedColour);
      } else {
        mark(pixel, r, x);
      }
    }
  }
}

// Marks the destination frame of `frames` (already converted back) from
// the engine's last frame and the region mask (0: excluded block).
void DrawCombMap(const HostFrames& frames, const MEDeinterlacer& engine,
                 const DeinterlaceParameters& settings, const int32_t* region_mask);
