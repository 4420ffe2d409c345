// Colour conversions: worked values, orientation, pitches, and every
// variant against the reference bit for bit.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/cpu.h"
#include "tests/kernel_checker.h"

namespace {

// The reference and every table this processor runs.
std::vector<const ConvertKernels*> SupportedVariants() {
  auto out = test::OptimisedVariants(ConvertKernelVariants());
  out.insert(out.begin(), &ConvertKernelVariants()[0]);
  return out;
}

struct Yuv {
  int y, u, v;
};

// A uniform 2x2 block through each variant.
std::vector<Yuv> ForwardBlock(uint8_t b, uint8_t g, uint8_t r, uint8_t alpha = 255) {
  std::vector<Yuv> out;
  for (const ConvertKernels* k : SupportedVariants()) {
    std::array<uint8_t, 16> bgra;
    for (int i = 0; i < 4; ++i) {
      bgra[4 * i] = b;
      bgra[4 * i + 1] = g;
      bgra[4 * i + 2] = r;
      bgra[4 * i + 3] = static_cast<uint8_t>(alpha + i * 77);
    }
    uint8_t y[4], u = 0, v = 0;
    k->bgra_to_yv12(y, &u, &v, bgra.data(), 2, 2, 2);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(y[i], y[0]);
    out.push_back({y[0], u, v});
  }
  return out;
}

TEST(ConvertTest, ForwardWorkedValues) {
  struct {
    uint8_t b, g, r;
    Yuv want;
  } cases[] = {{255, 255, 255, {235, 128, 128}}, {0, 0, 0, {16, 128, 128}},
               {128, 128, 128, {126, 128, 128}}, {0, 0, 255, {81, 90, 239}},
               {0, 255, 0, {144, 54, 34}},       {255, 0, 0, {40, 239, 110}}};
  for (const auto& c : cases) {
    for (uint8_t alpha : {0, 255}) {
      for (const Yuv& got : ForwardBlock(c.b, c.g, c.r, alpha)) {
        EXPECT_EQ(got.y, c.want.y) << int(c.b) << "," << int(c.g) << "," << int(c.r);
        EXPECT_EQ(got.u, c.want.u);
        EXPECT_EQ(got.v, c.want.v);
      }
    }
  }
}

TEST(ConvertTest, ForwardReadsBottomUpWithOneChromaRowPerPair) {
  // Input rows red, red, blue, blue (row 0 first in memory), 2 pixels wide.
  for (const ConvertKernels* k : SupportedVariants()) {
    std::vector<uint8_t> bgra(2 * 4 * 4);
    for (int r = 0; r < 4; ++r)
      for (int x = 0; x < 2; ++x) {
        uint8_t* p = &bgra[(r * 2 + x) * 4];
        p[0] = r < 2 ? 0 : 255;
        p[2] = r < 2 ? 255 : 0;
      }
    uint8_t y[8], u[2], v[2];
    k->bgra_to_yv12(y, u, v, bgra.data(), 2, 4, 2);
    EXPECT_EQ(std::vector<int>(y, y + 8), (std::vector<int>{40, 40, 40, 40, 81, 81, 81, 81}));
    EXPECT_EQ(u[0], 239);
    EXPECT_EQ(v[0], 110);
    EXPECT_EQ(u[1], 90);
    EXPECT_EQ(v[1], 239);
  }
  // Two white and two black pixels: neutral chroma.
  for (const ConvertKernels* k : SupportedVariants()) {
    uint8_t bgra[16] = {255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0};
    uint8_t y[4], u, v;
    k->bgra_to_yv12(y, &u, &v, bgra, 2, 2, 2);
    EXPECT_EQ(y[0], 235);
    EXPECT_EQ(y[1], 16);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
  }
}

TEST(ConvertTest, BackwardWorkedValues) {
  struct {
    uint8_t y, u, v;
    std::array<uint8_t, 4> bgra;
  } cases[] = {{235, 128, 128, {253, 253, 253, 0}}, {16, 128, 128, {0, 0, 0, 0}},
               {126, 128, 128, {127, 127, 127, 0}}, {81, 90, 239, {0, 0, 252, 0}},
               {144, 54, 34, {0, 253, 0, 0}},       {40, 239, 110, {251, 0, 0, 0}},
               {255, 255, 255, {255, 123, 255, 0}}, {0, 0, 0, {0, 135, 0, 0}}};
  for (const ConvertKernels* k : SupportedVariants()) {
    for (const auto& c : cases) {
      std::vector<uint8_t> y(8 * 2, c.y), u(4, c.u), v(4, c.v), out(8 * 2 * 4, 0xEE);
      k->yv12_to_bgra(out.data(), 8, y.data(), u.data(), v.data(), 8, 4, 8, 2);
      for (int p = 0; p < 16; ++p) {
        ASSERT_EQ(out[4 * p], c.bgra[0]) << k->name << " y " << int(c.y);
        ASSERT_EQ(out[4 * p + 1], c.bgra[1]) << k->name << " y " << int(c.y);
        ASSERT_EQ(out[4 * p + 2], c.bgra[2]) << k->name << " y " << int(c.y);
        ASSERT_EQ(out[4 * p + 3], 0);
      }
    }
  }
}

TEST(ConvertTest, NegativeHeightFlipsAndWiderPitchLeavesPaddingAlone) {
  for (const ConvertKernels* k : SupportedVariants()) {
    // Y rows 0 and 1 differ; one chroma row serves both.
    std::vector<uint8_t> y = {16,  16,  16,  16,  16,  16,  16,  16,
                              235, 235, 235, 235, 235, 235, 235, 235};
    std::vector<uint8_t> u(4, 128), v(4, 128), out(2 * 12 * 4, 0xEE);
    k->yv12_to_bgra(out.data(), 12, y.data(), u.data(), v.data(), 8, 4, 8, -2);
    EXPECT_EQ(out[0], 253) << "output row 0 comes from Y row 1";
    EXPECT_EQ(out[12 * 4], 0) << "output row 1 comes from Y row 0";
    for (int row = 0; row < 2; ++row)
      for (int b = 8 * 4; b < 12 * 4; ++b) EXPECT_EQ(out[row * 48 + b], 0xEE) << k->name;
  }
}

TEST(ConvertTest, VariantsMatchReferenceOnRandomImages) {
  const ConvertKernels& ref = ConvertKernelVariants()[0];
  for (const ConvertKernels* k : SupportedVariants()) {
    if (k == &ref) continue;
    for (auto [w, h, extra] : {std::tuple{16u, 16u, 0},
                               {720u, 576u, 0},
                               {64u, 32u, 24},
                               {8u, 2u, 8},
                               {12u, 4u, 0},
                               {6u, 2u, 2}}) {
      std::vector<uint8_t> bgra(4 * w * h);
      test::FillRandom(bgra.data(), bgra.size(), w + h);
      const int32_t pitch = static_cast<int32_t>(w) + extra;
      const size_t chroma = static_cast<size_t>((pitch - w) / 2 + w / 2) * (h / 2);
      test::Fenced y1(pitch * h), u1(chroma), v1(chroma), y2(pitch * h, 3), u2(chroma, 5),
          v2(chroma, 1);
      ref.bgra_to_yv12(y1.data(), u1.data(), v1.data(), bgra.data(), w, h, pitch);
      k->bgra_to_yv12(y2.data(), u2.data(), v2.data(), bgra.data(), w, h, pitch);
      ASSERT_EQ(y2.payload(), y1.payload()) << w << "x" << h;
      ASSERT_EQ(u2.payload(), u1.payload());
      ASSERT_EQ(v2.payload(), v1.payload());
      ASSERT_TRUE(y2.GuardsIntact() && u2.GuardsIntact() && v2.GuardsIntact());

      // Back, from random planes (every Y, U, V combination range).
      std::vector<uint8_t> yp(pitch * h), up(chroma), vp(chroma);
      test::FillRandom(yp.data(), yp.size(), 1);
      test::FillRandom(up.data(), up.size(), 2);
      test::FillRandom(vp.data(), vp.size(), 3);
      const int32_t chroma_pitch =
          (pitch - static_cast<int32_t>(w)) / 2 + static_cast<int32_t>(w) / 2;
      for (int32_t height : {static_cast<int32_t>(h), -static_cast<int32_t>(h)}) {
        test::Fenced o1(4 * pitch * h), o2(4 * pitch * h, 6);
        std::memset(o1.data(), 0xCC, o1.size());
        std::memset(o2.data(), 0xCC, o2.size());
        ref.yv12_to_bgra(o1.data(), pitch, yp.data(), up.data(), vp.data(), pitch, chroma_pitch, w,
                         height);
        k->yv12_to_bgra(o2.data(), pitch, yp.data(), up.data(), vp.data(), pitch, chroma_pitch, w,
                        height);
        ASSERT_EQ(o2.payload(), o1.payload()) << w << "x" << height;
        ASSERT_TRUE(o2.GuardsIntact());
      }
    }
  }
}

TEST(ConvertTest, BackwardCoversEveryYuvTriple) {
  const ConvertKernels& ref = ConvertKernelVariants()[0];
  for (const ConvertKernels* k :
       test::DistinctForms(ConvertKernelVariants(), &ConvertKernels::yv12_to_bgra)) {
    // 256 Y values per row; U and V constant per call, all 256 x 256 pairs.
    std::vector<uint8_t> y(256 * 2), out1(256 * 2 * 4), out2(out1.size());
    for (int i = 0; i < 512; ++i) y[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> u(128), v(128);
    for (int uu = 0; uu < 256; ++uu) {
      for (int vv = 0; vv < 256; ++vv) {
        std::fill(u.begin(), u.end(), uu);
        std::fill(v.begin(), v.end(), vv);
        ref.yv12_to_bgra(out1.data(), 256, y.data(), u.data(), v.data(), 256, 128, 256, 2);
        k->yv12_to_bgra(out2.data(), 256, y.data(), u.data(), v.data(), 256, 128, 256, 2);
        ASSERT_EQ(out2, out1) << "u " << uu << " v " << vv;
      }
    }
  }
}

// The fused path against what it replaces: field staging, the whole-image
// conversion (reference) and re-interleaving, on host frames with padded,
// exact and upward (negative) row bytes, widths not a multiple of 8 included.
TEST(ConvertTest, FieldsToEngineYv12EqualsStagingConversionAndInterleave) {
  const ConvertKernels& ref = test::Reference(ConvertKernelVariants());
  for (auto [w, h] : {std::pair{720u, 576u}, {22u, 12u}, {16u, 4u}}) {
    const size_t n = size_t{w} * h, row = size_t{4} * w;
    std::vector<uint8_t> staging(4 * n), fields(3 * n / 2), want(3 * n / 2);
    for (test::Fill fill : test::kFills) {
      for (ptrdiff_t pad : {ptrdiff_t{0}, ptrdiff_t{12}}) {
        const ptrdiff_t pitch = static_cast<ptrdiff_t>(row) + pad;
        std::vector<uint8_t> frame(pitch * h);
        test::FillWith(frame.data(), frame.size(), fill, w + h);
        for (uint32_t k = 0; k < h / 2; ++k) {
          std::memcpy(&staging[k * row], &frame[2 * k * pitch], row);
          std::memcpy(&staging[(h / 2 + k) * row], &frame[(2 * k + 1) * pitch], row);
        }
        ref.bgra_to_yv12(fields.data(), fields.data() + n + n / 4, fields.data() + n,
                         staging.data(), w, h, static_cast<int32_t>(w));
        for (uint32_t i = 0; i < h / 2; ++i) {
          std::memcpy(&want[2 * i * w], &fields[i * w], w);
          std::memcpy(&want[(2 * i + 1) * w], &fields[(h / 2 + i) * w], w);
        }
        for (size_t plane : {n, n + n / 4}) {
          for (uint32_t i = 0; i < h / 4; ++i) {
            std::memcpy(&want[plane + 2 * i * (w / 2)], &fields[plane + i * (w / 2)], w / 2);
            std::memcpy(&want[plane + (2 * i + 1) * (w / 2)],
                        &fields[plane + (h / 4 + i) * (w / 2)], w / 2);
          }
        }
        for (const ConvertKernels* k : SupportedVariants()) {
          SCOPED_TRACE(std::string(k->name) + " " + std::to_string(w) + "x" + std::to_string(h) +
                       " pad " + std::to_string(pad));
          test::Fenced got(3 * n / 2, 3);
          ConvertFieldsToEngineYv12(*k, got.data(), frame.data(), pitch, w, h);
          ASSERT_EQ(got.payload(), want);
          ASSERT_TRUE(got.GuardsIntact());
          // The same frame stored bottom row first, walked upward.
          std::vector<uint8_t> flipped(frame.size());
          for (uint32_t r = 0; r < h; ++r)
            std::memcpy(&flipped[(h - 1 - r) * pitch], &frame[r * pitch], pitch);
          ConvertFieldsToEngineYv12(*k, got.data(), flipped.data() + (h - 1) * pitch, -pitch, w, h);
          ASSERT_EQ(got.payload(), want);
        }
      }
    }
  }
}

// The way back: every row kernel against the reference with alpha 0, 255
// and another value, widths from 1 to past two SIMD steps; and the engine
// image into a padded host frame equals the flipped conversion plus the
// alpha pass, leaving the row padding alone.
TEST(ConvertTest, RowsBackAndEngineToHostMatchReference) {
  const ConvertKernels& ref = test::Reference(ConvertKernelVariants());
  std::vector<uint8_t> y(80), u(40), v(40);
  test::ForEachVariant(ConvertKernelVariants(), [&](const ConvertKernels& k) {
    for (test::Fill fill : test::kFills) {
      test::FillWith(y.data(), y.size(), fill, 1);
      test::FillWith(u.data(), u.size(), fill, 2);
      test::FillWith(v.data(), v.size(), test::Fill::kRandom, 3);
      for (uint32_t w = 1; w <= 80; ++w) {
        for (uint8_t alpha : {0, 255, 77}) {
          test::Fenced want(4 * w), got(4 * w, 5);
          ref.yv12_row_to_bgra(want.data(), y.data(), u.data(), v.data(), w, alpha);
          k.yv12_row_to_bgra(got.data(), y.data(), u.data(), v.data(), w, alpha);
          ASSERT_EQ(got.payload(), want.payload()) << "w " << w;
          ASSERT_TRUE(got.GuardsIntact()) << "w " << w;
        }
      }
    }
  });
  constexpr uint32_t w = 48, h = 16, pitch = 4 * w + 8;
  std::vector<uint8_t> image(3 * w * h / 2);
  test::FillWith(image.data(), image.size(), test::Fill::kRandom, 4);
  for (const ConvertKernels* k : SupportedVariants()) {
    std::vector<uint8_t> want(pitch * h, 0x5A), got(pitch * h, 0x5A);
    k->yv12_to_bgra(want.data(), pitch / 4, image.data(), image.data() + w * h * 5 / 4,
                    image.data() + w * h, w, w / 2, w, -static_cast<int32_t>(h));
    for (uint32_t r = 0; r < h; ++r)
      for (uint32_t x = 0; x < w; ++x) want[r * pitch + 4 * x + 3] = 255;
    ConvertEngineYv12ToHost(*k, got.data(), pitch, image.data(), w, h);
    ASSERT_EQ(got, want) << k->name;
  }
}

}  // namespace
