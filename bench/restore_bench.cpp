// The restoring method: each row kernel per variant on 720-pixel rows, and
// whole frames (720x576 and 1920x1088) of a moving picture with both
// neighbours, the frame before only and none.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/cpu.h"
#include "restore/field_restorer.h"
#include "restore/restore_kernels.h"
#include "tests/engine/frames.h"

namespace {

using restore::RestoreKernels;

constexpr uint32_t kRow = 720;

// Random bytes with room for the taps on either side.
const std::vector<uint8_t>& Bytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(4 * kRow + 512);
    test::FillRandom(b.data(), b.size(), 3);
    return b;
  }();
  return bytes;
}

void Luma(benchmark::State& state, const RestoreKernels* k) {
  std::vector<uint8_t> y(kRow);
  for (auto _ : state) {
    k->luma_row(y.data(), Bytes().data(), kRow);
    benchmark::ClobberMemory();
  }
}

void Measure(benchmark::State& state, const RestoreKernels* k) {
  const uint8_t* b = Bytes().data() + 64;
  std::vector<uint8_t> e(kRow), act(kRow);
  restore::MeasureRow m{restore::TimeSamples::kBoth,
                        b,
                        b + 7,
                        1,
                        2,
                        1,
                        b + 100,
                        b + 200,
                        2,
                        {},
                        e.data(),
                        act.data()};
  for (int j = 0; j < 4; ++j) m.kept[j] = {b + 300 + j, b + 310 + j, j % 2};
  for (auto _ : state) {
    k->measure_row(m, kRow);
    benchmark::ClobberMemory();
  }
}

void Weight(benchmark::State& state, const RestoreKernels* k) {
  const uint8_t* b = Bytes().data() + 64;
  const uint8_t* const e[3] = {b, b + 1000, b + 2000};
  const uint8_t* const act[3] = {b + 500, b + 1500, b + 2500};
  std::vector<uint8_t> w(kRow);
  for (auto _ : state) {
    k->weight_row(w.data(), e, act, kRow);
    benchmark::ClobberMemory();
  }
}

void Rebuild(benchmark::State& state, const RestoreKernels* k) {
  const uint8_t* b = Bytes().data() + 64;
  std::vector<uint8_t> weights(kRow, 5), out(4 * kRow);
  restore::RebuildRow r{restore::TimeSamples::kBoth,
                        b,
                        b + 12,
                        1,
                        3,
                        5,
                        b + 20,
                        b + 24,
                        b + 28,
                        b + 32,
                        weights.data(),
                        out.data()};
  for (auto _ : state) {
    k->rebuild_row(r, kRow);
    benchmark::ClobberMemory();
  }
}

void Sad(benchmark::State& state, const RestoreKernels* k) {
  const uint8_t* b = Bytes().data();
  for (auto _ : state) benchmark::DoNotOptimize(k->sad16(b, 96, b + 37, 96, 8));
}

// Frames of a picture panning 2.5 pixels and 0.5 lines a field, woven with
// the other field one field after the kept one.
std::vector<uint8_t> Woven(uint32_t w, uint32_t h, int32_t kept) {
  std::vector<uint8_t> f(size_t{4} * w * h);
  for (uint32_t y = 0; y < h; ++y) {
    const int32_t t = y % 2 ? kept : kept + 1;
    for (uint32_t x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) {
        f[(size_t{y} * w + x) * 4 + c] =
            test::Texture(static_cast<int32_t>(2 * x) - 5 * t + c, static_cast<int32_t>(2 * y) - t);
      }
    }
  }
  return f;
}

void Frame(benchmark::State& state) {
  const uint32_t w = static_cast<uint32_t>(state.range(0)),
                 h = static_cast<uint32_t>(state.range(1));
  const int neighbours = static_cast<int>(state.range(2));  // 0 none, 1 before, 2 both
  std::vector<std::vector<uint8_t>> clip;
  for (int k = 0; k < 8; ++k) clip.push_back(Woven(w, h, 2 * k));
  std::vector<uint8_t> out(clip[0].size());
  restore::FieldRestorer restorer;
  uint64_t i = 1;
  for (auto _ : state) {
    const auto at = [&](uint64_t n) {
      return restore::WindowFrame{clip[n % 8].data(), static_cast<ptrdiff_t>(4 * w), n};
    };
    restore::FrameWindow window{{}, at(i), {}};
    if (neighbours >= 1) window.previous = at(i - 1);
    if (neighbours >= 2) window.next = at(i + 1);
    restorer.Restore(window, w, h, out.data(), 4 * w);
    ++i;
  }
}

const int kRegistered = [] {
  for (const RestoreKernels& k : restore::RestoreKernelVariants()) {
    if (!platform::IsSupported(k)) continue;
    const std::string n = k.name;
    benchmark::RegisterBenchmark(("LumaRow/" + n).c_str(), Luma, &k);
    benchmark::RegisterBenchmark(("MeasureRow/" + n).c_str(), Measure, &k);
    benchmark::RegisterBenchmark(("WeightRow/" + n).c_str(), Weight, &k);
    benchmark::RegisterBenchmark(("RebuildRow/" + n).c_str(), Rebuild, &k);
    benchmark::RegisterBenchmark(("Sad16x8/" + n).c_str(), Sad, &k);
  }
  benchmark::RegisterBenchmark("Restore/frame", Frame)
      ->ArgNames({"width", "height", "neighbours"})
      ->Args({720, 576, 2})
      ->Args({720, 576, 1})
      ->Args({720, 576, 0})
      ->Args({1920, 1088, 2})
      ->Unit(benchmark::kMillisecond);
  return 0;
}();

}  // namespace
