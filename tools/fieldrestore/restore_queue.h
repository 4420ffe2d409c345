// How `fieldrestore render --method restore` renders a clip: every frame
// with the frames just before and after it, written in order.
#pragma once

#include <cstdint>
#include <string>

#include "tools/fieldrestore/render_queue.h"
#include "tools/fieldrestore/store_report.h"

// What the restoring method may use of the clip.
enum class RestoreReach : uint8_t {
  kBoth,      // the frames before and after each frame
  kPrevious,  // only the frames before, as the frei0r plug-in has them
};

// Renders every frame of the stream (plain row bytes: frames extended to
// multiples of 16 and cropped back) on `threads` threads with the store's
// region, log switch and the comb map when `show_map`; every thread count
// gives the same bytes. Frames are written in order up to the first
// failure, which stops the render with `error` set; `done` counts the
// frames written; `warning` tells of threads the system refused.
bool RunRestoreQueue(const RenderJob& job, RestoreReach reach, unsigned threads,
                     const RenderStore& store, bool show_map, FrameStream& stream, uint64_t* done,
                     std::string* error, std::string* warning);
