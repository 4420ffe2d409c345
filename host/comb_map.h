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

// Marks the destination frame of `frames` (already converted back) from
// the engine's last frame and the region mask (0: excluded block).
void DrawCombMap(const HostFrames& frames, const MEDeinterlacer& engine,
                 const DeinterlaceParameters& settings, const int32_t* region_mask);
