// The one chooser of the colour conversions.
#include "convert/convert.h"

#include "platform/cpu.h"

ConvertKernels MakeConvertKernels(uint32_t features) {
  ConvertKernels k = convert_detail::kReference;
#if defined(__i386__) || defined(__x86_64__)
  if (features & platform::kCpuFeatureMmx) convert_detail::InitMmx(k);
  if (features & platform::kCpuFeatureSse2) convert_detail::InitSse2(k);
#else
  (void)features;
#endif
  return k;
}

std::span<const ConvertKernels> ConvertKernelVariants() {
  static const auto variants = platform::TablesPerLevel(&MakeConvertKernels);
  return variants;
}

const ConvertKernels& ActiveConvertKernels() {
  return platform::BestVariant(ConvertKernelVariants());
}

void ConvertBgraToYv12(uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, const uint8_t* input,
                       uint32_t width, uint32_t height, int32_t yPitch) {
  ActiveConvertKernels().bgra_to_yv12(yPlane, uPlane, vPlane, input, width, height, yPitch);
}

void ConvertYv12ToBgra(uint8_t* output, int32_t outPitch, const uint8_t* yPlane,
                       const uint8_t* uPlane, const uint8_t* vPlane, int32_t yPitch,
                       int32_t chromaPitch, uint32_t width, int32_t height) {
  ActiveConvertKernels().yv12_to_bgra(output, outPitch, yPlane, uPlane, vPlane, yPitch, chromaPitch,
                                      width, height);
}
