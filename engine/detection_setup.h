// What every form of the interlace detector shares: the start of a
// detection (cleared results, border marks, threshold, frame-level scale)
// and the table of marking histories.
#pragma once

#include <cstdint>
#include <cstring>

namespace detection {

// Histories (5 bits, newest step in bit 0) whose middle step begins or
// continues a run of comb hits: 00111, 01111, 10110, 10111, 11100 ... 11111.
inline constexpr uint8_t kMarkingHistory[32] = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1,
                                                0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1};

// The frame is interlaced throughout once count x scale exceeds this.
inline constexpr uint64_t kFrameLimit = uint64_t{1} << 26;

// Internal to each file that includes it: the ISA files compile it with
// their own instruction sets, and one shared out-of-line copy could run
// SSE2 code on a processor without it.
namespace {

struct Setup {
  uint32_t blocks_x;
  uint64_t scale;  // 2^28 / pixels
  int16_t thr;     // low 16 bits of the halved threshold, signed
};

// Clears the map and the block counts and sets the border marks: the last
// four columns are never examined, so they are always interpolated.
inline Setup Begin(uint8_t* map, uint8_t* block_hits, uint32_t w, uint32_t h,
                   uint32_t interlace_threshold) {
  const uint32_t blocks_x = w / 16;
  std::memset(map, 0, static_cast<size_t>(w) * h);
  std::memset(block_hits, 0, static_cast<size_t>(blocks_x) * (h / 16));
  map[0] = 0xFF;
  for (uint32_t r = 0; r + 1 < h; ++r)
    std::memset(map + static_cast<size_t>(r) * w + w - 4, 0xFF, 4);
  std::memset(map + static_cast<size_t>(h - 1) * w + w - 4, 0xFF, 3);
  return {blocks_x, (uint64_t{1} << 28) / (static_cast<uint64_t>(w) * h),
          static_cast<int16_t>(static_cast<uint16_t>(interlace_threshold / 2))};
}

}  // namespace
}  // namespace detection
