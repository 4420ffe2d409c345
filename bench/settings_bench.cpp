// Cost of the settings load that starts every plug-in call.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "host/settings.h"

// Keep the benchmark away from the user's own settings.
static const int g_scratch_home = [] {
  setenv("XDG_CONFIG_HOME", "/tmp/fieldrestore-bench/config", 1);
  setenv("XDG_STATE_HOME", "/tmp/fieldrestore-bench/state", 1);
  return 0;
}();

static void BM_LoadSettings(benchmark::State& state) {
  DeinterlaceParameters params;
  SaveSettings(&params);
  for (auto _ : state) {
    LoadSettings(&params);
    benchmark::DoNotOptimize(params);
  }
}
BENCHMARK(BM_LoadSettings);

static void BM_IsDebugOn(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(IsDebugOn());
}
BENCHMARK(BM_IsDebugOn);
