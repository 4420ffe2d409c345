// The restoring method's render: three source frames in turn (the one
// before, the current, the one after), each read once.
#include "tools/fieldrestore/restore_queue.h"

#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "host/restore_path.h"
#include "host/settings.h"
#include "tools/fieldrestore/render_picture.h"

namespace {

// A frame's diagnostic lines, kept until the frame is written.
class LineCollector final : public LogSink {
 public:
  explicit LineCollector(std::string* lines) : lines_(lines) {}
  void Write(const char* line) override {
    lines_->append(line);
    lines_->push_back('\n');
  }

 private:
  std::string* lines_;
};

}  // namespace

bool RunRestoreQueue(const RenderJob& job, RestoreReach reach, unsigned /*threads*/,
                     const RenderStore& store, bool show_map, FrameStream& stream, uint64_t* done,
                     std::string* error) {
  *done = 0;
  error->clear();
  try {
    // Source frames by role; each holds its own destination too, of which
    // only the current one's is written.
    std::unique_ptr<PictureFrames> frames[3];
    const auto read = [&](uint64_t index, std::unique_ptr<PictureFrames>& into) {
      const FrameStream::Read r = stream.ReadFrame(
          index,
          [&] {
            if (!into) {
              into = std::make_unique<PictureFrames>(job.width, job.height, job.src_row_bytes,
                                                     job.dst_row_bytes, job.keep);
            }
            return into->Source();
          },
          error);
      if (r == FrameStream::Read::kFrame) into->ExtendSource();
      return r;
    };
    switch (read(0, frames[1])) {
      case FrameStream::Read::kEnd:
        return true;
      case FrameStream::Read::kFailed:
        return false;
      case FrameStream::Read::kFrame:
        break;
    }
    bool has_next = false;
    {
      const FrameStream::Read r = read(1, frames[2]);
      if (r == FrameStream::Read::kFailed) return false;
      has_next = r == FrameStream::Read::kFrame;
    }
    RestoreWorkspace workspace;
    const FrameRegion region{store.region.get(), nullptr};
    for (uint64_t i = 0;; ++i) {
      ExecuteFrames f;
      frames[1]->Describe(&f);
      const HostFrames host{f.src_pixels,
                            f.src_row_bytes,
                            f.dst_pixels,
                            f.dst_row_bytes,
                            static_cast<uint32_t>(f.src_width),
                            static_cast<uint32_t>(f.src_height)};
      FrameNeighbours neighbours;
      neighbours.index = i;
      ExecuteFrames n;
      if (i > 0 && frames[0]) {
        frames[0]->Describe(&n);
        neighbours.previous = n.src_pixels;
      }
      ExecuteFrames m;
      if (has_next && reach == RestoreReach::kBoth) {
        frames[2]->Describe(&m);
        neighbours.next = m.src_pixels;
      }
      std::string lines;
      LineCollector log(&lines);
      RenderRestoredFrame(host, neighbours, region, store.debug ? &log : nullptr, workspace,
                          show_map);
      if (!lines.empty()) AppendLog(lines);
      if (!stream.WriteFrame(i, frames[1]->Result(), error)) return false;
      ++*done;
      if (!has_next) return true;
      std::swap(frames[0], frames[1]);
      std::swap(frames[1], frames[2]);
      const FrameStream::Read r = read(i + 2, frames[2]);
      if (r == FrameStream::Read::kFailed) return false;
      has_next = r == FrameStream::Read::kFrame;
    }
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
}
