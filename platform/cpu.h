// Processor identification: the MMX test the plug-in makes before it loads,
// and the feature set that picks kernel variants.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace platform {

// The two questions the MMX test asks the processor. Tests inject fakes.
struct CpuProbe {
  // Whether bit 21 (the ID flag) of EFLAGS stays set after being set, which
  // tells that the CPUID instruction exists.
  bool (*id_flag_sticks)();
  // EDX of CPUID function 1.
  uint32_t (*cpuid1_edx)();
};

// The probe that asks this machine's processor.
CpuProbe HardwareCpuProbe();

// True when CPUID exists and reports MMX (bit 23 of EDX for function 1).
bool HasMmx(const CpuProbe& probe);

enum CpuFeature : uint32_t {
  kCpuFeatureMmx = 1u << 0,
  kCpuFeatureSse2 = 1u << 1,
  kCpuFeatureAvx2 = 1u << 2,  // the processor has it and the OS saves the YMM registers
};

// What the processor answers about its features.
struct CpuidAnswers {
  uint32_t leaf1_ecx = 0;
  uint32_t leaf1_edx = 0;
  uint32_t leaf7_ebx = 0;  // subleaf 0; 0 when leaf 7 does not exist
  uint64_t xcr0 = 0;       // XGETBV(0); 0 when OSXSAVE is clear
};

// The CpuFeature bits those answers grant. AVX2 needs the CPUID bit and an
// OS that has enabled AVX (OSXSAVE set and XCR0 covering the SSE and YMM
// state); otherwise its instructions fault.
uint32_t FeaturesFromCpuid(const CpuidAnswers& answers);

// The features detected on this machine, limited by the mask below.
uint32_t CpuFeatures();

// Limits CpuFeatures() to `mask` (all bits: no limit), so that tests and
// benchmarks can force each kernel variant, the portable one included.
void SetCpuFeatureMask(uint32_t mask);

// The instruction-set levels the kernel tables are built for, lowest first;
// each level includes the features of the ones before it.
struct IsaLevel {
  const char* name;
  uint32_t features;
};
inline constexpr IsaLevel kIsaLevels[] = {
    {"c", 0},
    {"mmx", kCpuFeatureMmx},
    {"sse2", kCpuFeatureMmx | kCpuFeatureSse2},
    {"avx2", kCpuFeatureMmx | kCpuFeatureSse2 | kCpuFeatureAvx2},
};
inline constexpr size_t kIsaLevelCount = std::size(kIsaLevels);

// One kernel table per level, from `make` (which fills the reference first
// and lets each ISA the features include replace the functions it has),
// named after the level and requiring its features.
template <class Table>
std::array<Table, kIsaLevelCount> TablesPerLevel(Table (*make)(uint32_t features)) {
  std::array<Table, kIsaLevelCount> tables{};
  for (size_t i = 0; i < kIsaLevelCount; ++i) {
    tables[i] = make(kIsaLevels[i].features);
    tables[i].name = kIsaLevels[i].name;
    tables[i].required_features = kIsaLevels[i].features;
  }
  return tables;
}

// Kernel families list their variants from the portable one up, each with
// the CpuFeature bits it needs in `required_features`.
template <class Variant>
bool IsSupported(const Variant& variant) {
  return (variant.required_features & CpuFeatures()) == variant.required_features;
}

// The last supported variant of a family: the one the public names use.
template <class Variant>
const Variant& BestVariant(std::span<const Variant> variants) {
  const Variant* best = &variants[0];
  for (const Variant& variant : variants) {
    if (IsSupported(variant)) best = &variant;
  }
  return *best;
}

}  // namespace platform
