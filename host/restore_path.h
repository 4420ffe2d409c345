// The restoring method's frame path, beside the plug-in's: one BGRA frame
// and the frames around it in, the rebuilt frame out. The kept rows and
// the blocks outside the processing region leave exactly as they came in;
// nothing goes through a colour conversion. Linux forms and the command
// line only: the plug-in never links it.
#pragma once

#include <cstdint>
#include <memory>

#include "host/frame_path.h"
#include "platform/scratch_memory.h"
#include "restore/field_restorer.h"

// The buffers of one instance, kept between frames of the same size.
class RestoreWorkspace {
 public:
  // Ready for W x H frames (multiples of 16). Throws std::bad_alloc.
  void Prepare(uint32_t width, uint32_t height);
  restore::FieldRestorer& Restorer() { return restorer_; }
  int32_t* Mask() { return mask_.get(); }
  uint8_t* Weights() { return weights_.get(); }

 private:
  uint32_t width_ = 0, height_ = 0;
  restore::FieldRestorer restorer_;
  platform::ScratchArray<int32_t> mask_;
  platform::ScratchArray<uint8_t> weights_;
};

// The source frames just before and after the current one, with the row
// bytes of the current source; null where the caller has none. `index`
// numbers the current frame: the same number must always mean the same
// frame for one workspace (index - 1 and index + 1 are its neighbours).
struct FrameNeighbours {
  const uint8_t* previous = nullptr;
  const uint8_t* next = nullptr;
  uint64_t index = 0;
};

// Renders one frame (width and height multiples of 16, the frame path's
// row order: the odd engine rows kept) with the restoring method; with
// `comb_map` set, marks over the result which rebuilt pixels came from
// time (green), which from space (red), and the excluded blocks (blue).
// Throws std::bad_alloc before it writes the destination.
void RenderRestoredFrame(const HostFrames& frames, const FrameNeighbours& neighbours,
                         const FrameRegion& region, LogSink* log, RestoreWorkspace& workspace,
                         bool comb_map = false);
