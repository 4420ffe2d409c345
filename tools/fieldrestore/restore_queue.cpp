// The restoring method's render. Each frame is rendered with the frames
// just before and after it, so source frames are shared: every frame is
// read once, in order, into a ring of host frames that the render threads
// read from, and stays there until the frames that need it are rendered.
// Each thread renders its frame into a destination frame of its own and
// writes it when its turn comes, so frames go out in order and every
// thread count gives the bytes of one.
//
// The ring holds threads + 2 frames: the renders in progress span at most
// `threads` consecutive frames from the lowest one not yet rendered, each
// needing the one before and after, so the frame that the last of them
// needs reuses the slot of a frame two below that lowest one, which no
// render still needs.
#include "tools/fieldrestore/restore_queue.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host/restore_path.h"
#include "host/settings.h"
#include "tools/fieldrestore/render_picture.h"

namespace {

// One host frame of the render's geometry (extended to multiples of 16),
// allocated when first used.
class HostFrame {
 public:
  explicit HostFrame(const RenderJob& job)
      : width_(job.width),
        height_(job.height),
        keep_(job.keep),
        frame_width_(PaddedSize(job.width)),
        frame_height_(PaddedSize(job.height)) {}
  uint8_t* Pixels() {
    if (pixels_.empty()) pixels_.resize(size_t{4} * frame_width_ * frame_height_);
    return pixels_.data();
  }
  HostFrameView View() {
    return HostFrameView{Pixels(), static_cast<ptrdiff_t>(4 * frame_width_), frame_width_,
                         frame_height_};
  }
  // The picture's rows in the frame.
  PictureView Picture() { return PictureInHostFrame(View(), width_, height_, keep_); }
  void Extend() { ExtendHostFrame(View(), width_, height_, keep_); }
  uint32_t FrameWidth() const { return frame_width_; }
  uint32_t FrameHeight() const { return frame_height_; }

 private:
  uint32_t width_, height_;
  KeptField keep_;
  uint32_t frame_width_, frame_height_;
  std::vector<uint8_t, platform::BlockAllocator<uint8_t>> pixels_;
};

class RestoreQueue {
 public:
  RestoreQueue(const RenderJob& job, RestoreReach reach, unsigned threads, const RenderStore& store,
               bool show_map, FrameStream& stream)
      : job_(job),
        reach_(reach),
        threads_(std::max(1u, threads)),
        store_(store),
        show_map_(show_map),
        stream_(stream) {
    for (size_t i = 0; i < threads_ + 2; ++i) ring_.emplace_back(job);
  }

  bool Run(uint64_t* done, std::string* error, std::string* warning) {
    std::vector<std::thread> others;
    for (unsigned i = 1; i < threads_; ++i) {
      try {
        others.emplace_back([this] { Work(); });
      } catch (const std::exception& e) {
        // The render goes on with the threads that started.
        if (warning) *warning = ThreadsRefused(i, threads_, e.what());
        break;
      }
    }
    Work();
    for (std::thread& t : others) t.join();
    *done = written_;
    *error = error_;
    return error_.empty();
  }

 private:
  // Whether frame `index` has been read (or lies past the end).
  bool Available(uint64_t index) const { return index < read_ || index >= end_; }
  // Whether the render of `index` has every frame it uses.
  bool Renderable(uint64_t index) const {
    return Available(index) && (index == 0 || Available(index - 1)) &&
           (reach_ == RestoreReach::kPrevious || Available(index + 1));
  }
  // Whether the ring slot of frame `index` is free: the frame it held
  // before is needed by no render still to come.
  bool SlotFree(uint64_t index) const {
    const uint64_t size = ring_.size();
    return index < size || lowest_unrendered_ > index - size + 1;
  }

  void Work() {
    std::optional<HostFrame> dst;
    RestoreWorkspace workspace;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (stopped_) return;
      if (next_render_ < end_ && Renderable(next_render_)) {
        const uint64_t index = next_render_++;
        // The next frame exists when it has been read (else the end is
        // known to come before it).
        const bool has_next = reach_ == RestoreReach::kBoth && index + 1 < read_;
        lock.unlock();
        std::string lines, failure;
        try {
          if (!dst) dst.emplace(job_);
          Render(index, has_next, *dst, workspace, &lines);
        } catch (const std::exception& e) {
          failure = FailureOf(e);
        }
        lock.lock();
        MarkRendered(index);
        // Frames go out in order: wait for this one's turn.
        turn_.wait(lock, [&] { return stopped_ || written_ == index; });
        if (stopped_) return;
        if (failure.empty()) {
          lock.unlock();
          if (!lines.empty()) AppendLog(lines);
          const bool ok = stream_.WriteFrame(index, dst->Picture(), &failure);
          lock.lock();
          if (ok) {
            ++written_;
            turn_.notify_all();
            continue;
          }
        }
        Stop(failure);
        return;
      }
      if (!reading_ && read_ < end_ && SlotFree(read_) && read_ <= next_render_ + threads_) {
        reading_ = true;
        const uint64_t index = read_;
        lock.unlock();
        std::string failure;
        FrameStream::Read result = FrameStream::Read::kFailed;
        HostFrame& into = ring_[index % ring_.size()];
        try {
          result = stream_.ReadFrame(
              index, [&] { return into.Picture(); }, &failure);
          if (result == FrameStream::Read::kFrame) into.Extend();
        } catch (const std::exception& e) {
          failure = FailureOf(e);
        }
        lock.lock();
        reading_ = false;
        if (result == FrameStream::Read::kFrame) {
          ++read_;
        } else {
          end_ = index;
          if (result == FrameStream::Read::kFailed) read_failure_ = failure;
        }
        if (written_ == end_) Finish();
        turn_.notify_all();
        continue;
      }
      if (written_ >= end_) {
        Finish();
        return;
      }
      turn_.wait(lock);
    }
  }

  void Render(uint64_t index, bool has_next, HostFrame& dst, RestoreWorkspace& workspace,
              std::string* lines) {
    HostFrame& src = ring_[index % ring_.size()];
    const auto source = [&](uint64_t i) { return ring_[i % ring_.size()].Pixels(); };
    FrameNeighbours neighbours;
    neighbours.index = index;
    if (index > 0) neighbours.previous = source(index - 1);
    if (has_next) neighbours.next = source(index + 1);
    const int32_t row_bytes = static_cast<int32_t>(4 * src.FrameWidth());
    const HostFrames frames{src.Pixels(), row_bytes,        dst.Pixels(),
                            row_bytes,    src.FrameWidth(), src.FrameHeight()};
    LineCollector log(lines);
    RenderRestoredFrame(frames, neighbours, FrameRegion{store_.region.get(), nullptr},
                        store_.debug ? &log : nullptr, workspace, show_map_);
  }

  void MarkRendered(uint64_t index) {
    rendered_.push_back(index);
    std::sort(rendered_.begin(), rendered_.end());
    while (!rendered_.empty() && rendered_.front() == lowest_unrendered_) {
      rendered_.erase(rendered_.begin());
      ++lowest_unrendered_;
    }
    turn_.notify_all();
  }

  void Stop(const std::string& failure) {
    if (error_.empty()) error_ = failure.empty() ? "a frame could not be rendered" : failure;
    stopped_ = true;
    turn_.notify_all();
  }

  void Finish() {
    // Every frame read is written: a read that failed is the render's
    // failure now.
    if (!read_failure_.empty() && error_.empty()) error_ = read_failure_;
    stopped_ = true;
    turn_.notify_all();
  }

  const RenderJob& job_;
  const RestoreReach reach_;
  const unsigned threads_;
  const RenderStore& store_;
  const bool show_map_;
  FrameStream& stream_;
  std::vector<HostFrame> ring_;
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t read_ = 0;               // frames read
  uint64_t end_ = UINT64_MAX;       // the frame count, once known
  uint64_t next_render_ = 0;        // the next frame a thread takes
  uint64_t lowest_unrendered_ = 0;  // every frame below it is rendered
  std::vector<uint64_t> rendered_;  // rendered frames above that
  uint64_t written_ = 0;
  bool reading_ = false;
  bool stopped_ = false;
  std::string error_, read_failure_;
};

}  // namespace

bool RunRestoreQueue(const RenderJob& job, RestoreReach reach, unsigned threads,
                     const RenderStore& store, bool show_map, FrameStream& stream, uint64_t* done,
                     std::string* error, std::string* warning) {
  *done = 0;
  error->clear();
  if (warning) warning->clear();
  try {
    RestoreQueue(job, reach, threads, store, show_map, stream).Run(done, error, warning);
  } catch (const std::exception& e) {
    *error = FailureOf(e);
  }
  if (*error == kOutOfMemory) *error = OutOfMemory(job, std::max(1u, threads));
  return error->empty();
}
