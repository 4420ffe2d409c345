// The restoring method: rebuilds the other field of a BGRA frame from the
// frames around it where it has them. It works on whole pixels (blue,
// green, red and alpha alike, no colour conversion) and hands back only
// the rows it rebuilt; the kept rows it copies as they are.
//
// Rows count as the frame path's engine rows do: the odd rows (1, 3, ...)
// are the kept field, the even rows are rebuilt. Times count fields from
// the kept field of the current frame: the other field of each frame lies
// one field before or after its kept field, which of the two the frames
// themselves tell (the other field closer in time combs less against the
// kept rows), so the caller need not know the material's field order.
//
// For each rebuilt pixel:
//  - motion: one vector per 16x16 block (restore/motion_search.h) from the
//    fields two and four apart;
//  - time: the other fields one field before and after the kept field,
//    each moved along the vector (six-tap filters between whole pixels; the
//    nearest row of each, a curvature correction for how far it lies from
//    the rebuilt row, none past three quarters of a line); only one of
//    them at the ends of a clip; the current frame's other field as it is
//    when there is no other frame;
//  - space: the four-tap vertical interpolation of the kept field;
//  - the blend of the two follows how well time agrees with itself and
//    with the kept fields along the motion, against how busy the picture
//    is, over a 5 x 3 window: still and well-matched pictures come out of
//    time exactly, the rest move towards space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/scratch_memory.h"
#include "restore/luma_planes.h"
#include "restore/motion_search.h"
#include "restore/restore_kernels.h"

namespace restore {

// One BGRA frame of the window: engine row r at row0 + r x stride. `id`
// names the frame so that its luma can be kept for the next call; frames
// with the same id must hold the same pixels.
struct WindowFrame {
  const uint8_t* row0 = nullptr;
  ptrdiff_t stride = 0;
  uint64_t id = 0;
};

// The current frame and, where the caller has them, the frames just
// before and after it (a null row0 leaves one out).
struct FrameWindow {
  WindowFrame previous, current, next;
};

// What was decided for each rebuilt pixel: its weight of space (0: time
// alone ... 16: space alone), one byte a pixel, rebuilt row y / 2.
struct RestoreDecisions {
  uint8_t* weights = nullptr;
  ptrdiff_t stride = 0;
};

class FieldRestorer {
 public:
  explicit FieldRestorer(const RestoreKernels& kernels = ActiveRestoreKernels()) : k_(kernels) {}

  // Rebuilds the current frame of the window (W x H, multiples of 16) into
  // dst (engine row r at dst_row0 + r x dst_stride): kept rows copied,
  // rebuilt rows rebuilt. Throws std::bad_alloc before it writes.
  void Restore(const FrameWindow& window, uint32_t width, uint32_t height, uint8_t* dst_row0,
               ptrdiff_t dst_stride, const RestoreDecisions* decisions = nullptr);

  // Whether the last frame's other field, for time, lay one field after
  // the kept field (true) or before it.
  bool OtherFieldFollowed() const { return other_follows_; }
  const std::vector<BlockMotion>& Motion() const { return motion_; }

 private:
  struct Cached {
    LumaPlanes planes;
    uint64_t id = 0;
    bool filled = false;
    uint64_t used = 0;
  };
  const LumaPlanes* Luma(const WindowFrame& frame, uint32_t width, uint32_t height);

  const RestoreKernels& k_;
  // The window's three frames: the least recently used one is the frame
  // that left the window.
  Cached cache_[3];
  uint64_t clock_ = 0;
  MotionSearch search_;
  std::vector<BlockMotion> motion_;
  bool other_follows_ = true;
  std::vector<uint8_t> measures_;  // three rows each of e and act, with margins
  std::vector<uint8_t> weights_;
  std::vector<uint8_t> scratch_;  // edge-extended BGRA rows
  // Runs of blocks of one block row that move alike, which the row kernels
  // take in one call; the first run of each block row.
  struct Run {
    uint32_t first, count;
  };
  std::vector<Run> runs_;
  std::vector<uint32_t> run_start_;
};

}  // namespace restore
