// The whole execute path per 720x576 frame and method (debug off, empty
// region), and the engine alone, so that the share around Process (staging,
// conversions, region, alpha, settings and region loads) can be read off.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "convert/convert.h"
#include "engine/me_deinterlacer.h"
#include "host/pipeline.h"
#include "host/settings.h"
#include "platform/cpu.h"
#include "platform/store.h"
#include "plugin/execute.h"
#include "plugin/module_state.h"
#include "region/rect_list.h"
#include "tests/engine/frames.h"

namespace {

constexpr int32_t kWidth = 720, kHeight = 576;

// Keep the benchmark away from the user's own settings.
const int g_scratch_home = [] {
  setenv("XDG_CONFIG_HOME", "/tmp/fieldrestore-bench/config", 1);
  setenv("XDG_STATE_HOME", "/tmp/fieldrestore-bench/state", 1);
  return 0;
}();

void UseMethod(int32_t method) {
  platform::DeleteStoreKeyTree("SOFTWARE\\quorvaline");
  DeinterlaceParameters p;
  p.method = method;
  SaveSettings(&p);
  SetDebug(false);
  LoadSettings(&g_settings);
}

// A host frame (BGRA, bottom row first) of the sample scene's object clip.
std::vector<uint8_t> HostFrame() {
  const auto yv12 = test::ObjectFrame(kWidth, kHeight, 6);
  std::vector<uint8_t> bgra(4 * kWidth * kHeight);
  for (size_t i = 0; i < size_t{kWidth} * kHeight; ++i) {
    bgra[4 * i] = bgra[4 * i + 1] = bgra[4 * i + 2] = yv12[i];
    bgra[4 * i + 3] = 255;
  }
  return bgra;
}

void Execute(benchmark::State& state) {
  UseMethod(static_cast<int32_t>(state.range(0)));
  const auto src = HostFrame();
  std::vector<uint8_t> dst(src.size());
  ExecuteFrames f;
  f.src_width = f.dst_width = kWidth;
  f.src_height = f.dst_height = kHeight;
  f.src_row_bytes = f.dst_row_bytes = 4 * kWidth;
  f.src_pixels = src.data();
  f.dst_pixels = dst.data();
  for (auto _ : state) {
    LoadSettings(&g_settings);  // as xFilter does before every call
    ExecuteFrame(f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Execute)->ArgName("method")->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// The same frame through the engine alone (converted once, outside).
void EngineOnly(benchmark::State& state) {
  const auto yv12 = test::ObjectFrame(kWidth, kHeight, 6);
  std::vector<uint8_t> dst(yv12.size());
  DeinterlaceParameters p;
  p.method = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    MEDeinterlacer engine;
    engine.Init(kWidth, kHeight);
    engine.Process(yv12.data(), dst.data(), &p);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(EngineOnly)->ArgName("method")->DenseRange(1, 5)->Unit(benchmark::kMillisecond);

// The settings and region loads alone.
void StoreLoads(benchmark::State& state) {
  UseMethod(4);
  for (auto _ : state) {
    LoadSettings(&g_settings);
    LoadSettings(&g_settings);
    ScopedRectList region;
    benchmark::DoNotOptimize(g_rectList);
  }
}
BENCHMARK(StoreLoads)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

void ToYv12(benchmark::State& state, const ConvertKernels* k) {
  std::vector<uint8_t> bgra(4 * kWidth * kHeight), yv12(kWidth * kHeight * 3 / 2);
  test::FillRandom(bgra.data(), bgra.size(), 1);
  const size_t n = size_t{kWidth} * kHeight;
  for (auto _ : state) {
    k->bgra_to_yv12(yv12.data(), yv12.data() + n + n / 4, yv12.data() + n, bgra.data(), kWidth,
                    kHeight, kWidth);
    benchmark::ClobberMemory();
  }
}

void ToBgra(benchmark::State& state, const ConvertKernels* k) {
  std::vector<uint8_t> bgra(4 * kWidth * kHeight), yv12(kWidth * kHeight * 3 / 2);
  test::FillRandom(yv12.data(), yv12.size(), 2);
  const size_t n = size_t{kWidth} * kHeight;
  for (auto _ : state) {
    k->yv12_to_bgra(bgra.data(), kWidth, yv12.data(), yv12.data() + n + n / 4, yv12.data() + n,
                    kWidth, kWidth / 2, kWidth, -kHeight);
    benchmark::ClobberMemory();
  }
}

// The host frame into the engine image: staged (copy the fields apart,
// convert, re-interleave, as before) against the fused one-pass kernel.
void HostToEngine(benchmark::State& state, const ConvertKernels* k, bool fused) {
  const size_t n = size_t{kWidth} * kHeight, row = size_t{4} * kWidth;
  std::vector<uint8_t> bgra(4 * n), staging(4 * n), fields(3 * n / 2), image(3 * n / 2);
  test::FillRandom(bgra.data(), bgra.size(), 1);
  for (auto _ : state) {
    if (fused) {
      ConvertFieldsToEngineYv12(*k, image.data(), bgra.data(), static_cast<ptrdiff_t>(row), kWidth,
                                kHeight);
    } else {
      for (uint32_t i = 0; i < kHeight / 2; ++i) {
        std::memcpy(&staging[i * row], &bgra[2 * i * row], row);
        std::memcpy(&staging[(kHeight / 2 + i) * row], &bgra[(2 * i + 1) * row], row);
      }
      k->bgra_to_yv12(fields.data(), fields.data() + n + n / 4, fields.data() + n, staging.data(),
                      kWidth, kHeight, kWidth);
      for (uint32_t i = 0; i < kHeight / 2; ++i) {
        std::memcpy(&image[2 * i * kWidth], &fields[i * kWidth], kWidth);
        std::memcpy(&image[(2 * i + 1) * kWidth], &fields[(kHeight / 2 + i) * kWidth], kWidth);
      }
      for (size_t plane : {n, n + n / 4}) {
        for (uint32_t i = 0; i < kHeight / 4; ++i) {
          std::memcpy(&image[plane + 2 * i * (kWidth / 2)], &fields[plane + i * (kWidth / 2)],
                      kWidth / 2);
          std::memcpy(&image[plane + (2 * i + 1) * (kWidth / 2)],
                      &fields[plane + (kHeight / 4 + i) * (kWidth / 2)], kWidth / 2);
        }
      }
    }
    benchmark::ClobberMemory();
  }
}

const int kRegisteredConvert = [] {
  for (const ConvertKernels& k : ConvertKernelVariants()) {
    if (!platform::IsSupported(k)) continue;
    benchmark::RegisterBenchmark((std::string("ConvertBgraToYv12/") + k.name).c_str(), ToYv12, &k)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("ConvertYv12ToBgra/") + k.name).c_str(), ToBgra, &k)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("HostToEngine/staged/") + k.name).c_str(),
                                 HostToEngine, &k, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("HostToEngine/fused/") + k.name).c_str(),
                                 HostToEngine, &k, true)
        ->Unit(benchmark::kMicrosecond);
  }
  return 0;
}();

}  // namespace
