// The region mask on a 720x576 frame: building it from lists of several
// lengths, and applying it with each block-copy variant side by side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "platform/cpu.h"
#include "platform/profile_file.h"
#include "region/rect_list.h"
#include "region/region_mask.h"

namespace {

constexpr int32_t kWidth = 720, kHeight = 576;

void BM_BuildRegionMask(benchmark::State& state) {
  CRectList list("");  // kept out of the store
  for (int64_t i = 0; i < state.range(0); ++i) {
    list.Add(i % 2 ? 1 : 0, static_cast<int32_t>(16 * i), static_cast<int32_t>(8 * i),
             static_cast<int32_t>(16 * i + 300), static_cast<int32_t>(8 * i + 200));
  }
  std::vector<int32_t> mask(RegionMaskEntries(kWidth, kHeight));
  for (auto _ : state) {
    BuildRegionMask(mask.data(), kWidth, kHeight, &list);
    benchmark::DoNotOptimize(mask.data());
  }
}
// 18,906 rectangles: a region loaded from a large rect file.
BENCHMARK(BM_BuildRegionMask)->Arg(0)->Arg(4)->Arg(16)->Arg(18906);

// A rect file of range(0) rectangles loaded into a list (kept out of the
// store), with our own profile reader.
void BM_LoadRectFile(benchmark::State& state) {
  const std::string path = std::filesystem::temp_directory_path() / "fieldrestore-bench.rect";
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (int64_t i = 0; i < state.range(0); ++i) {
      file << "[[(" << i << "," << i % 500 << ")-(" << i + 10 << "," << i % 500 + 20
           << ")]]\r\npresent=" << i % 2 << "\r\n";
    }
  }
  for (auto _ : state) {
    CRectList list("");
    if (list.LoadFromFile(path.c_str(), platform::PortableProfileFiles()) != 0) {
      state.SkipWithError("the file did not load");
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadRectFile)->Arg(20000)->Unit(benchmark::kMillisecond);

// A list of range(0) rectangles saved as a rect file, in one pass (it took
// 26 s for 10,000 while each rectangle was written through the profile
// functions, which read and rewrite the whole file).
void BM_SaveRectFile(benchmark::State& state) {
  const std::string path = std::filesystem::temp_directory_path() / "fieldrestore-bench.rect";
  CRectList list("");
  for (int64_t i = 0; i < state.range(0); ++i) {
    list.Add(i % 2, static_cast<int32_t>(i), static_cast<int32_t>(i % 500),
             static_cast<int32_t>(i + 10), static_cast<int32_t>(i % 500 + 20));
  }
  for (auto _ : state) {
    if (list.SaveToFile(path.c_str()) != 0) state.SkipWithError("the file was not saved");
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveRectFile)->Arg(100000)->Unit(benchmark::kMillisecond);

// range(0): the variant; range(1): percent of blocks that get their source back.
void BM_ApplyRegionMask(benchmark::State& state) {
  const auto variants = RegionKernelVariants();
  const RegionKernels& variant = variants[static_cast<size_t>(state.range(0))];
  if ((variant.required_features & platform::CpuFeatures()) != variant.required_features) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  state.SetLabel(variant.name);
  const size_t frame = static_cast<size_t>(kWidth) * kHeight * 3 / 2;
  std::vector<uint8_t> source(frame, 1), output(frame, 2);
  std::vector<int32_t> mask(RegionMaskEntries(kWidth, kHeight));
  std::mt19937 random(7);
  for (int32_t& entry : mask) entry = static_cast<int64_t>(random() % 100) >= state.range(1);
  for (auto _ : state) {
    ApplyRegionMaskWith(variant, kHeight, output.data(), source.data(), mask.data(), kWidth);
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame));
}
BENCHMARK(BM_ApplyRegionMask)
    ->ArgsProduct(
        {benchmark::CreateDenseRange(0, static_cast<int64_t>(RegionKernelVariants().size()) - 1, 1),
         {50, 100}});

}  // namespace
