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

// What an execute call did with the destination.
enum class ExecuteOutcome {
  kSkipped,    // the other call of a field pair: the destination is as it was
  kCopied,     // the source copied through
  kProcessed,  // rendered by the frame path
};

// The steps of an execute call that the plug-in takes from the store as the
// call goes on. The defaults keep what the call was given, as a render does
// that read the store once for all its frames.
class ExecuteStore {
 public:
  // A frame copied for its size: whether the alert sound plays.
  virtual bool SoundAlert() { return false; }
  // A frame of a size that can be processed, before the method test: the
  // settings it is processed with.
  virtual void ReloadSettings(DeinterlaceParameters*) {}
  // A frame about to be processed: its region, kept until the call ends.
  virtual void LoadRegion(FrameRegion*) {}

 protected:
  ~ExecuteStore() = default;
};

// One execute call with the caller's settings, region, log and workspace:
// the field tests and the copy paths, then the frame path. Calls with
// their own workspaces may run on several threads at once. No exception
// leaves it. With `comb_map` set, a processed frame gets the comb map drawn
// over it (the command line's --show-map; the plug-in never sets it).
ExecuteOutcome ExecuteFrame(const ExecuteFrames& frames, DeinterlaceParameters settings,
                            FrameRegion region, LogSink* log, FrameWorkspace& workspace,
                            ExecuteStore& store, bool comb_map = false);
