// Methods 4 and 5: the block searches, their windows and rules, and what
// they leave in the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/block_kernels.h"
#include "engine/field_kernels.h"
#include "engine/me_deinterlacer.h"
#include "tests/engine/frames.h"

namespace {

// An engine on frames of the given size whose luma planes a test fills
// directly, for driving the search steps one at a time.
struct Scene {
  uint32_t w, h;
  std::vector<uint8_t> src, dst;
  MEDeinterlacer e;
  Scene(uint32_t width, uint32_t height, uint32_t seed)
      : w(width), h(height), src(width * height * 3 / 2), dst(src.size()) {
    e.Init(w, h);
    test::FillRandom(src.data(), src.size(), seed);
    dst = src;
    e.SetPlanes(src.data(), dst.data());
    for (uint32_t n = 0; n < e.block_count; ++n) e.block_vectors[n] = {0, 0, 0};
  }
  void Reduce() {
    ReduceLuma(e.src_reduced.get(), src.data(), w, h);
    ReduceLuma(e.dst_reduced.get(), dst.data(), w, h);
  }
  // Makes the even rows of the block at (x, y) a copy of the source patch
  // displaced by (dx, dy).
  void PlantMatch(uint32_t x, uint32_t y, int32_t dx, int32_t dy) {
    for (uint32_t m = 0; m < 8; ++m)
      std::memcpy(&dst[(y + 2 * m) * w + x], &src[(y + dy + 2 * m) * w + x + dx], 16);
  }
  bool BlockRowsEqualSource(uint32_t x, uint32_t y, int32_t dx, int32_t dy) const {
    for (uint32_t m = 0; m < 8; ++m)
      if (std::memcmp(&dst[(y + 2 * m) * w + x], &src[(y + dy + 2 * m) * w + x + dx], 16))
        return false;
    return true;
  }
};

struct NeighbourCase {
  BlockVector left, up, up_left;
  bool narrowed;
};

TEST(MotionEstimationTest, NeighbourRuleNarrowsTheRangeOnlyForSmallAgreeingMotion) {
  const NeighbourCase cases[] = {
      {{100, 2, 0}, {100, 0, 4}, {100, 2, 4}, true},    // squares 40
      {{100, 4, 4}, {100, 4, 0}, {100, 0, 4}, false},   // squares exactly 64
      {{100, 2, 0}, {100, 0, 4}, {0, 2, 4}, false},     // an unsearched (or exact) neighbour
      {{100, 2, 0}, {9000, 0, 4}, {100, 2, 4}, false},  // a neighbour at the threshold or above
  };
  for (const NeighbourCase& c : cases) {
    Scene s(64, 64, 3);
    s.PlantMatch(16, 16, 8, 8);  // block 5 matches 8 samples right, 8 rows down
    s.Reduce();
    s.e.block_vectors[4] = c.left;
    s.e.block_vectors[1] = c.up;
    s.e.block_vectors[0] = c.up_left;
    s.e.SearchBlock(5, 16);
    const BlockVector v = s.e.block_vectors[5];
    if (c.narrowed) {
      EXPECT_LE(std::abs(v.dx), 4);
      EXPECT_LE(std::abs(v.dy), 4);
      EXPECT_GE(v.distance, 8192u);
    } else {
      EXPECT_EQ(v.dx, 8);
      EXPECT_EQ(v.dy, 8);
      EXPECT_EQ(v.distance, 0u);
      EXPECT_TRUE(s.BlockRowsEqualSource(16, 16, 8, 8));
    }
  }
}

TEST(MotionEstimationTest, CoarseResultIsScaledToLumaAndItsDistanceByFour) {
  Scene s(64, 64, 4);
  s.Reduce();
  // Block 5's reduced patch (corner (8, 4)) equals the source's at (5, 6)
  // but for one sample that differs by 1.
  const uint32_t rw = 32;
  for (uint32_t r = 0; r < 4; ++r)
    std::memcpy(&s.e.dst_reduced[(4 + r) * rw + 8], &s.e.src_reduced[(6 + r) * rw + 5], 8);
  s.e.dst_reduced[4 * rw + 8] ^= 1;
  s.e.CoarseSearch(5, 8, 4);
  EXPECT_EQ(s.e.block_vectors[5].dx, -6);
  EXPECT_EQ(s.e.block_vectors[5].dy, 8);
  EXPECT_EQ(s.e.block_vectors[5].distance, 4u);
}

TEST(MotionEstimationTest, TiesKeepTheFirstCandidateAndWindowsClipToTheFrame) {
  Scene s(64, 64, 5);
  std::fill(s.src.begin(), s.src.end(), 7);
  s.dst = s.src;
  s.Reduce();
  // Every candidate is exact: the first of the clipped window wins.
  s.e.CoarseSearch(0, 8, 4);
  EXPECT_EQ(s.e.block_vectors[0].dx, 0);
  EXPECT_EQ(s.e.block_vectors[0].dy, 0);
  s.e.CoarseSearch(5, 8, 4);
  EXPECT_EQ(s.e.block_vectors[5].dx, -16);
  EXPECT_EQ(s.e.block_vectors[5].dy, -16);
  s.e.CoarseSearch(15, 100, 100);
  EXPECT_EQ(s.e.block_vectors[15].dx, -48);
  EXPECT_EQ(s.e.block_vectors[15].dy, -48);
  s.e.block_vectors[15] = {0, 0, 0};
  s.e.FineSearch(15, 5, 5);
  EXPECT_EQ(s.e.block_vectors[15].dx, -5);
  EXPECT_EQ(s.e.block_vectors[15].dy, -5);
}

TEST(MotionEstimationTest, FarthestCandidatesLieOnTheFrameEdge) {
  Scene s(64, 64, 6);
  // Block 0's reduced image matches the source's bottom-right corner patch.
  s.Reduce();
  for (uint32_t r = 0; r < 4; ++r)
    std::memcpy(&s.e.dst_reduced[r * 32], &s.e.src_reduced[(12 + r) * 32 + 24], 8);
  s.e.CoarseSearch(0, INT_MAX, INT_MAX);
  EXPECT_EQ(s.e.block_vectors[0].dx, 48);
  EXPECT_EQ(s.e.block_vectors[0].dy, 48);
  EXPECT_EQ(s.e.block_vectors[0].distance, 0u);

  Scene f(64, 64, 7);
  f.PlantMatch(0, 0, 48, 48);
  f.e.FineSearch(0, INT_MAX, INT_MAX);
  EXPECT_EQ(f.e.block_vectors[0].dx, 48);
  EXPECT_EQ(f.e.block_vectors[0].dy, 48);
  EXPECT_EQ(f.e.block_vectors[0].distance, 0u);
}

TEST(MotionEstimationTest, OddRangeComparesOddSourceRows) {
  Scene s(64, 64, 8);
  s.PlantMatch(16, 16, 2, -3);
  s.e.FineSearch(5, 5, 5);
  EXPECT_EQ(s.e.block_vectors[5].dx, 2);
  EXPECT_EQ(s.e.block_vectors[5].dy, -3);
  EXPECT_EQ(s.e.block_vectors[5].distance, 0u);
}

TEST(MotionEstimationTest, NegativeRangesGiveEmptyWindowsAndTheStartingDistances) {
  Scene s(64, 64, 9);
  s.Reduce();
  s.e.SearchBlock(5, -16);
  EXPECT_EQ(s.e.block_vectors[5].distance, 8388608u);
  EXPECT_EQ(s.e.block_vectors[5].dx, 0);
  EXPECT_EQ(s.e.block_vectors[5].dy, 0);
  EXPECT_TRUE(s.BlockRowsEqualSource(16, 16, 0, 0));
}

// --- whole methods ----------------------------------------------------------

std::vector<uint8_t> Process(const std::vector<uint8_t>& src, uint32_t w, uint32_t h,
                             const DeinterlaceParameters& p, MEDeinterlacer* keep = nullptr) {
  MEDeinterlacer local;
  MEDeinterlacer& e = keep ? *keep : local;
  e.Init(w, h);
  std::vector<uint8_t> dst(src.size(), 0x33);
  e.Process(src.data(), dst.data(), &p);
  return dst;
}

// Every block's record equals `want`.
void ExpectAllRecords(const MEDeinterlacer& e, BlockVector want) {
  for (uint32_t n = 0; n < e.block_count; ++n) {
    EXPECT_EQ(e.block_vectors[n].distance, want.distance) << n;
    EXPECT_EQ(e.block_vectors[n].dx, want.dx) << n;
    EXPECT_EQ(e.block_vectors[n].dy, want.dy) << n;
  }
}

DeinterlaceParameters Method(int32_t m) {
  DeinterlaceParameters p;
  p.method = m;
  return p;
}

TEST(MotionEstimationTest, FullyCombedFramesStopAfterInterpolation) {
  std::vector<uint8_t> frame(64 * 32 * 3 / 2);
  test::FillComb(frame.data(), 64, 48, 0, 255);
  const auto two = Process(frame, 64, 32, Method(2));
  for (int32_t m : {4, 5}) {
    DeinterlaceParameters p = Method(m);
    p.is_replace_only_interlaced_pixels = 1;
    p.block_distance_threshold = 0xFFFFFFFF;
    p.replace_threshold = -1;
    MEDeinterlacer e;
    EXPECT_EQ(Process(frame, 64, 32, p, &e), two) << m;
    ExpectAllRecords(e, {0, 0, 0});
  }
}

TEST(MotionEstimationTest, MethodFourEqualsThreeWithoutCombedBlocksOrWithThresholdZero) {
  const auto still = test::PanFrame(720, 576, 0);
  for (uint8_t restore : {0, 1}) {
    DeinterlaceParameters three = Method(3), four = Method(4);
    three.is_replace_only_interlaced_pixels = four.is_replace_only_interlaced_pixels = restore;
    EXPECT_EQ(Process(still, 720, 576, four), Process(still, 720, 576, three));
    const auto pan = test::ObjectFrame(720, 576, 5);
    four.block_distance_threshold = 0;
    EXPECT_EQ(Process(pan, 720, 576, four), Process(pan, 720, 576, three));
  }
}

TEST(MotionEstimationTest, HugeThresholdReplacesEverySearchedBlock) {
  const uint32_t w = 720, h = 576;
  const auto pan = test::ObjectFrame(w, h, 5);
  DeinterlaceParameters p = Method(4);
  p.block_distance_threshold = 8323201;
  MEDeinterlacer e;
  const auto out = Process(pan, w, h, p, &e);
  uint32_t searched = 0;
  for (uint32_t n = 0; n < e.block_count; ++n) {
    const BlockVector v = e.block_vectors[n];
    if (e.block_comb_hits[n] <= 32) {
      EXPECT_EQ(v.distance, 0u);
      EXPECT_EQ(v.dx, 0);
      continue;
    }
    ++searched;
    const uint32_t x = e.block_positions[n].x, y = e.block_positions[n].y;
    for (uint32_t m = 0; m < 8; ++m)
      ASSERT_EQ(0,
                std::memcmp(&out[(y + 2 * m) * w + x], &pan[(y + v.dy + 2 * m) * w + x + v.dx], 16))
          << "block " << n;
  }
  EXPECT_GT(searched, 10u);
}

TEST(MotionEstimationTest, RestoreReturnsEveryUnmarkedSampleToTheSource) {
  const uint32_t w = 720, h = 576;
  const auto pan = test::ObjectFrame(w, h, 3);
  for (int32_t m : {4, 5}) {
    DeinterlaceParameters p = Method(m);
    p.is_replace_only_interlaced_pixels = 1;
    p.replace_threshold = -1;
    MEDeinterlacer e;
    const auto out = Process(pan, w, h, p, &e);
    for (uint32_t i = 0; i < w * h; ++i) {
      if (e.interlace_map[i] == 0) {
        ASSERT_EQ(out[i], pan[i]) << "method " << m << " sample " << i;
      }
    }
  }
}

// A plain model of method 4, step by step as the search is specified, for
// comparison with the engine: its output and every block's record.
// Sum of squared differences of two cols x rows patches with one stride.
uint32_t Ssd(const uint8_t* a, const uint8_t* b, int64_t stride, int cols, int rows) {
  uint32_t d = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int diff = a[r * stride + c] - b[r * stride + c];
      d += diff * diff;
    }
  return d;
}

struct MotionModel {
  std::vector<uint8_t> out;
  std::vector<BlockVector> records;
  std::vector<uint32_t> coarse_distances;  // of the searched blocks
};

MotionModel Method4Model(const std::vector<uint8_t>& src, uint32_t w, uint32_t h,
                         const DeinterlaceParameters& p) {
  DeinterlaceParameters three = Method(3);
  three.interlace_threshold = p.interlace_threshold;
  MEDeinterlacer detect;
  MotionModel m{Process(src, w, h, three, &detect), {}, {}};
  const uint32_t bw = w / 16, bh = h / 16;
  m.records.assign(bw * bh, BlockVector{0, 0, 0});
  if (detect.WholeFrameInterlaced()) return m;
  const int64_t rw = w / 2, rh = h / 4;
  // Every other sample of every fourth row, before any block is replaced.
  std::vector<uint8_t> src_reduced(rw * rh), out_reduced(rw * rh);
  for (int64_t y = 0; y < rh; ++y)
    for (int64_t x = 0; x < rw; ++x) {
      src_reduced[y * rw + x] = src[4 * y * w + 2 * x];
      out_reduced[y * rw + x] = m.out[4 * y * w + 2 * x];
    }
  const uint32_t threshold = p.block_distance_threshold;
  for (uint32_t n = 0; n < bw * bh; ++n) {
    if (detect.BlockCombHits()[n] <= 32) continue;
    const int64_t bx = n % bw, by = n / bw;
    int64_t r = p.area;
    if (bx > 0 && by > 0) {
      bool agree = true;
      int64_t squares = 0;
      for (uint32_t k : {n - 1, n - bw, n - bw - 1}) {
        const BlockVector& v = m.records[k];
        agree = agree && v.distance != 0 && v.distance < threshold;
        squares += int64_t{v.dx} * v.dx + int64_t{v.dy} * v.dy;
      }
      if (agree && squares < 64) r = 4;
    }
    BlockVector& rec = m.records[n];
    // Coarse: the 8x4 image of the block on the reduced grid.
    const int64_t cx = 8 * bx, cy = 4 * by;
    uint32_t best = 0x200000;
    int64_t bu = 0, bv = 0;
    for (int64_t v = std::max<int64_t>(cy - r / 4, 0) - cy; v <= std::min(cy + r / 4, rh - 4) - cy;
         ++v)
      for (int64_t u = std::max<int64_t>(cx - r / 2, 0) - cx;
           u <= std::min(cx + r / 2, rw - 8) - cx; ++u) {
        const uint32_t d =
            Ssd(&src_reduced[(cy + v) * rw + cx + u], &out_reduced[cy * rw + cx], rw, 8, 4);
        if (d < best) best = d, bu = u, bv = v;
      }
    rec = {4 * best, static_cast<int32_t>(2 * bu), static_cast<int32_t>(4 * bv)};
    m.coarse_distances.push_back(rec.distance);
    // Fine: 16x8 patches of one field, rows two apart.
    int64_t range = 2;
    if (rec.distance >= threshold) rec.dx = rec.dy = 0, range = r;
    const int64_t px = 16 * bx + rec.dx, py = 16 * by + rec.dy;
    best = 0x800000, bu = 0, bv = 0;
    for (int64_t v = std::max<int64_t>(py - range, 0) - py;
         v <= std::min<int64_t>(py + range, h - 16) - py; v += 2)
      for (int64_t u = std::max<int64_t>(px - range, 0) - px;
           u <= std::min<int64_t>(px + range, w - 16) - px; ++u) {
        const uint32_t d =
            Ssd(&src[(py + v) * w + px + u], &m.out[16 * by * w + 16 * bx], 2 * w, 16, 8);
        if (d < best) best = d, bu = u, bv = v;
      }
    rec = {best, static_cast<int32_t>(rec.dx + bu), static_cast<int32_t>(rec.dy + bv)};
    if (rec.distance >= threshold) continue;
    for (int64_t row = 0; row < 8; ++row)
      std::memcpy(&m.out[(16 * by + 2 * row) * w + 16 * bx],
                  &src[(16 * by + rec.dy + 2 * row) * w + 16 * bx + rec.dx], 16);
  }
  if (p.is_replace_only_interlaced_pixels) {
    for (uint32_t i = 0; i < w * h; ++i)
      if (detect.InterlaceMap()[i] == 0) m.out[i] = src[i];
  }
  return m;
}

// The model and the engine agree on frames that hold blocks with exactly
// 32 and exactly 33 comb hits (only the latter is searched), at a block
// distance threshold that some block's match meets exactly (not replaced),
// and with both fine-search ranges (a search stepping one row instead of
// two would compare the kept field).
TEST(MotionEstimationTest, MethodFourMatchesAPlainModel) {
  struct Case {
    uint32_t w, h;
    int32_t shift, interlace, area;
    uint8_t restore;
  } cases[] = {
      {64, 64, 2, 16, 16, 0}, {96, 48, 3, 8, 16, 1}, {64, 64, 3, 48, 7, 0}, {128, 64, 5, 8, 24, 0}};
  bool met_32 = false, met_33 = false;
  for (const Case& c : cases) {
    const auto frame = test::ObjectFrame(c.w, c.h, c.shift);
    DeinterlaceParameters p = Method(4);
    p.interlace_threshold = c.interlace;
    p.area = c.area;
    p.is_replace_only_interlaced_pixels = c.restore;
    // Thresholds that some searched block's coarse or final distance equals.
    p.block_distance_threshold = 0xFFFFFFFF;
    const MotionModel any = Method4Model(frame, c.w, c.h, p);
    std::vector<uint32_t> thresholds = any.coarse_distances;
    thresholds.push_back(8192);
    for (const BlockVector& v : any.records)
      if (v.distance != 0) thresholds.push_back(v.distance);
    bool met_threshold = false;
    for (const uint32_t threshold : thresholds) {
      p.block_distance_threshold = threshold;
      const MotionModel model = Method4Model(frame, c.w, c.h, p);
      MEDeinterlacer e;
      EXPECT_EQ(Process(frame, c.w, c.h, p, &e), model.out)
          << c.w << "x" << c.h << " shift " << c.shift << " threshold " << threshold;
      for (uint32_t n = 0; n < e.block_count; ++n) {
        const BlockVector got = e.block_vectors[n], want = model.records[n];
        ASSERT_TRUE(got.distance == want.distance && got.dx == want.dx && got.dy == want.dy)
            << "block " << n << ": " << got.distance << " (" << got.dx << "," << got.dy
            << ") instead of " << want.distance << " (" << want.dx << "," << want.dy << ")";
        met_threshold = met_threshold || (e.block_comb_hits[n] > 32 && want.distance == threshold);
        met_32 = met_32 || e.block_comb_hits[n] == 32;
        met_33 = met_33 || e.block_comb_hits[n] == 33;
      }
    }
    EXPECT_TRUE(met_threshold) << "a match exactly at the threshold: " << c.w << "x" << c.h;
  }
  EXPECT_TRUE(met_32 && met_33) << "blocks with exactly 32 and 33 comb hits";
}

// A plain model of the advanced method, for comparison with the engine.
std::vector<uint8_t> AdvancedModel(const std::vector<uint8_t>& src, uint32_t w, uint32_t h,
                                   const DeinterlaceParameters& p) {
  DeinterlaceParameters three = Method(3);
  three.interlace_threshold = p.interlace_threshold;
  MEDeinterlacer detect;
  std::vector<uint8_t> out = Process(src, w, h, three, &detect);
  const uint8_t* search = p.is_search_within_interpolated ? out.data() : src.data() + w;
  struct Rec {
    uint32_t d;
    int64_t dx, dy;
  };
  std::vector<Rec> recs;
  const int64_t r = p.area;
  for (uint32_t by = 0; by < h / 16; ++by) {
    for (uint32_t bx = 0; bx < w / 16; ++bx) {
      const int64_t X = 16 * bx, Y = 16 * by;
      Rec best{0x1000000, 0, 0};
      for (int64_t y = std::max<int64_t>(Y - r, 0); y < std::min<int64_t>(Y + r, h - 16); y += 2) {
        for (int64_t x = std::max<int64_t>(X - r, 0); x < std::min<int64_t>(X + r, w - 16); ++x) {
          const uint32_t d = Ssd(search + y * w + x, src.data() + Y * w + X, 2 * w, 16, 8);
          if (d < best.d) best = {d, x - X, y - Y};
        }
      }
      recs.push_back(best);
    }
  }
  for (uint32_t n = 0; n < recs.size(); ++n) {
    if (detect.block_comb_hits[n] <= 32 || recs[n].d >= p.block_distance_threshold) continue;
    const int64_t X = 16 * (n % (w / 16)), Y = 16 * (n / (w / 16));
    for (int m = 0; m < 8; ++m)
      for (int c = 0; c < 16; ++c) {
        uint8_t& a = out[(Y + 2 * m) * w + X + c];
        const uint8_t b = search[(Y + recs[n].dy + 2 * m) * w + X + recs[n].dx + c];
        if (static_cast<uint32_t>(std::abs(a - b)) < static_cast<uint32_t>(p.replace_threshold))
          a = b;
      }
  }
  return out;
}

TEST(MotionEstimationTest, AdvancedMethodMatchesAPlainModel) {
  struct Case {
    uint32_t w, h;
    int32_t shift, area, replace;
    uint8_t within;
    uint32_t threshold;
  } cases[] = {
      {128, 64, 5, 16, 10, 0, 8192},      {128, 64, 5, 16, -1, 1, 0xFFFFFFFF},
      {96, 48, 3, 7, 40, 1, 20000},       {64, 64, 6, 0, -1, 0, 0xFFFFFFFF},
      {16, 64, 4, 16, -1, 1, 0xFFFFFFFF}, {64, 16, 4, 16, -1, 0, 0xFFFFFFFF},
      {64, 32, 2, -5, -1, 0, 0xFFFFFFFF}, {80, 48, 7, INT_MAX, -1, 1, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    const auto frame = test::ObjectFrame(c.w, c.h, c.shift);
    DeinterlaceParameters p = Method(5);
    p.area = c.area;
    p.replace_threshold = c.replace;
    p.is_search_within_interpolated = c.within;
    p.block_distance_threshold = c.threshold;
    p.interlace_threshold = 8;
    const auto out = Process(frame, c.w, c.h, p);
    EXPECT_EQ(out, AdvancedModel(frame, c.w, c.h, p))
        << c.w << "x" << c.h << " area " << c.area << " within " << int(c.within);
    if (c.w == 128 && c.replace == -1) {
      DeinterlaceParameters three = Method(3);
      three.interlace_threshold = 8;
      EXPECT_NE(out, Process(frame, c.w, c.h, three)) << "the case corrects some samples";
    }
  }
}

TEST(MotionEstimationTest, AdvancedMethodRecordsAndZeroReplaceThreshold) {
  const auto pan = test::ObjectFrame(128, 64, 5);
  DeinterlaceParameters p = Method(5), three = Method(3);
  p.interlace_threshold = three.interlace_threshold = 8;
  MEDeinterlacer e;
  EXPECT_EQ(Process(pan, 128, 64, p, &e), Process(pan, 128, 64, three));
  // Every block was searched; the last column and row have no own position.
  for (uint32_t n = 0; n < e.block_count; ++n) EXPECT_LT(e.block_vectors[n].distance, 0x1000000u);
  EXPECT_LT(e.block_vectors[7].dx, 0);   // last block column: leftward only
  EXPECT_LT(e.block_vectors[31].dy, 0);  // last block row: upward only

  // Empty windows (16 wide, or area 0) keep a zero displacement.
  for (auto [w, h, area] : {std::tuple{16u, 64u, 16}, {64u, 16u, 16}, {64u, 64u, 0}}) {
    p.area = area;
    MEDeinterlacer empty;
    Process(test::ObjectFrame(w, h, 3), w, h, p, &empty);
    ExpectAllRecords(empty, {0x1000000, 0, 0});
  }
}

TEST(MotionEstimationTest, ExtremeAreasStayInsideTheFrame) {
  const auto pan = test::ObjectFrame(64, 48, 4);
  for (int32_t m : {4, 5}) {
    for (int32_t area : {INT_MAX, INT_MIN, -1, 1, 3, 1000000}) {
      DeinterlaceParameters p = Method(m);
      p.area = area;
      p.interlace_threshold = 8;
      p.block_distance_threshold = 0xFFFFFFFF;
      p.replace_threshold = -1;
      const auto out = Process(pan, 64, 48, p);
      for (uint32_t r = 1; r < 48; r += 2)
        ASSERT_EQ(0, std::memcmp(&out[r * 64], &pan[r * 64], 64)) << m << " " << area;
    }
  }
}

}  // namespace
