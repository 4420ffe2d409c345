// The one chooser of the restoring method's kernels.
#include "restore/restore_kernels.h"

#include "platform/cpu.h"

namespace restore {

RestoreKernels MakeRestoreKernels(uint32_t features) {
  RestoreKernels k = detail::kReference;
#if defined(__i386__) || defined(__x86_64__)
  if (features & platform::kCpuFeatureSse2) detail::InitSse2(k);
  if (features & platform::kCpuFeatureAvx2) detail::InitAvx2(k);
#else
  (void)features;
#endif
  return k;
}

std::span<const RestoreKernels> RestoreKernelVariants() {
  static const auto variants = platform::TablesPerLevel(&MakeRestoreKernels);
  return variants;
}

const RestoreKernels& ActiveRestoreKernels() {
  return platform::BestVariant(RestoreKernelVariants());
}

}  // namespace restore
