// Drawing the comb map over a rendered frame.
#include "host/comb_map.h"

#include <vector>

bool BlockReplaced(const MEDeinterlacer& engine, const DeinterlaceParameters& settings,
                   uint32_t n) {
  const uint32_t method = static_cast<uint32_t>(settings.method);
  // The block loops of both methods replace exactly the blocks with more
  // than 32 comb hits whose best match lies below the threshold.
  return (method == 4 || method == 5) && !engine.WholeFrameInterlaced() &&
         engine.BlockCombHits()[n] > 32 &&
         engine.BlockVectors()[n].distance < settings.block_distance_threshold;
}

void DrawCombMap(const HostFrames& f, const MEDeinterlacer& engine,
                 const DeinterlaceParameters& settings, const int32_t* region_mask) {
  const uint32_t method = static_cast<uint32_t>(settings.method);
  const bool detected = method >= 3 && method <= 5;
  std::vector<uint8_t> replaced(engine.BlockCount());
  for (uint32_t n = 0; n < replaced.size(); ++n) replaced[n] = BlockReplaced(engine, settings, n);
  const uint8_t* combed = engine.InterlaceMap();
  MarkFrame(f, region_mask, [&](uint8_t* pixel, uint32_t r, uint32_t x) {
    if (replaced[(r / 16) * engine.blocks_x + x / 16]) MarkPixel(pixel, kReplacedColour);
    if (detected && combed[size_t{r} * f.width + x]) MarkPixel(pixel, kCombedColour);
  });
}
