// The frame scheduler of `fieldrestore render`: frames are read in order
// into a bounded set of buffers, rendered on several threads at once, each
// with its own renderer, frames and workspace, and written strictly in
// order, byte for byte as one thread renders them.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/picture_frames.h"
#include "platform/memory_block.h"
#include "tools/fieldrestore/frame_renderer.h"

// A picture as the render's files hold it (4 x width bytes a row, top row
// first), in memory that comes with its pages in place.
using PictureBuffer = std::vector<uint8_t, platform::BlockAllocator<uint8_t>>;

// Where a render's pictures come from and go. Frames are written in order,
// one at a time, on any of the render's threads.
class FrameStream {
 public:
  enum class Read { kFrame, kEnd, kFailed };
  // Reads frame `index` into the rows `rows` gives, which it asks for
  // only once the frame is there to be read (so that a stream that never
  // sends a frame costs no frame memory). kEnd: there are no more frames;
  // kFailed with `error` set: the frame cannot be read.
  virtual Read ReadFrame(uint64_t index, const std::function<PictureView()>& rows,
                         std::string* error) = 0;
  // Whether frames may be read on several threads at once, each at its own
  // index (a file can be read at any position); otherwise they are read in
  // order, one at a time.
  virtual bool ReadsAtAnyPosition() const { return false; }
  // Writes frame `index`; false with `error` set when it cannot.
  virtual bool WriteFrame(uint64_t index, const PictureView& picture, std::string* error) = 0;

 protected:
  ~FrameStream() = default;
};

// The frames of one render: their geometry and how they are numbered.
struct RenderJob {
  uint32_t width = 0, height = 0;
  int64_t src_row_bytes = 0, dst_row_bytes = 0;
  KeptField keep = KeptField::kBottom;
  int32_t first_frame = 0;
  int32_t frame_total = 0;  // 0 when unknown
  uint16_t field_flags = 0;
};

// A frame's diagnostic lines, kept until the frame is written.
class LineCollector final : public LogSink {
 public:
  explicit LineCollector(std::string* lines) : lines_(lines) {}
  void Write(const char* line) override;

 private:
  std::string* lines_;
};

// What a failure of a frame's memory is called until the render says how
// much it asked for (OutOfMemory), and what other failures are called.
inline constexpr const char* kOutOfMemory = "out of memory";
std::string FailureOf(const std::exception& e);
// Why memory ran out, with what the render holds and what may help.
std::string OutOfMemory(const RenderJob& job, unsigned threads);
// The warning of a render that went on with fewer threads than it asked
// for, the system having refused the others.
std::string ThreadsRefused(unsigned started, unsigned threads, const std::string& refused);

using RendererMaker = std::function<std::unique_ptr<FrameRenderer>(std::string* error)>;

// The host's frame number of the frame `done` frames after the first; the
// 32-bit counter wraps around as a host's would (its parity, which decides
// the skipped calls of a field pair, is kept).
int32_t FrameNumber(int32_t first, uint64_t done);

// The memory one render thread holds for W x H frames: about 24 bytes a
// pixel (its frames, the engine images and tables, and its share of the
// queued pictures).
uint64_t RenderThreadBytes(uint32_t width, uint32_t height);

// The thread count a render of W x H frames uses when none is given: one
// per processor, but no more than keep the render's memory near 192 MiB.
unsigned DefaultRenderThreads(uint32_t width, uint32_t height);

// The most threads a render runs: more than processors bring no speed, and
// every thread holds its own frames.
inline constexpr unsigned kRenderThreadCeiling = 64;

// The threads a render of `frames` frames (0 when unknown, as for a stream)
// runs when `requested` are asked for: no more than the ceiling, and no
// more than there are frames.
unsigned RenderThreadCount(uint64_t requested, uint64_t frames);

// Renders every frame of the stream with `threads` renderers (one renders
// on the calling thread alone). The diagnostic lines the renderers hand
// back go to the log frame by frame, in order, before each frame is
// written. Frames are written in order up to the first failure, which
// stops the render with `error` set: a frame that cannot be read or
// written, a renderer that cannot be had or fails, memory that runs out,
// renderers that render one frame at a time (through the plug-in's module
// state) given more than one thread. `done` counts the frames written.
// When the system refuses some of the threads, the render goes on with
// those it started and `warning` says so.
bool RunRenderQueue(const RenderJob& job, unsigned threads, const RendererMaker& make_renderer,
                    FrameStream& stream, uint64_t* done, std::string* error,
                    std::string* warning = nullptr);
