// Engine benchmarks: each field kernel per variant, and Process per method
// on a 720x576 frame woven from two moments of a textured pan.
#include <benchmark/benchmark.h>

#include <vector>

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
    if ((k.required_features & platform::CpuFeatures()) != k.required_features) continue;
    const std::string n = k.name;
    benchmark::RegisterBenchmark(("DetectInterlace/" + n).c_str(), Detect, &k);
    benchmark::RegisterBenchmark(("InterpolateLuma/map/" + n).c_str(), Luma, &k, false);
    benchmark::RegisterBenchmark(("InterpolateLuma/all/" + n).c_str(), Luma, &k, true);
    benchmark::RegisterBenchmark(("InterpolateChroma/comb/" + n).c_str(), Chroma, &k, false);
    benchmark::RegisterBenchmark(("InterpolateChroma/all/" + n).c_str(), Chroma, &k, true);
    benchmark::RegisterBenchmark(("DoubleField/" + n).c_str(), Double, &k);
  }
  benchmark::RegisterBenchmark("Process/720x576/method", Process)->Arg(1)->Arg(2)->Arg(3)
      ->Unit(benchmark::kMicrosecond);
  return 0;
}();

}  // namespace
