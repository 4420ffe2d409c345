// The frame path as a reentrant core: instances with their own settings,
// region and workspace render at once on several threads exactly as they
// render alone.
#include "host/frame_path.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "region/rect_list.h"
#include "region/region_mask.h"
#include "tests/host/bgra_frames.h"

namespace {

struct Instance {
  DeinterlaceParameters settings;
  FrameRegion region;
  std::vector<uint32_t> sizes;  // width, height pairs, one frame each in turn
};

std::vector<std::vector<uint8_t>> RenderAll(const Instance& instance, int frames,
                                            bool fresh_workspace_each_frame) {
  std::vector<std::vector<uint8_t>> out;
  FrameWorkspace workspace;
  for (int i = 0; i < frames; ++i) {
    const size_t k = 2 * (i % (instance.sizes.size() / 2));
    const uint32_t w = instance.sizes[k], h = instance.sizes[k + 1];
    const auto src = test::CombedBgra(w, h, i);
    std::vector<uint8_t> dst(src.size(), 0x5A);
    const HostFrames f{
        src.data(), static_cast<int32_t>(4 * w), dst.data(), static_cast<int32_t>(4 * w), w, h};
    if (fresh_workspace_each_frame) {
      FrameWorkspace own;
      RenderFrame(f, instance.settings, instance.region, nullptr, own);
    } else {
      RenderFrame(f, instance.settings, instance.region, nullptr, workspace);
    }
    out.push_back(std::move(dst));
  }
  return out;
}

TEST(FramePathTest, TwoInstancesOnTwoThreadsRenderAsEachAlone) {
  CRectList list("");  // no store behind it
  list.Add(0, 16, 8, 40, 30);
  list.Add(1, 24, 16, 31, 23);
  std::vector<int32_t> mask(RegionMaskEntries(96, 48), 1);
  mask[3] = mask[14] = 0;

  Instance a, b;
  a.settings.method = 4;
  a.settings.is_replace_only_interlaced_pixels = 1;
  a.region.list = &list;
  a.sizes = {128, 64, 64, 32};  // a size change makes the workspace anew
  b.settings.method = 5;
  b.settings.replace_threshold = 40;
  b.settings.interlace_threshold = 20;
  b.region.mask = mask.data();
  b.sizes = {96, 48};
  constexpr int kFrames = 24;

  const auto want_a = RenderAll(a, kFrames, true);
  const auto want_b = RenderAll(b, kFrames, true);
  ASSERT_NE(want_a[0], test::CombedBgra(128, 64, 0)) << "the frames are processed";

  std::vector<std::vector<uint8_t>> got_a, got_b;
  std::thread ta([&] { got_a = RenderAll(a, kFrames, false); });
  std::thread tb([&] { got_b = RenderAll(b, kFrames, false); });
  ta.join();
  tb.join();
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(got_a[i], want_a[i]) << "instance a, frame " << i;
    EXPECT_EQ(got_b[i], want_b[i]) << "instance b, frame " << i;
  }
}

}  // namespace
