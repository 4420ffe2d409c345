// The execute path: one frame from the host's BGRA source to its BGRA
// destination. The host forms read their frames (the plug-in through the
// host's services, the command line from files) and hand them over here.
#pragma once

#include <cstdint>

#include "host/frame_path.h"

// What the host reports for one execute call. Row r of a frame starts at
// its pixels + r x row bytes (row bytes may be negative).
struct ExecuteFrames {
  int32_t frame_number = 0;
  int32_t frame_total = 0;
  uint16_t field_flags = 0;
  int32_t src_width = 0;  // frame bounds: right - left
  int32_t src_height = 0;
  int32_t dst_width = 0;
  int32_t dst_height = 0;
  int32_t src_row_bytes = 0;
  int32_t dst_row_bytes = 0;
  const uint8_t* src_pixels = nullptr;
  uint8_t* dst_pixels = nullptr;
};

inline constexpr uint16_t kFieldFlagSkipOdd = 0x0200;
inline constexpr uint16_t kFieldFlagSkipEven = 0x0100;

// Renders one frame with g_settings (reloaded on the way) and the stored
// region. Returns 0 on every path; no exception leaves it.
// With `comb_map` set, a processed frame gets the comb map drawn over it
// (the command line's --show-map; the plug-in never sets it).
int32_t ExecuteFrame(const ExecuteFrames& frames, bool comb_map = false);
