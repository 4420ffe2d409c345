// The deinterlacer's settings record: five 32-bit integers, then two flag
// bytes, in the order in which they are stored and shown.
#pragma once

#include <cstdint>

struct DeinterlaceParameters {
  int32_t method = 4;
  int32_t area = 16;
  int32_t interlace_threshold = 48;
  uint32_t block_distance_threshold = 8192;  // compared unsigned
  int32_t replace_threshold = 0;
  uint8_t is_replace_only_interlaced_pixels = 0;
  uint8_t is_search_within_interpolated = 0;

  friend bool operator==(const DeinterlaceParameters&, const DeinterlaceParameters&) = default;
};
