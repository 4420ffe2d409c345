// Engine benchmarks: each field kernel per variant, and Process per method
// on a 720x576 frame woven from two moments of a textured pan.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/block_kernels.h"
#include "engine/field_kernels.h"
#include "engine/me_deinterlacer.h"
#include "platform/cpu.h"
#include "tests/engine/frames.h"

namespace {

constexpr uint32_t kWidth = 720, kHeight = 576;

const std::vector<uint8_t>& PanSource() {
  static const std::vector<uint8_t> frame = test::PanFrame(kWidth, kHeight, 6);
  return frame;
}

void Detect(benchmark::State& state, const FieldKernels* k) {
  const auto& src = PanSource();
  std::vector<uint8_t> map(kWidth * kHeight), hits(kWidth * kHeight / 256);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        k->detect_interlace(map.data(), hits.data(), src.data(), kWidth, kHeight, 48));
  }
}

void Luma(benchmark::State& state, const FieldKernels* k, bool all) {
  const auto& src = PanSource();
  std::vector<uint8_t> map(kWidth * kHeight), hits(kWidth * kHeight / 256), dst(map.size());
  k->detect_interlace(map.data(), hits.data(), src.data(), kWidth, kHeight, 48);
  for (auto _ : state) {
    k->interpolate_luma(dst.data(), src.data(), map.data(), kWidth, kHeight, all);
    benchmark::ClobberMemory();
  }
}

void Chroma(benchmark::State& state, const FieldKernels* k, bool all) {
  const auto& src = PanSource();
  const size_t luma = kWidth * kHeight, chroma = luma / 4;
  std::vector<uint8_t> dst(2 * chroma);
  for (auto _ : state) {
    k->interpolate_chroma(dst.data(), dst.data() + chroma, src.data() + luma,
                          src.data() + luma + chroma, kWidth / 2, kHeight / 2, all);
    benchmark::ClobberMemory();
  }
}

void Double(benchmark::State& state, const FieldKernels* k) {
  std::vector<uint8_t> plane(PanSource().begin(), PanSource().begin() + kWidth * kHeight);
  for (auto _ : state) {
    k->double_field(plane.data(), kWidth, kHeight);
    benchmark::ClobberMemory();
  }
}

void Process(benchmark::State& state) {
  const auto& src = PanSource();
  std::vector<uint8_t> dst(src.size());
  DeinterlaceParameters params;
  params.method = static_cast<int32_t>(state.range(0));
  MEDeinterlacer engine;
  engine.Init(kWidth, kHeight);
  for (auto _ : state) {
    engine.Process(src.data(), dst.data(), &params);
    benchmark::ClobberMemory();
  }
}

const int kRegistered = [] {
  for (const FieldKernels& k : FieldKernelVariants()) {
    if (!platform::IsSupported(k)) continue;
    const std::string n = k.name;
    benchmark::RegisterBenchmark(("DetectInterlace/" + n).c_str(), Detect, &k);
    benchmark::RegisterBenchmark(("InterpolateLuma/map/" + n).c_str(), Luma, &k, false);
    benchmark::RegisterBenchmark(("InterpolateLuma/all/" + n).c_str(), Luma, &k, true);
    benchmark::RegisterBenchmark(("InterpolateChroma/comb/" + n).c_str(), Chroma, &k, false);
    benchmark::RegisterBenchmark(("InterpolateChroma/all/" + n).c_str(), Chroma, &k, true);
    benchmark::RegisterBenchmark(("DoubleField/" + n).c_str(), Double, &k);
  }
  benchmark::RegisterBenchmark("Process/720x576/method", Process)
      ->Arg(1)
      ->Arg(2)
      ->Arg(3)
      ->Unit(benchmark::kMicrosecond);
  return 0;
}();

}  // namespace

namespace {

// Methods 4 and 5 on content with motion: a textured pan (slow and fast),
// an object moving over a still background, and a still shot.
enum Content { kSlowPan, kFastPan, kObject, kStill };

std::vector<uint8_t> MakeContent(Content c, uint32_t w, uint32_t h) {
  switch (c) {
    case kSlowPan:
      return test::PanFrame(w, h, 2);
    case kFastPan:
      return test::PanFrame(w, h, 12);
    case kObject:
      return test::ObjectFrame(w, h, 6);
    case kStill:
      return test::ObjectFrame(w, h, 0);
  }
  return {};
}

void MotionMethod(benchmark::State& state) {
  const int32_t method = static_cast<int32_t>(state.range(0));
  const uint32_t h = static_cast<uint32_t>(state.range(1));
  const auto src = MakeContent(static_cast<Content>(state.range(2)), kWidth, h);
  std::vector<uint8_t> dst(src.size());
  DeinterlaceParameters params;
  params.method = method;
  MEDeinterlacer engine;
  engine.Init(kWidth, h);
  for (auto _ : state) {
    engine.Process(src.data(), dst.data(), &params);
    benchmark::ClobberMemory();
  }
  uint32_t searched = 0;
  for (uint32_t n = 0; n < engine.block_count; ++n) searched += engine.block_comb_hits[n] > 32;
  state.counters["combed_blocks"] = searched;
}

void Distance(benchmark::State& state, const BlockKernels* k, bool big) {
  std::vector<uint8_t> a(1440 * 16), b(1440 * 16);
  test::FillRandom(a.data(), a.size(), 1);
  test::FillRandom(b.data(), b.size(), 2);
  const uint32_t best = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(big ? k->distance_16x8(a.data(), b.data(), best, 1440)
                                 : k->distance_8x4(a.data(), b.data(), best, 720));
  }
}

// One window row of 32 candidates against a block of the pan, as the
// searches of methods 4 and 5 scan them.
void SearchRow(benchmark::State& state, const BlockKernels* k) {
  static const auto frame = test::PanFrame(kWidth, 64, 6);
  const uint8_t* reference = frame.data() + 16 * kWidth + 64;
  for (auto _ : state) {
    uint32_t best = 0x1000000;
    int32_t at = -1;
    for (int32_t y = 0; y < 32; y += 2)
      k->search_row_16x8(frame.data() + y * kWidth + 48, 32, reference, 2 * kWidth, &best, &at);
    benchmark::DoNotOptimize(best);
  }
}

const int kRegisteredMotion = [] {
  for (const BlockKernels& k : BlockKernelVariants()) {
    if (!platform::IsSupported(k)) continue;
    const std::string n = k.name;
    // best: never reached (full sum) and reached after the first row.
    benchmark::RegisterBenchmark(("BlockDistance16x8/" + n).c_str(), Distance, &k, true)
        ->Arg(0x800000)
        ->Arg(1);
    benchmark::RegisterBenchmark(("BlockDistance8x4/" + n).c_str(), Distance, &k, false)
        ->Arg(0x200000)
        ->Arg(1);
    benchmark::RegisterBenchmark(("SearchWindow16x8/" + n).c_str(), SearchRow, &k);
  }
  auto* b = benchmark::RegisterBenchmark("Process/motion", MotionMethod)
                ->ArgNames({"method", "height", "content"})
                ->Unit(benchmark::kMillisecond);
  for (int method : {4, 5})
    for (int height : {576, 480})
      for (int content : {kSlowPan, kFastPan, kObject, kStill}) b->Args({method, height, content});
  return 0;
}();

}  // namespace
