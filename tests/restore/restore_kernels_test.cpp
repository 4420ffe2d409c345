// The restoring method's kernels: every variant against the reference bit
// for bit (random and extreme inputs, odd counts, unaligned rows, guard
// bytes around every output), and the reference against the arithmetic
// its header states on hand-worked samples.
#include "restore/restore_kernels.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/kernel_checker.h"

namespace {

using restore::KeptSampleRow;
using restore::MeasureRow;
using restore::RebuildRow;
using restore::RestoreKernels;
using restore::TimeSamples;

std::span<const RestoreKernels> Variants() { return restore::RestoreKernelVariants(); }
const RestoreKernels& Reference() { return test::Reference(Variants()); }

// Counts that cover whole vector steps, the tails after them and spans
// shorter than one step.
constexpr uint32_t kCounts[] = {1, 3, 15, 16, 17, 31, 33, 64, 77};
constexpr TimeSamples kModes[] = {TimeSamples::kNone, TimeSamples::kBoth, TimeSamples::kOne,
                                  TimeSamples::kSameFrame};

// An input buffer with room on both sides for the taps that reach past a
// span, one byte off alignment.
struct Input {
  explicit Input(size_t n, test::Fill fill, uint32_t salt) : bytes(n + 256) {
    test::FillWith(bytes.data(), bytes.size(), fill, salt);
  }
  const uint8_t* at(size_t offset = 0) const { return bytes.data() + 65 + offset; }
  std::vector<uint8_t> bytes;
};

TEST(RestoreKernelsTest, LumaAverageAndSadMatchTheReference) {
  for (test::Fill fill : test::kFills) {
    for (uint32_t n : kCounts) {
      const Input bgra(4 * n, fill, 1), a(n, fill, 2), b(n, test::Fill::kRandom, 3);
      test::Fenced y_ref(n), avg_ref(n);
      Reference().luma_row(y_ref.data(), bgra.at(), n);
      Reference().average_row(avg_ref.data(), a.at(), b.at(1), n);
      const uint32_t sad_ref = Reference().sad16(a.at(), 19, b.at(3), 17, n % 9);
      test::ForEachVariant(Variants(), [&](const RestoreKernels& k) {
        test::Fenced y(n, 1), avg(n, 3);
        k.luma_row(y.data(), bgra.at(), n);
        k.average_row(avg.data(), a.at(), b.at(1), n);
        EXPECT_EQ(y.payload(), y_ref.payload()) << "luma, n " << n;
        EXPECT_EQ(avg.payload(), avg_ref.payload()) << "average, n " << n;
        EXPECT_TRUE(y.GuardsIntact() && avg.GuardsIntact());
        EXPECT_EQ(k.sad16(a.at(), 19, b.at(3), 17, n % 9), sad_ref) << "rows " << n % 9;
      });
    }
  }
}

// A measure row over random planes: every mode, phase pair, offset d4 and
// number of kept fields along the motion.
TEST(RestoreKernelsTest, MeasuresMatchTheReference) {
  uint32_t salt = 0;
  for (test::Fill fill : test::kFills) {
    for (uint32_t n : kCounts) {
      const Input oa(n, fill, ++salt), ob(n, test::Fill::kRandom, ++salt), ku(n, fill, ++salt),
          kd(n, test::Fill::kRandom, ++salt), k1(n, fill, ++salt),
          k2(n, test::Fill::kRandom, ++salt);
      for (TimeSamples mode : kModes) {
        for (int32_t kept = 0; kept <= 2; ++kept) {
          MeasureRow m{};
          m.mode = mode;
          m.oa = oa.at();
          m.ob = ob.at(2);
          m.pa = static_cast<int32_t>(n % 4);
          m.pb = static_cast<int32_t>((n + kept) % 4);
          m.d4 = static_cast<int32_t>(n % 7) - 3;
          m.ku = ku.at();
          m.kd = kd.at();
          m.kept_count = kept;
          for (int32_t j = 0; j < 4; ++j) {
            m.kept[j] = KeptSampleRow{k1.at(j), j % 2 ? k2.at(j) : k1.at(j), j % 2};
          }
          test::Fenced e_ref(n), act_ref(n);
          m.out_e = e_ref.data();
          m.out_act = act_ref.data();
          Reference().measure_row(m, n);
          test::ForEachVariant(Variants(), [&](const RestoreKernels& k) {
            test::Fenced e(n, 1), act(n, 2);
            MeasureRow v = m;
            v.out_e = e.data();
            v.out_act = act.data();
            k.measure_row(v, n);
            EXPECT_EQ(e.payload(), e_ref.payload()) << "n " << n << " mode " << int(mode);
            EXPECT_EQ(act.payload(), act_ref.payload()) << "n " << n;
            EXPECT_TRUE(e.GuardsIntact() && act.GuardsIntact());
          });
        }
      }
    }
  }
}

TEST(RestoreKernelsTest, WeightsAndRebuiltRowsMatchTheReference) {
  uint32_t salt = 100;
  for (test::Fill fill : test::kFills) {
    for (uint32_t n : kCounts) {
      const Input e0(n, fill, ++salt), e1(n, test::Fill::kRandom, ++salt), e2(n, fill, ++salt);
      const uint8_t* const e[3] = {e0.at(), e1.at(), e2.at()};
      const uint8_t* const act[3] = {e2.at(1), e0.at(2), e1.at(3)};
      test::Fenced w_ref(n);
      Reference().weight_row(w_ref.data(), e, act, n);
      // Weights of every value 0 ... 16 for the rebuilt rows, and runs of
      // zeros (time alone) long enough for whole vector steps.
      std::vector<uint8_t> weights(n);
      for (uint32_t i = 0; i < n; ++i) {
        weights[i] = (i / 8) % 3 == 1 ? 0 : static_cast<uint8_t>((i * 5 + salt) % 17);
      }
      const Input oa(4 * n, fill, ++salt), ob(4 * n, test::Fill::kRandom, ++salt),
          ku(4 * n, fill, ++salt), kd(4 * n, test::Fill::kRandom, ++salt),
          ku3(4 * n, test::Fill::kAlternating, ++salt), kd3(4 * n, fill, ++salt);
      for (TimeSamples mode : kModes) {
        for (int32_t d = 0; d < 4; ++d) {
          RebuildRow r{};
          r.mode = mode;
          r.oa = oa.at();
          r.ob = ob.at(4);
          r.pa = d;
          r.pb = (d + 1) % 4;
          r.c16 = restore::kCurvature16[d];
          r.ku = ku.at();
          r.kd = kd.at();
          r.ku3 = ku3.at();
          r.kd3 = kd3.at();
          r.weight = weights.data();
          test::Fenced out_ref(4 * n);
          r.out = out_ref.data();
          Reference().rebuild_row(r, n);
          test::ForEachVariant(Variants(), [&](const RestoreKernels& k) {
            test::Fenced out(4 * n, 3);
            RebuildRow v = r;
            v.out = out.data();
            k.rebuild_row(v, n);
            EXPECT_EQ(out.payload(), out_ref.payload()) << "n " << n << " mode " << int(mode);
            EXPECT_TRUE(out.GuardsIntact());
          });
        }
      }
      test::ForEachVariant(Variants(), [&](const RestoreKernels& k) {
        test::Fenced w(n, 1);
        k.weight_row(w.data(), e, act, n);
        EXPECT_EQ(w.payload(), w_ref.payload()) << "weights, n " << n;
        EXPECT_TRUE(w.GuardsIntact());
      });
    }
  }
}

// The reference against samples worked by hand.
TEST(RestoreKernelsTest, ReferenceArithmetic) {
  // Luma of pure red, green, blue and white.
  const uint8_t bgra[16] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  uint8_t y[4];
  Reference().luma_row(y, bgra, 4);
  EXPECT_EQ(std::vector<uint8_t>(y, y + 4), (std::vector<uint8_t>{81, 144, 40, 235}));

  // Half a pixel between 0 and 100 on a ramp: (2*0 - 9*0 + 39*0 + 39*100
  // - 9*100 + 2*100 + 32) >> 6 = 50; at phase 0 the pixel itself.
  const uint8_t ramp[12] = {0, 0, 0, 0, 0, 100, 100, 100, 100, 100, 100, 100};
  const uint8_t ku[3] = {10, 10, 10}, kd[3] = {30, 30, 30};
  uint8_t e, act;
  MeasureRow m{TimeSamples::kBoth, ramp + 4, ramp + 5, 2, 0, 0, ku + 1, kd + 1, 0, {}, &e, &act};
  Reference().measure_row(m, 1);
  EXPECT_EQ(e, 25);  // |4 (50 - 100)| >> 3
  EXPECT_EQ(act, 20);
  m.d4 = -3;  // |-200 + 3 * 20| >> 3
  Reference().measure_row(m, 1);
  EXPECT_EQ(e, 17);

  // Space: (9 (10 + 30) - 0 - 0 + 8) >> 4 = 23; time with weight 0: the
  // average (50 + 100) / 2 rounded, corrected by c16 = 5 towards it:
  // (16 * 150 + 5 * (150 - 40) + 16) >> 5 = 92; weight 16: space.
  const uint8_t pix_ku[4] = {10, 10, 10, 10}, pix_kd[4] = {30, 30, 30, 30}, zero[4] = {};
  uint8_t rows_a[24], rows_b[24];
  for (int i = 0; i < 24; ++i) {
    rows_a[i] = ramp[i / 4 + 2];
    rows_b[i] = 100;
  }
  uint8_t weight = 0, out[4];
  RebuildRow r{TimeSamples::kBoth,
               rows_a + 8,
               rows_b + 8,
               2,
               0,
               5,
               pix_ku,
               pix_kd,
               zero,
               zero,
               &weight,
               out};
  Reference().rebuild_row(r, 1);
  EXPECT_EQ(out[0], 92);
  weight = 16;
  Reference().rebuild_row(r, 1);
  EXPECT_EQ(out[0], 23);
  weight = 8;  // 92 + ((8 * (23 - 92) + 8) >> 4) = 92 - 34
  Reference().rebuild_row(r, 1);
  EXPECT_EQ(out[0], 58);
}

}  // namespace
