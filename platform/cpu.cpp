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
  const uint32_t edx = probe.cpuid1_edx();
  uint32_t features = 0;
  if (edx & (1u << 23)) features |= kCpuFeatureMmx;
  if (edx & (1u << 26)) features |= kCpuFeatureSse2;
  return features;
}

}  // namespace

CpuProbe HardwareCpuProbe() { return CpuProbe{&HardwareIdFlagSticks, &HardwareCpuid1Edx}; }

bool HasMmx(const CpuProbe& probe) {
  if (!probe.id_flag_sticks()) return false;
  return (probe.cpuid1_edx() & 0x800000u) != 0;
}

uint32_t CpuFeatures() {
  static const uint32_t detected = DetectFeatures();
  return detected & g_feature_mask.load(std::memory_order_relaxed);
}

void SetCpuFeatureMask(uint32_t mask) { g_feature_mask.store(mask, std::memory_order_relaxed); }

}  // namespace platform
