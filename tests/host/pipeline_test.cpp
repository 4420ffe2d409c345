// The execute path on frames handed over as a host hands them.
#include "host/pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "convert/convert.h"
#include "platform/system.h"
#include "plugin/execute.h"
#include "plugin/module_state.h"
#include "region/rect_list.h"
#include "tests/engine/frames.h"
#include "tests/support.h"

namespace {

// A host frame: `rows` rows of `row_bytes` bytes, filled with a pattern.
struct HostFrame {
  int32_t width, height, row_bytes;
  std::vector<uint8_t> bytes;
  HostFrame(int32_t w, int32_t h, int32_t rb, uint32_t seed)
      : width(w), height(h), row_bytes(rb), bytes(size_t(h) * rb) {
    test::FillRandom(bytes.data(), bytes.size(), seed);
  }
};

ExecuteFrames Frames(const HostFrame& src, HostFrame& dst, int32_t number = 0) {
  ExecuteFrames f;
  f.frame_number = number;
  f.frame_total = 10;
  f.src_width = src.width;
  f.src_height = src.height;
  f.dst_width = dst.width;
  f.dst_height = dst.height;
  f.src_row_bytes = src.row_bytes;
  f.dst_row_bytes = dst.row_bytes;
  f.src_pixels = src.bytes.data();
  f.dst_pixels = dst.bytes.data();
  return f;
}

std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadLog());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteSettingsKey();
    test::RemoveLog();
    platform::StoreKey::CreateOrOpen(kSettingsKey);
    SetDebug(true);
    SetMethod(4);
  }
  void TearDown() override { test::DeleteSettingsKey(); }
  static void SetMethod(int32_t method) {
    DeinterlaceParameters p;
    p.method = method;
    SaveSettings(&p);
    LoadSettings(&g_settings);
  }
};

int g_sounds = 0;
void CountSound() { ++g_sounds; }

TEST_F(PipelineTest, SizesNotMultiplesOfSixteenAreCopiedThrough) {
  platform::SetAlertSoundHookForTesting(&CountSound);
  g_sounds = 0;
  HostFrame quiet_src(720, 486, 2880, 1), quiet_dst(720, 486, 2880, 2);
  ExecuteFrame(Frames(quiet_src, quiet_dst));
  EXPECT_EQ(g_sounds, 0) << "the alert is off by default";
  SetSoundAlert(true);
  HostFrame src(720, 486, 2880, 1), dst(720, 486, 2880, 2);
  EXPECT_EQ(ExecuteFrame(Frames(src, dst)), 0);
  platform::SetAlertSoundHookForTesting(nullptr);
  EXPECT_EQ(g_sounds, 1);
  EXPECT_EQ(dst.bytes, src.bytes);
  const auto lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Width & Height are not devided by 16... Just copy");
  EXPECT_EQ(lines.back(), "Done.");
}

TEST_F(PipelineTest, MethodZeroCopiesWithoutDone) {
  SetMethod(0);
  HostFrame src(720, 480, 2880, 3), dst(720, 480, 2880, 4);
  ExecuteFrame(Frames(src, dst));
  EXPECT_EQ(dst.bytes, src.bytes);
  EXPECT_EQ(LogLines().back(), "Just copy");
}

TEST_F(PipelineTest, ProcessedFrameLogsEveryStageInOrder) {
  HostFrame src(64, 32, 256, 5), dst(64, 32, 256, 6);
  ExecuteFrame(Frames(src, dst, 7));
  const auto lines = LogLines();
  const std::vector<std::string> frame_line = {
      "Frame = 7 of 10", "src_height = 32, src_width = 64, src_rowbytes = 256",
      "dst_height = 32, dst_width = 64, dst_rowbytes = 256"};
  std::vector<std::string> want = {"", "Start fsExecute. Method = 4", "Before change..."};
  want.insert(want.end(), frame_line.begin(), frame_line.end());
  want.push_back("After change...");
  want.insert(want.end(), frame_line.begin(), frame_line.end());
  ASSERT_EQ(lines.size(), want.size() + 11);
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i], want[i]) << i;
  EXPECT_EQ(lines[want.size()].rfind("src = 0x", 0), 0u);
  EXPECT_EQ(lines[want.size() + 1], lines[want.size()]);
  const std::vector<std::string> tail = {
      "Converting to YV12...",  "Done.", "Deinterlacing...",  "Done.",
      "Converting to RGB32...", "Done.", "Free resources...", "Done.",
      "End fsExecute"};
  for (size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(lines[want.size() + 2 + i], tail[i]);
  // Every alpha byte of the destination is 255.
  for (size_t i = 3; i < dst.bytes.size(); i += 4) ASSERT_EQ(dst.bytes[i], 255);
}

TEST_F(PipelineTest, FieldCallsSkipOneOfThePair) {
  struct Case {
    uint16_t flags;
    int32_t number;
    bool skipped;
    const char* line;
  } cases[] = {{0x0200, 3, true, "1: do not do any... we have did it before"},
               {0x0200, 2, false, nullptr},
               {0x0200, -1, true, "1: do not do any... we have did it before"},
               {0x0100, 2, true, "2: do not do any... we have did it before"},
               {0x0100, 3, false, nullptr}};
  for (const Case& c : cases) {
    test::RemoveLog();
    // A field handed over as every other row: row bytes twice 4 W.
    HostFrame src(64, 16, 512, 8), dst(64, 16, 512, 9);
    const auto before = dst.bytes;
    ExecuteFrames f = Frames(src, dst, c.number);
    f.field_flags = c.flags;
    ExecuteFrame(f);
    const auto lines = LogLines();
    if (c.skipped) {
      EXPECT_EQ(dst.bytes, before);
      EXPECT_EQ(lines.back(), c.line);
    } else {
      EXPECT_NE(dst.bytes, before);
      EXPECT_EQ(lines[8], "src_height = 32, src_width = 64, src_rowbytes = 256");
      EXPECT_EQ(lines[9], "dst_height = 32, dst_width = 64, dst_rowbytes = 256");
      EXPECT_EQ(lines.back(), "End fsExecute");
    }
  }
}

TEST_F(PipelineTest, AlphaCoversRowPaddingAndNothingElseThere) {
  HostFrame src(32, 16, 128, 10), dst(32, 16, 160, 11);
  const auto before = dst.bytes;
  ExecuteFrame(Frames(src, dst));
  for (int r = 0; r < 16; ++r) {
    for (int b = 128; b < 160; ++b) {
      const uint8_t got = dst.bytes[r * 160 + b];
      EXPECT_EQ(got, b % 4 == 3 ? 255 : before[r * 160 + b]) << r << "," << b;
    }
  }
}

TEST_F(PipelineTest, AlphaGroupsCountFromTheFrameStartWhateverThePitch) {
  // 130 row bytes: the 4-byte groups run on across row ends.
  HostFrame src(32, 16, 130, 23), dst(32, 16, 130, 24);
  ExecuteFrame(Frames(src, dst));
  for (size_t i = 3; i < dst.bytes.size(); i += 4) ASSERT_EQ(dst.bytes[i], 255) << i;
}

// The frame as it comes back through both conversions without processing.
std::vector<uint8_t> RoundTrip(const HostFrame& src) {
  const uint32_t w = src.width, h = src.height, n = w * h;
  std::vector<uint8_t> yv12(3 * n / 2), out(4 * n);
  // The forward conversion reads bottom-up and the backward one writes
  // bottom-up with a negative height: row r comes back in place.
  ConvertBgraToYv12(yv12.data(), yv12.data() + n + n / 4, yv12.data() + n, src.bytes.data(), w, h,
                    static_cast<int32_t>(w));
  ConvertYv12ToBgra(out.data(), static_cast<int32_t>(w), yv12.data(), yv12.data() + n + n / 4,
                    yv12.data() + n, static_cast<int32_t>(w), static_cast<int32_t>(w / 2), w,
                    -static_cast<int32_t>(h));
  for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
  return out;
}

TEST_F(PipelineTest, WholeFrameExcludeAndUnknownMethodPassTheSourceThrough) {
  // Rows equal in groups of four: field-wise and frame-wise chroma
  // subsampling agree, so the round trip can be computed plainly.
  HostFrame src(64, 32, 256, 12);
  for (int r = 0; r < 32; ++r) std::memcpy(&src.bytes[r * 256], &src.bytes[(r & ~3) * 256], 256);
  const auto want = RoundTrip(src);
  {
    CRectList* list = new CRectList();
    list->Clear();
    ASSERT_GT(list->Add(0, 0, 0, 63, 31), 0);
    delete list;
  }
  HostFrame dst(64, 32, 256, 13);
  ExecuteFrame(Frames(src, dst));
  EXPECT_EQ(dst.bytes, want);
  // A damaged region ("size" counts more records than "list" holds) is
  // used as far as it can be read, and not written back.
  const uint8_t damaged[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  platform::StoreKey::CreateOrOpen(kRectListKey).Set("size", platform::kStoreTypeDword, damaged, 4);
  HostFrame dst_damaged(64, 32, 256, 13);
  ExecuteFrame(Frames(src, dst_damaged));
  EXPECT_EQ(dst_damaged.bytes, want);
  uint8_t size[4] = {};
  uint32_t length = 4;
  platform::StoreKey::OpenExisting(kRectListKey).Query("size", size, &length);
  EXPECT_EQ(std::memcmp(size, damaged, 4), 0) << "the damaged region stays stored";

  platform::DeleteStoreKeyTree(kRectListKey);
  SetMethod(7);
  HostFrame dst2(64, 32, 256, 14);
  ExecuteFrame(Frames(src, dst2));
  EXPECT_EQ(dst2.bytes, want);
}

TEST_F(PipelineTest, UnsafeGeometryTouchesNothingOutsideTheFrames) {
  // No width: nothing happens.
  HostFrame src(0, 32, 256, 15), dst(0, 32, 256, 16);
  const auto before = dst.bytes;
  ExecuteFrame(Frames(src, dst));
  EXPECT_EQ(dst.bytes, before);
  // A copy between frames of different row widths copies the common part.
  HostFrame narrow(30, 20, 120, 17), wide(30, 20, 200, 18);
  const auto wide_before = wide.bytes;
  ExecuteFrame(Frames(narrow, wide));
  for (int r = 0; r < 20; ++r) {
    EXPECT_EQ(0, std::memcmp(&wide.bytes[r * 200], &narrow.bytes[r * 120], 120));
    EXPECT_EQ(0, std::memcmp(&wide.bytes[r * 200 + 120], &wide_before[r * 200 + 120], 80));
  }
  // A destination smaller than the source is copied into, never processed past.
  HostFrame big(64, 32, 256, 19), small(32, 16, 128, 20);
  ExecuteFrames f = Frames(big, small);
  ExecuteFrame(f);
  for (int r = 0; r < 16; ++r)
    EXPECT_EQ(0, std::memcmp(&small.bytes[r * 128], &big.bytes[r * 256], 128));
  // A destination of as many rows whose rows are closer together than a
  // row of pixels: processing would write past its last row.
  HostFrame short_rows(64, 32, 200, 21);
  test::Fenced fenced(short_rows.bytes.size());
  f = Frames(big, short_rows);
  f.dst_pixels = fenced.data();
  ExecuteFrame(f);
  EXPECT_TRUE(fenced.GuardsIntact());
  for (int r = 0; r < 32; ++r)
    EXPECT_EQ(0, std::memcmp(fenced.data() + r * 200, &big.bytes[r * 256], 200)) << r;
}

TEST_F(PipelineTest, NegativeRowBytesRunUpwardInMemory) {
  HostFrame src(64, 32, 256, 21), dst(64, 32, 256, 22);
  HostFrame dst_up(64, 32, 256, 22);
  ExecuteFrame(Frames(src, dst));
  // The same frames described from their last row with negative row bytes
  // give the rows mirrored in memory.
  HostFrame src_up(64, 32, 256, 0);
  for (int r = 0; r < 32; ++r) std::memcpy(&src_up.bytes[(31 - r) * 256], &src.bytes[r * 256], 256);
  ExecuteFrames f = Frames(src_up, dst_up);
  f.src_pixels = src_up.bytes.data() + 31 * 256;
  f.dst_pixels = dst_up.bytes.data() + 31 * 256;
  f.src_row_bytes = f.dst_row_bytes = -256;
  ExecuteFrame(f);
  for (int r = 0; r < 32; ++r)
    ASSERT_EQ(0, std::memcmp(&dst_up.bytes[(31 - r) * 256], &dst.bytes[r * 256], 256)) << r;
}

}  // namespace
