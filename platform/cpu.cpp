// Processor identification through EFLAGS and CPUID on x86; other
// processors report no features and use the portable kernels.
#include "platform/cpu.h"

#include <atomic>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace platform {
namespace {

bool HardwareIdFlagSticks() {
#if defined(__i386__)
  uint32_t before = 0, after = 0;
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000u) != 0;
#elif defined(__x86_64__)
  uint64_t before = 0, after = 0;
  __asm__ volatile(
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000u) != 0;
#else
  return false;
#endif
}

#if defined(__i386__) || defined(__x86_64__)
CpuidAnswers HardwareCpuidAnswers() {
  CpuidAnswers answers;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  answers.leaf1_ecx = ecx;
  answers.leaf1_edx = edx;
  if (__get_cpuid_max(0, nullptr) >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    answers.leaf7_ebx = ebx;
  }
  if (answers.leaf1_ecx & (1u << 27)) {
    uint32_t lo = 0, hi = 0;
    // XGETBV, spelled as bytes so that no -mxsave flag is needed.
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
    answers.xcr0 = (uint64_t{hi} << 32) | lo;
  }
  return answers;
}
#endif

uint32_t HardwareCpuid1Edx() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  return edx;
#else
  return 0;
#endif
}

std::atomic<uint32_t> g_feature_mask{~0u};

uint32_t DetectFeatures() {
  const CpuProbe probe = HardwareCpuProbe();
  if (!probe.id_flag_sticks()) return 0;
#if defined(__i386__) || defined(__x86_64__)
  return FeaturesFromCpuid(HardwareCpuidAnswers());
#else
  return 0;
#endif
}

}  // namespace

CpuProbe HardwareCpuProbe() { return CpuProbe{&HardwareIdFlagSticks, &HardwareCpuid1Edx}; }

bool HasMmx(const CpuProbe& probe) {
  if (!probe.id_flag_sticks()) return false;
  return (probe.cpuid1_edx() & 0x800000u) != 0;
}

uint32_t FeaturesFromCpuid(const CpuidAnswers& a) {
  uint32_t features = 0;
  if (a.leaf1_edx & (1u << 23)) features |= kCpuFeatureMmx;
  if (a.leaf1_edx & (1u << 26)) features |= kCpuFeatureSse2;
  const bool os_saves_ymm = (a.leaf1_ecx & (1u << 27)) && (a.xcr0 & 6) == 6;
  const bool avx = (a.leaf1_ecx & (1u << 28)) != 0;
  if (os_saves_ymm && avx && (a.leaf7_ebx & (1u << 5))) features |= kCpuFeatureAvx2;
  return features;
}

uint32_t CpuFeatures() {
  static const uint32_t detected = DetectFeatures();
  return detected & g_feature_mask.load(std::memory_order_relaxed);
}

void SetCpuFeatureMask(uint32_t mask) { g_feature_mask.store(mask, std::memory_order_relaxed); }

}  // namespace platform
