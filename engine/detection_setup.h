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

// The state of one detection run that the SIMD forms pass between their
// parts: results, geometry and the running count of comb hits.
struct Run {
  uint8_t* map;
  uint8_t* block_hits;
  const uint8_t* src;
  uint32_t w, h, blocks_x;
  uint64_t scale;
  int16_t thr;
  uint64_t count;
};

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

// One even row's outcome for one group of four columns: bits 0-3 the
// columns that mark, bits 0-3 of `hits` the columns with a comb hit.
struct GroupRow {
  uint32_t marks, hits;
};

// Byte i of entry s is 0xFF where bit i of s is set (six bits).
struct SpreadTable {
  uint64_t bytes[64];
};
constexpr SpreadTable kSpread = [] {
  SpreadTable t{};
  for (uint32_t s = 0; s < 64; ++s)
    for (uint32_t i = 0; i < 6; ++i)
      if (s & (1u << i)) t.bytes[s] |= uint64_t{0xFF} << (8 * i);
  return t;
}();

// Applies row j of group g to the map and the block counts, as the one-group
// loop of the reference does; false once the frame counts as interlaced
// throughout.
inline bool ApplyGroupRow(Run& run, GroupRow r, uint32_t g, uint32_t j) {
  if (r.marks == 0) return true;
  const uint32_t hits = (r.hits & 1) + ((r.hits >> 1) & 1) + ((r.hits >> 2) & 1) + (r.hits >> 3);
  run.count += hits;
  if (run.count * run.scale > kFrameLimit) return false;
  // Column c marks bytes c, c + 1 and c + 2 of the six from 4g on; the two
  // bytes after them (still inside the row) are written back unchanged.
  const uint32_t spread = r.marks | r.marks << 1 | r.marks << 2;
  uint8_t* row = run.map + static_cast<size_t>(j - 4) * run.w + 4 * g;
  uint64_t bytes;
  std::memcpy(&bytes, row, 8);
  bytes |= kSpread.bytes[spread];
  std::memcpy(row, &bytes, 8);
  run.block_hits[((j - 1) / 16) * run.blocks_x + (g + 1) / 4] += static_cast<uint8_t>(hits);
  return true;
}

}  // namespace

// The SSE2 detector over column groups [first, end) of a run (two at a time);
// false once the frame counts as interlaced throughout. The AVX2 form leaves
// the groups after its last block of four to it.
bool DetectGroupsSse2(Run& run, uint32_t first, uint32_t end);

}  // namespace detection
