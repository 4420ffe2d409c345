// The render's frame scheduler. Every render thread reads frames (a file's
// at any position, a stream's in turn) straight into its own source frame,
// renders them with its own renderer (with its workspace) into its own
// destination frame, and copies the result into a slot; the slots pass
// between the threads under the queue's lock, and the thread that finishes
// the frame next in line writes it.
//
// One thread writes each frame's result from a destination frame that the
// previous frames left behind. Every frame that is not skipped writes the
// same bytes of it (the geometry and the setting are the same for all
// frames), so a worker's frames give the same pictures as the one
// thread's; a skipped call leaves the destination as it was, so that frame
// comes out as the previous one did (zeros before the first), which the
// writer repeats from the picture it wrote last.
#include "tools/fieldrestore/render_queue.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "host/settings.h"
#include "tools/fieldrestore/render_picture.h"

void LineCollector::Write(const char* line) {
  lines_->append(line);
  lines_->push_back('\n');
}

std::string FailureOf(const std::exception& e) {
  return dynamic_cast<const std::bad_alloc*>(&e) ? kOutOfMemory : e.what();
}

std::string OutOfMemory(const RenderJob& job, unsigned threads) {
  const std::string size = std::to_string(job.width) + "x" + std::to_string(job.height);
  const std::string mib = std::to_string(RenderThreadBytes(job.width, job.height) >> 20);
  if (threads <= 1)
    return "out of memory: rendering " + size + " frames takes about " + mib + " MiB";
  return "out of memory: each of the " + std::to_string(threads) + " render threads holds about " +
         mib + " MiB for " + size + " frames; use fewer --threads";
}

std::string ThreadsRefused(unsigned started, unsigned threads, const std::string& refused) {
  return "only " + std::to_string(started) + " of " + std::to_string(threads) +
         " render threads could be started (" + refused + "); the render went on with " +
         std::to_string(started);
}

namespace {

struct Worker {
  std::unique_ptr<FrameRenderer> renderer;
  std::optional<PictureFrames> frames;  // made when its first frame is there to be read
};

struct Slot {
  enum class State { kFree, kReady, kRendering, kDone };
  State state = State::kFree;
  uint64_t index = 0;
  PictureBuffer picture;
  ExecuteOutcome outcome = ExecuteOutcome::kProcessed;
  std::string log;
  std::string failure;  // the frame failed: nothing of it is written
};

// Reads frame `index` straight into the worker's source frame (made when
// the first frame is there) and completes the frame around it.
FrameStream::Read ReadFrame(const RenderJob& job, FrameStream& stream, uint64_t index,
                            Worker& worker, std::string* error) {
  try {
    const FrameStream::Read read = stream.ReadFrame(
        index,
        [&] {
          if (!worker.frames) {
            worker.frames.emplace(job.width, job.height, job.src_row_bytes, job.dst_row_bytes,
                                  job.keep);
          }
          return worker.frames->Source();
        },
        error);
    if (read == FrameStream::Read::kFrame) worker.frames->ExtendSource();
    return read;
  } catch (const std::exception& e) {
    *error = FailureOf(e);
    return FrameStream::Read::kFailed;
  }
}

// Renders the frame the worker has read, as one call of the execute path,
// into the worker's destination frame.
void RenderSlot(const RenderJob& job, Worker& worker, Slot& slot) {
  slot.log.clear();
  slot.failure.clear();
  try {
    ExecuteFrames f;
    f.frame_number = FrameNumber(job.first_frame, slot.index);
    f.frame_total = job.frame_total;
    f.field_flags = job.field_flags;
    worker.frames->Describe(&f);
    LineCollector log(&slot.log);
    slot.outcome = worker.renderer->Render(f, &log);
    slot.failure = worker.renderer->StoreFailureOfFrame();
  } catch (const std::exception& e) {
    slot.failure = FailureOf(e);
  }
}

// Copies the worker's rendered picture into the slot, for another thread
// to write once its turn comes.
void StoreResult(const RenderJob& job, Worker& worker, Slot& slot) {
  try {
    slot.picture.resize(size_t{4} * job.width * job.height);
    CopyPictureRows(worker.frames->Result(),
                    PackedPicture(slot.picture.data(), job.width, job.height));
  } catch (const std::exception& e) {
    slot.failure = FailureOf(e);
  }
}

// Every thread, the calling one included, takes a free slot for the next
// frame, reads the frame into its own source frame (a file's frames on
// every thread at once, a stream's in turn) and renders it. The thread
// whose frame is next in line writes it straight from its destination
// frame, and then every frame after it that is finished already; a frame
// finished out of turn is first copied into its slot. So no thread is
// woken only to write: while frames keep coming, the threads hand slots to
// each other under the lock without sleeping. Besides one slot a thread,
// one holds the picture written last and two hold frames finished before
// the one next in line.
class ThreadedQueue {
 public:
  ThreadedQueue(const RenderJob& job, std::vector<Worker>& workers, FrameStream& stream)
      : job_(job), stream_(stream), workers_(workers), slots_(workers.size() + 3) {}

  // Runs the workers, each on a thread of its own, the first on the
  // calling thread. Threads the system refuses are left out (their
  // workers take no frames); `refused` says why.
  bool Run(uint64_t* done, std::string* error, unsigned* started, std::string* refused) {
    std::vector<std::thread> threads;
    threads.reserve(workers_.size() - 1);
    for (size_t i = 1; i < workers_.size(); ++i) {
      try {
        threads.emplace_back([this, i] { Work(workers_[i]); });
      } catch (const std::system_error& e) {
        *refused = e.code().message();
        break;
      }
    }
    *started = static_cast<unsigned>(threads.size()) + 1;
    Work(workers_[0]);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ended_.wait(lock, [&] { return finished_; });
    }
    for (std::thread& thread : threads) thread.join();
    *done = written_;
    *error = error_;
    return error_.empty();
  }

 private:
  void Work(Worker& worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Slot* slot = nullptr;
      slot_free_.wait(lock, [&] { return input_ended_ || (slot = FreeSlot()); });
      if (!slot) return;
      slot->state = Slot::State::kRendering;
      lock.unlock();
      const bool read = ReadInto(worker, *slot);
      const bool rendered = read && slot->failure.empty();
      if (rendered) RenderSlot(job_, worker, *slot);
      lock.lock();
      if (!read) continue;
      if (direct_ && rendered && slot->failure.empty() && !writing_ && !stopped_ &&
          written_ == slot->index) {
        // The frame next in line is written straight from the worker's
        // frame, then whatever finished behind it.
        writing_ = true;
        lock.unlock();
        std::string error;
        const bool written = Write(*slot, worker.frames->Result(), &error);
        lock.lock();
        slot->state = Slot::State::kFree;
        slot_free_.notify_one();
        if (Wrote(written, error)) {
          WriteFinished(lock);
        } else {
          writing_ = false;
          Finish();
        }
        continue;
      }
      if (rendered && slot->failure.empty()) {
        // The worker's frames are needed for its next frame.
        lock.unlock();
        StoreResult(job_, worker, *slot);
        lock.lock();
      }
      slot->state = Slot::State::kDone;
      if (!writing_) WriteFinished(lock);
    }
  }

  // Reads the next frame for the slot into the worker's source frame. True
  // when the worker holds it, or the reason it cannot be read (a failed
  // frame, which stops the render when its turn to be written comes);
  // false, with the slot freed, when the stream has no more.
  bool ReadInto(Worker& worker, Slot& slot) {
    // A file is read on every thread at once, each at its own frame; a
    // stream in order, by one thread at a time.
    std::unique_lock<std::mutex> reading(read_mutex_, std::defer_lock);
    if (!any_position_) reading.lock();
    uint64_t index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (input_ended_) {
        slot.state = Slot::State::kFree;
        return false;
      }
      index = next_read_++;
    }
    std::string error;
    const FrameStream::Read read = ReadFrame(job_, stream_, index, worker, &error);
    std::lock_guard<std::mutex> lock(mutex_);
    slot.index = index;
    slot.failure.clear();
    slot.log.clear();
    if (read == FrameStream::Read::kFrame) return true;
    // Nothing is read after the end or a frame that cannot be read.
    input_ended_ = true;
    slot_free_.notify_all();
    if (read == FrameStream::Read::kFailed) {
      slot.failure = error;
      end_ = std::min(end_, index + 1);
      return true;
    }
    slot.state = Slot::State::kFree;
    end_ = std::min(end_, index);
    if (!writing_ && written_ == end_) Finish();
    return false;
  }

  void Finish() {
    finished_ = true;
    ended_.notify_one();
  }

  // With the lock held, as the one writer: writes the finished frames next
  // in line, in order, dropping the lock while each is written.
  void WriteFinished(std::unique_lock<std::mutex>& lock) {
    writing_ = true;
    Slot* slot = nullptr;
    while (!stopped_ && (slot = Finished(written_))) {
      lock.unlock();
      std::string error;
      const bool written =
          Write(*slot, PackedPicture(slot->picture.data(), job_.width, job_.height), &error);
      lock.lock();
      Release(*slot);
      if (!Wrote(written, error)) break;
    }
    writing_ = false;
    if (stopped_ || (input_ended_ && written_ == end_)) Finish();
  }

  // With the lock held: counts a frame written, or stops the render when it
  // could not be. Nothing after a frame that cannot be rendered or written
  // is written (a later frame's read failure gives way to it).
  bool Wrote(bool written, const std::string& error) {
    if (written) {
      ++written_;
      return true;
    }
    error_ = error;
    stopped_ = true;
    input_ended_ = true;
    slot_free_.notify_all();
    return false;
  }

  Slot* Finished(uint64_t index) {
    for (Slot& slot : slots_) {
      if (slot.state == Slot::State::kDone && slot.index == index) return &slot;
    }
    return nullptr;
  }

  Slot* FreeSlot() {
    for (Slot& slot : slots_) {
      if (slot.state == Slot::State::kFree) return &slot;
    }
    return nullptr;
  }

  // Writes a finished frame (its log lines first) from `rendered`, or the
  // picture a skipped frame repeats; false with `error` set when it failed
  // or cannot be written.
  bool Write(const Slot& slot, const PictureView& rendered, std::string* error) {
    if (!slot.failure.empty()) {
      *error = slot.failure;
      return false;
    }
    if (!slot.log.empty()) AppendLog(slot.log);
    if (slot.outcome != ExecuteOutcome::kSkipped) {
      return stream_.WriteFrame(slot.index, rendered, error);
    }
    if (last_) {
      return stream_.WriteFrame(
          slot.index, PackedPicture(last_->picture.data(), job_.width, job_.height), error);
    }
    zeros_.assign(size_t{4} * job_.width * job_.height, 0);
    return stream_.WriteFrame(slot.index, PackedPicture(zeros_.data(), job_.width, job_.height),
                              error);
  }

  // With the lock held: frees a written slot, or keeps it as the picture a
  // skipped frame repeats (freeing the one it replaces).
  void Release(Slot& slot) {
    if (slot.outcome == ExecuteOutcome::kSkipped || !slot.failure.empty()) {
      slot.state = Slot::State::kFree;
    } else {
      if (last_) last_->state = Slot::State::kFree;
      last_ = &slot;
    }
    slot_free_.notify_one();
  }

  const RenderJob& job_;
  FrameStream& stream_;
  std::vector<Worker>& workers_;
  std::vector<Slot> slots_;
  std::mutex mutex_;       // the slots' states and what follows
  std::mutex read_mutex_;  // one thread reads a stream at a time
  std::condition_variable slot_free_, ended_;
  bool input_ended_ = false;  // no more frames are read
  bool writing_ = false;      // a thread is writing frames
  bool stopped_ = false;      // a frame could not be rendered or written
  bool finished_ = false;     // every frame read has been written, or the render stopped
  const bool any_position_ = stream_.ReadsAtAnyPosition();
  // Frames written straight from the frame that rendered them: not when
  // the field flags may skip calls, whose frames repeat the picture written
  // last, kept in its slot.
  const bool direct_ = (job_.field_flags & (kFieldFlagSkipOdd | kFieldFlagSkipEven)) == 0;
  uint64_t next_read_ = 0;     // the next frame a thread reads
  uint64_t end_ = UINT64_MAX;  // the frames there are to write, once known
  uint64_t written_ = 0;
  std::string error_;     // why the render stopped early
  Slot* last_ = nullptr;  // the last picture written, which a skipped frame repeats
  PictureBuffer zeros_;
};

bool RunWorkers(const RenderJob& job, unsigned threads, const RendererMaker& make_renderer,
                FrameStream& stream, uint64_t* done, std::string* error, std::string* warning) {
  std::vector<Worker> workers(threads);
  for (Worker& worker : workers) {
    worker.renderer = make_renderer(error);
    if (!worker.renderer) return false;
    // Renderers that share the plug-in's module state would race on it,
    // and one thread's skipped call would repeat that thread's last frame.
    if (threads > 1 && !worker.renderer->RendersOnSeveralThreads()) {
      *error = "the renderer renders one frame at a time and cannot run on " +
               std::to_string(threads) + " threads";
      return false;
    }
  }
  if (workers.size() > 1) {
    unsigned started = 0;
    std::string refused;
    const bool rendered = ThreadedQueue(job, workers, stream).Run(done, error, &started, &refused);
    if (started < threads && warning) {
      *warning = ThreadsRefused(started, threads, refused);
    }
    return rendered;
  }
  // One thread reads, renders and writes each frame in turn.
  Slot slot;
  for (;; ++*done) {
    switch (ReadFrame(job, stream, *done, workers[0], error)) {
      case FrameStream::Read::kEnd:
        return true;
      case FrameStream::Read::kFailed:
        return false;
      case FrameStream::Read::kFrame:
        break;
    }
    slot.index = *done;
    RenderSlot(job, workers[0], slot);
    if (!slot.failure.empty()) {
      *error = slot.failure;
      return false;
    }
    if (!slot.log.empty()) AppendLog(slot.log);
    // A skipped call leaves the destination frame as the frame before left
    // it, which is what the skipped frame writes.
    if (!stream.WriteFrame(*done, workers[0].frames->Result(), error)) return false;
  }
}

}  // namespace

int32_t FrameNumber(int32_t first, uint64_t done) {
  return static_cast<int32_t>(static_cast<uint32_t>(first) + static_cast<uint32_t>(done));
}

uint64_t RenderThreadBytes(uint32_t width, uint32_t height) {
  return uint64_t{24} * width * height;
}

unsigned DefaultRenderThreads(uint32_t width, uint32_t height) {
  constexpr uint64_t kBudget = uint64_t{192} << 20;
  const uint64_t per_thread = std::max<uint64_t>(1, RenderThreadBytes(width, height));
  const uint64_t by_memory = std::max<uint64_t>(1, kBudget / per_thread);
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<uint64_t>(processors, by_memory));
}

unsigned RenderThreadCount(uint64_t requested, uint64_t frames) {
  uint64_t count = std::clamp<uint64_t>(requested, 1, kRenderThreadCeiling);
  if (frames > 0) count = std::min(count, frames);
  return static_cast<unsigned>(count);
}

bool RunRenderQueue(const RenderJob& job, unsigned threads, const RendererMaker& make_renderer,
                    FrameStream& stream, uint64_t* done, std::string* error, std::string* warning) {
  *done = 0;
  error->clear();
  if (warning) warning->clear();
  threads = std::max(1u, threads);
  bool rendered = false;
  try {
    rendered = RunWorkers(job, threads, make_renderer, stream, done, error, warning);
  } catch (const std::bad_alloc&) {
    *error = kOutOfMemory;
  }
  if (*error == kOutOfMemory) *error = OutOfMemory(job, threads);
  return rendered;
}
