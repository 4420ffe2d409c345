// Processor identification: the MMX test the plug-in makes before it loads,
// and the feature set that picks kernel variants.
#pragma once

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
};

// The features detected on this machine, limited by the mask below.
uint32_t CpuFeatures();

// Limits CpuFeatures() to `mask` (all bits: no limit), so that tests and
// benchmarks can force each kernel variant, the portable one included.
void SetCpuFeatureMask(uint32_t mask);

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
