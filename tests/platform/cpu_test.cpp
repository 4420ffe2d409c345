// The MMX decision from the two answers of the processor.
#include "platform/cpu.h"

#include <gtest/gtest.h>

namespace {

bool g_id_sticks = true;
uint32_t g_edx = 0;
bool FakeIdSticks() { return g_id_sticks; }
uint32_t FakeEdx() { return g_edx; }
bool g_cpuid_called = false;
uint32_t TrackedEdx() {
  g_cpuid_called = true;
  return 0xFFFFFFFF;
}

TEST(CpuTest, MmxIsBit23OfCpuidEdx) {
  const platform::CpuProbe probe{&FakeIdSticks, &FakeEdx};
  g_id_sticks = true;
  g_edx = 0x00800000;
  EXPECT_TRUE(platform::HasMmx(probe));
  g_edx = 0xFF7FFFFF;
  EXPECT_FALSE(platform::HasMmx(probe));
}

TEST(CpuTest, WithoutTheIdFlagThereIsNoCpuidAndNoMmx) {
  g_id_sticks = false;
  g_cpuid_called = false;
  EXPECT_FALSE(platform::HasMmx(platform::CpuProbe{&FakeIdSticks, &TrackedEdx}));
  EXPECT_FALSE(g_cpuid_called) << "CPUID must not run where it does not exist";
}

TEST(CpuTest, FeatureMaskLimitsTheDetectedFeatures) {
  const uint32_t all = platform::CpuFeatures();
  platform::SetCpuFeatureMask(0);
  EXPECT_EQ(platform::CpuFeatures(), 0u);
  platform::SetCpuFeatureMask(~0u);
  EXPECT_EQ(platform::CpuFeatures(), all);
#if defined(__i386__) || defined(__x86_64__)
  EXPECT_TRUE(platform::HasMmx(platform::HardwareCpuProbe()));
  EXPECT_NE(all & platform::kCpuFeatureMmx, 0u);
#endif
}

TEST(CpuTest, Avx2NeedsTheOsToSaveTheYmmRegisters) {
  platform::CpuidAnswers a;
  a.leaf1_edx = (1u << 23) | (1u << 26);
  a.leaf1_ecx = (1u << 27) | (1u << 28);  // OSXSAVE, AVX
  a.leaf7_ebx = 1u << 5;
  a.xcr0 = 0x7;
  EXPECT_EQ(platform::FeaturesFromCpuid(a),
            platform::kCpuFeatureMmx | platform::kCpuFeatureSse2 | platform::kCpuFeatureAvx2);
  a.xcr0 = 0x3;  // SSE state only: YMM would be lost on a task switch
  EXPECT_EQ(platform::FeaturesFromCpuid(a) & platform::kCpuFeatureAvx2, 0u);
  a.xcr0 = 0x7;
  a.leaf1_ecx = 1u << 28;  // no OSXSAVE
  EXPECT_EQ(platform::FeaturesFromCpuid(a) & platform::kCpuFeatureAvx2, 0u);
  a.leaf1_ecx = (1u << 27) | (1u << 28);
  a.leaf7_ebx = 0;
  EXPECT_EQ(platform::FeaturesFromCpuid(a) & platform::kCpuFeatureAvx2, 0u);
}

}  // namespace
