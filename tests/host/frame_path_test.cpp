// The frame path as a reentrant core: instances with their own settings,
// region and workspace render at once on several threads exactly as they
// render alone.
#include "host/frame_path.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/comb_map.h"
#include "host/picture_frames.h"
#include "platform/cpu.h"
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

// Pictures of sizes that are not multiples of 16 go into host frames
// extended by their last column and by their last rows of the same field,
// whichever field is kept, and come back out whole.
TEST(FramePathTest, PicturesOfAnySizeAreExtendedByTheirLastColumnAndRows) {
  for (const uint32_t w : {17u, 24u, 31u, 33u, 721u, 854u}) {
    for (const uint32_t h : {18u, 31u, 32u}) {
      const uint32_t fw = PaddedSize(w), fh = PaddedSize(h);
      std::vector<uint8_t> picture(size_t{4} * w * h);
      test::FillRandom(picture.data(), picture.size(), w * h);
      const auto extended = test::ExtendPicture(picture, w, h, fw, fh);
      for (const KeptField keep : {KeptField::kBottom, KeptField::kTop}) {
        std::vector<uint8_t> frame(size_t{4} * fw * fh, 0x5A);
        const HostFrameView view{frame.data(), static_cast<ptrdiff_t>(4 * fw), fw, fh};
        PictureToHostFrame(PackedPicture(picture.data(), w, h), keep, view);
        // The frame holds the picture bottom row first when the bottom
        // field is kept.
        EXPECT_EQ(frame, keep == KeptField::kTop ? extended : test::FlipRows(extended, fw))
            << w << "x" << h << (keep == KeptField::kTop ? " top" : " bottom");
        std::vector<uint8_t> back(picture.size());
        HostFrameToPicture(view, keep, PackedPicture(back.data(), w, h));
        EXPECT_EQ(back, picture) << w << "x" << h;
      }
    }
  }
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

// Whole frames through every instruction-set level the processor has (the
// Windows plug-in runs the MMX or SSE2 level): the same bytes as the
// reference, for every method, with a region and odd geometry.
TEST(FramePathTest, EveryInstructionSetLevelRendersTheReferenceBytes) {
  CRectList list("");
  list.Add(0, 8, 8, 60, 40);
  for (int32_t method = 1; method <= 5; ++method) {
    Instance instance;
    instance.settings.method = method;
    instance.settings.replace_threshold = method == 5 ? 30 : 0;
    instance.settings.is_search_within_interpolated = method == 5;
    instance.region.list = &list;
    instance.sizes = {144, 80, 48, 32};
    platform::SetCpuFeatureMask(0);
    const auto want = RenderAll(instance, 4, true);
    for (const platform::IsaLevel& level : platform::kIsaLevels) {
      platform::SetCpuFeatureMask(level.features);
      if ((platform::CpuFeatures() & level.features) != level.features) continue;
      EXPECT_EQ(RenderAll(instance, 4, true), want) << level.name << ", method " << method;
    }
    platform::SetCpuFeatureMask(~0u);
  }
}

// Renders one picture through a workspace (bottom row first, as a host
// hands it over); the workspace keeps the frame's decisions.
std::vector<uint8_t> Render(const std::vector<uint8_t>& picture, uint32_t w, uint32_t h,
                            const DeinterlaceParameters& settings, const int32_t* mask,
                            bool comb_map, FrameWorkspace& workspace) {
  std::vector<uint8_t> dst(picture.size());
  const HostFrames f{
      picture.data(), static_cast<int32_t>(4 * w), dst.data(), static_cast<int32_t>(4 * w), w, h};
  RenderFrame(f, settings, FrameRegion{nullptr, mask}, nullptr, workspace, comb_map);
  return dst;
}

TEST(FramePathTest, CombMapMarksWhatTheFramePathDecided) {
  constexpr uint32_t w = 128, h = 64;
  const auto picture = test::CombedBgra(w, h, 0);
  std::vector<int32_t> mask(RegionMaskEntries(w, h), 1);
  mask[2] = mask[17] = 0;  // two excluded 8x8 blocks
  DeinterlaceParameters settings;
  settings.block_distance_threshold = 60000;  // close enough for this picture's matches
  FrameWorkspace workspace;
  settings.method = 3;
  const auto interpolated = Render(picture, w, h, settings, mask.data(), false, workspace);
  settings.method = 4;
  const auto plain = Render(picture, w, h, settings, mask.data(), false, workspace);
  const auto marked = Render(picture, w, h, settings, mask.data(), true, workspace);
  const MEDeinterlacer& engine = workspace.Engine();

  // Method 4 is method 3 plus the replaced blocks: the blocks marked as
  // replaced are exactly those where the two differ (outside the region's
  // excluded blocks, which both restore).
  size_t replaced = 0;
  for (uint32_t n = 0; n < engine.BlockCount(); ++n) {
    const uint32_t bx = n % engine.blocks_x, by = n / engine.blocks_x;
    bool differs = false;
    for (uint32_t r = 16 * by; r < 16 * by + 16; ++r) {
      const size_t at = (size_t{h - 1 - r} * w + 16 * bx) * 4;
      differs = differs || !std::equal(&plain[at], &plain[at + 64], &interpolated[at]);
    }
    EXPECT_EQ(BlockReplaced(engine, settings, n), differs) << "block " << n;
    replaced += differs;
  }
  EXPECT_GT(replaced, 0u);

  // Every pixel is itself or blended with its marks' colours; excluded
  // blocks carry blue alone.
  const auto blend = [](const uint8_t* p, const uint8_t* colour, uint8_t* out) {
    for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((p[c] + colour[c]) / 2);
    out[3] = p[3];
  };
  size_t combed = 0;
  for (uint32_t m = 0; m < h; ++m) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t r = h - 1 - m;
      const size_t at = (size_t{m} * w + x) * 4;
      uint8_t want[4];
      std::copy_n(&plain[at], 4, want);
      if (mask[(r / 8) * (w / 8) + x / 8] == 0) {
        blend(&plain[at], kExcludedColour, want);
      } else {
        if (BlockReplaced(engine, settings, (r / 16) * engine.blocks_x + x / 16))
          blend(want, kReplacedColour, want);
        if (engine.InterlaceMap()[size_t{r} * w + x]) {
          blend(want, kCombedColour, want);
          ++combed;
        }
      }
      ASSERT_TRUE(std::equal(want, want + 4, &marked[at])) << x << "," << m;
    }
  }
  EXPECT_GT(combed, 0u);
  EXPECT_LT(combed, size_t{w} * h / 2) << "only where the picture combs";

  // Without detection (method 2) only the region is marked.
  settings.method = 2;
  const auto plain2 = Render(picture, w, h, settings, nullptr, false, workspace);
  EXPECT_EQ(Render(picture, w, h, settings, nullptr, true, workspace), plain2);
}

}  // namespace
