// The render's frame scheduler: several threads write the bytes one thread
// writes, frames the field flags skip and failures included.
#include "tools/fieldrestore/render_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "region/rect_list.h"
#include "tests/host/bgra_frames.h"
#include "tests/support.h"
#include "tools/fieldrestore/restore_queue.h"

namespace {

// Frames from memory into memory, read in order or at any position;
// reading or writing one frame may fail.
class MemoryStream final : public FrameStream {
 public:
  MemoryStream(const std::vector<std::vector<uint8_t>>& in, bool any_position, uint64_t fail_read,
               uint64_t fail_write)
      : in_(in), any_position_(any_position), fail_read_(fail_read), fail_write_(fail_write) {}
  bool ReadsAtAnyPosition() const override { return any_position_; }
  Read ReadFrame(uint64_t index, const std::function<PictureView()>& rows,
                 std::string* error) override {
    if (index == fail_read_) {
      *error = "short frame " + std::to_string(index);
      return Read::kFailed;
    }
    if (index >= in_.size()) return Read::kEnd;
    const PictureView picture = rows();
    CopyPictureRows(PackedPicture(in_[index].data(), picture.width, picture.height), picture);
    return Read::kFrame;
  }
  bool WriteFrame(uint64_t index, const PictureView& picture, std::string* error) override {
    if (index == fail_write_ || index != out.size()) {
      *error = "cannot write frame " + std::to_string(index);
      return false;
    }
    out.emplace_back(size_t{4} * picture.width * picture.height);
    CopyPictureRows(picture, PackedPicture(out.back().data(), picture.width, picture.height));
    return true;
  }
  std::vector<std::vector<uint8_t>> out;

 private:
  const std::vector<std::vector<uint8_t>>& in_;
  bool any_position_;
  uint64_t fail_read_, fail_write_;
};

struct Result {
  bool ok;
  std::string error;
  std::vector<std::vector<uint8_t>> out;
  std::string log;  // without the lines that show buffer addresses
};

class RenderQueueTest : public ::testing::Test {
 protected:
  RenderQueueTest() {
    // A region (with no store behind it) of an excluded corner with an
    // included part in it.
    store_.region.reset(new CRectList(""));
    store_.region->Add(0, 0, 0, 40, 200);
    store_.region->Add(1, 8, 8, 23, 23);
    store_.settings.method = 5;
    store_.debug = true;
  }
  ~RenderQueueTest() override { test::RemoveLog(); }

  Result Run(const RenderJob& job, unsigned threads, uint64_t fail_read = ~0ull,
             uint64_t fail_write = ~0ull) {
    test::RemoveLog();
    MemoryStream stream(in_, any_position_, fail_read, fail_write);
    uint64_t done = 0;
    Result r;
    const RenderStore& store = store_;
    r.ok = RunRenderQueue(
        job, threads, [&](std::string*) { return MakeSettingRenderer(store); }, stream, &done,
        &r.error);
    EXPECT_EQ(done, stream.out.size());
    r.out = std::move(stream.out);
    r.log = std::regex_replace(test::ReadLog(), std::regex("src = 0x[0-9A-F]+, dst = 0x[0-9A-F]+"),
                               "src, dst");
    return r;
  }

  void Frames(uint32_t w, uint32_t h, int count) {
    in_.clear();
    for (int i = 0; i < count; ++i) in_.push_back(test::CombedBgra(w, h, 2 * i));
  }

  RenderStore store_;
  std::vector<std::vector<uint8_t>> in_;
  bool any_position_ = false;  // frames read on several threads at once
};

TEST_F(RenderQueueTest, ThreadsWriteWhatOneThreadWrites) {
  struct Case {
    const char* name;
    uint32_t w, h;
    int64_t src_row_bytes, dst_row_bytes;  // 0: 4 x width
    KeptField keep;
    int32_t first_frame;
    uint16_t field_flags;
    int frames;
  };
  const Case cases[] = {
      {"plain", 64, 48, 0, 0, KeptField::kBottom, 0, 0, 7},
      {"1080 lines, top field", 40, 1080, 0, 0, KeptField::kTop, 0, 0, 3},
      // One field handed over in a destination of double pitch; the odd
      // calls are skipped, the first of them before any frame was written.
      {"field skips", 32, 32, 0, 256, KeptField::kBottom, 1, 0x0200, 7},
      {"both folded", 32, 16, 256, 256, KeptField::kBottom, 0, 0x0100, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frames(c.w, c.h, c.frames);
    RenderJob job;
    job.width = c.w;
    job.height = c.h;
    job.src_row_bytes = c.src_row_bytes ? c.src_row_bytes : 4 * c.w;
    job.dst_row_bytes = c.dst_row_bytes ? c.dst_row_bytes : 4 * c.w;
    job.keep = c.keep;
    job.first_frame = c.first_frame;
    job.frame_total = c.frames;
    job.field_flags = c.field_flags;
    const Result one = Run(job, 1);
    ASSERT_TRUE(one.ok) << one.error;
    ASSERT_EQ(one.out.size(), in_.size());
    EXPECT_NE(one.out[1], in_[1]);
    for (unsigned threads : {2u, 3u}) {
      for (bool any_position : {false, true}) {
        any_position_ = any_position;
        const Result many = Run(job, threads);
        ASSERT_TRUE(many.ok) << many.error;
        EXPECT_TRUE(many.out == one.out) << threads << " threads, any position " << any_position;
        EXPECT_EQ(many.log, one.log) << threads << " threads, any position " << any_position;
      }
    }
    any_position_ = false;
    if (c.field_flags) {
      // A skipped frame repeats the frame before it, zeros at first.
      EXPECT_EQ(one.out[0], std::vector<uint8_t>(in_[0].size(), 0));
      EXPECT_EQ(one.out[2], one.out[1]);
      EXPECT_NE(one.log.find("do not do any"), std::string::npos);
    }
  }
}

TEST_F(RenderQueueTest, AFailureStopsTheFramesInOrder) {
  Frames(32, 32, 8);
  RenderJob job;
  job.width = job.height = 32;
  job.src_row_bytes = job.dst_row_bytes = 128;
  const Result all = Run(job, 1);
  for (unsigned threads : {1u, 3u, 4u}) {
    // Four threads read the frames at any position, ahead of the failure.
    any_position_ = threads == 4;
    SCOPED_TRACE(threads);
    // The frames before one that cannot be read are written, and no other.
    Result r = Run(job, threads, 5);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "short frame 5");
    ASSERT_EQ(r.out.size(), 5u);
    EXPECT_TRUE(std::equal(r.out.begin(), r.out.end(), all.out.begin()));
    // A frame that cannot be written stops the render there.
    r = Run(job, threads, ~0ull, 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "cannot write frame 2");
    EXPECT_EQ(r.out.size(), 2u);
  }
  // Renderers with the plug-in's module state (on Windows the plug-in
  // itself) are refused a second thread before any frame is read.
  MemoryStream stream(in_, false, ~0ull, ~0ull);
  const RendererMaker as_plugin = [](std::string* error) { return MakeFrameRenderer(error); };
  uint64_t done = 0;
  std::string error;
  EXPECT_FALSE(RunRenderQueue(job, 2, as_plugin, stream, &done, &error));
  EXPECT_EQ(error, "the renderer renders one frame at a time and cannot run on 2 threads");
  EXPECT_TRUE(stream.out.empty());
  EXPECT_TRUE(RunRenderQueue(job, 1, as_plugin, stream, &done, &error)) << error;
  EXPECT_EQ(done, 8u);
  // Memory that runs out is named with what the render holds.
  job.width = 720;
  job.height = 576;
  const RendererMaker no_memory = [](std::string*) -> std::unique_ptr<FrameRenderer> {
    throw std::bad_alloc();
  };
  EXPECT_FALSE(RunRenderQueue(job, 2, no_memory, stream, &done, &error));
  EXPECT_EQ(error,
            "out of memory: each of the 2 render threads holds about 9 MiB for 720x576 frames; "
            "use fewer --threads");
  EXPECT_FALSE(RunRenderQueue(job, 1, no_memory, stream, &done, &error));
  EXPECT_EQ(error, "out of memory: rendering 720x576 frames takes about 9 MiB");
}

// The restoring method's render: each frame read once and shared by the
// renders of the frames around it. Every thread count and read order gives
// the bytes (and log) of one thread; a frame that cannot be read or written
// stops the render after the frames before it.
TEST_F(RenderQueueTest, RestoreWritesWhatOneThreadWritesAndStopsAtAFailure) {
  Frames(64, 48, 7);
  RenderJob job;
  job.width = 64;
  job.height = 48;
  job.src_row_bytes = job.dst_row_bytes = 4 * 64;
  const auto restore = [&](unsigned threads, RestoreReach reach, uint64_t fail_read = ~0ull,
                           uint64_t fail_write = ~0ull) {
    test::RemoveLog();
    MemoryStream stream(in_, any_position_, fail_read, fail_write);
    uint64_t done = 0;
    Result r;
    r.ok = RunRestoreQueue(job, reach, threads, store_, false, stream, &done, &r.error, nullptr);
    EXPECT_EQ(done, stream.out.size());
    r.out = std::move(stream.out);
    r.log = test::ReadLog();
    return r;
  };
  const Result one = restore(1, RestoreReach::kBoth);
  ASSERT_TRUE(one.ok) << one.error;
  ASSERT_EQ(one.out.size(), in_.size());
  EXPECT_NE(one.log.find("Start restore. Frame 6, with the previous frame"), std::string::npos);
  EXPECT_NE(restore(1, RestoreReach::kPrevious).out, one.out);
  for (unsigned threads : {2u, 3u, 5u}) {
    for (bool any_position : {false, true}) {
      any_position_ = any_position;
      const Result many = restore(threads, RestoreReach::kBoth);
      ASSERT_TRUE(many.ok) << many.error;
      EXPECT_TRUE(many.out == one.out) << threads << " threads";
      EXPECT_EQ(many.log, one.log) << threads << " threads";
      const Result read = restore(threads, RestoreReach::kBoth, 4);
      EXPECT_FALSE(read.ok);
      EXPECT_EQ(read.error, "short frame 4");
      EXPECT_EQ(read.out.size(), 4u) << threads << " threads";
      const Result write = restore(threads, RestoreReach::kBoth, ~0ull, 2);
      EXPECT_FALSE(write.ok);
      EXPECT_EQ(write.out.size(), 2u);
    }
  }
  in_.clear();
  const Result none = restore(2, RestoreReach::kBoth);
  EXPECT_TRUE(none.ok && none.out.empty());
}

}  // namespace

// Without --threads a render takes one thread per processor, but large
// frames take fewer, so memory stays bounded on machines with many cores.
TEST(RenderThreadsTest, DefaultIsBoundedByMemory) {
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  EXPECT_EQ(DefaultRenderThreads(720, 576), std::min(processors, 20u));
  EXPECT_EQ(DefaultRenderThreads(1920, 1088), std::min(processors, 4u));
  EXPECT_EQ(DefaultRenderThreads(16384, 16384), 1u);
}

// Threads asked for: at most 64, and no more than there are frames.
TEST(RenderThreadsTest, AskedForAreCappedAtTheCeilingAndTheFrames) {
  EXPECT_EQ(RenderThreadCount(64, 0), 64u);
  EXPECT_EQ(RenderThreadCount(65, 0), 64u);
  EXPECT_EQ(RenderThreadCount(4294967295, 1000), 64u);
  EXPECT_EQ(RenderThreadCount(1000, 200), 64u);
  EXPECT_EQ(RenderThreadCount(6, 5), 5u);
  EXPECT_EQ(RenderThreadCount(5, 5), 5u);
  EXPECT_EQ(RenderThreadCount(4, 5), 4u);
  EXPECT_EQ(RenderThreadCount(3, 1), 1u);
}
