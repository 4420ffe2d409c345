// The one chooser of the colour conversions.
#include "convert/convert.h"

#include "platform/cpu.h"

ConvertKernels MakeConvertKernels(uint32_t features) {
  ConvertKernels k = convert_detail::kReference;
#if defined(__i386__) || defined(__x86_64__)
  if (features & platform::kCpuFeatureMmx) convert_detail::InitMmx(k);
  if (features & platform::kCpuFeatureSse2) convert_detail::InitSse2(k);
  if (features & platform::kCpuFeatureAvx2) convert_detail::InitAvx2(k);
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

void ConvertFieldsToEngineYv12(const ConvertKernels& k, uint8_t* image, const uint8_t* host,
                               ptrdiff_t row_bytes, uint32_t w, uint32_t h) {
  const size_t n = size_t{w} * h, chroma_w = w / 2;
  uint8_t* v = image + n;
  uint8_t* u = image + n + n / 4;
  auto host_row = [&](uint32_t r) { return host + static_cast<ptrdiff_t>(h - 1 - r) * row_bytes; };
  for (uint32_t c = 0; c < h / 2; ++c) {
    const uint32_t first = c % 2 == 0 ? 2 * c : 2 * c - 1;  // engine rows first and first + 2
    k.bgra_rows_to_yv12(image + first * size_t{w}, image + (first + 2) * size_t{w},
                        u + c * chroma_w, v + c * chroma_w, host_row(first), host_row(first + 2),
                        w);
  }
}

void ConvertEngineYv12ToHost(const ConvertKernels& k, uint8_t* host, ptrdiff_t row_bytes,
                             const uint8_t* image, uint32_t w, uint32_t h) {
  const size_t n = size_t{w} * h, chroma_w = w / 2;
  const uint8_t* v = image + n;
  const uint8_t* u = image + n + n / 4;
  for (uint32_t m = 0; m < h; ++m) {
    const uint32_t s = h - 1 - m;
    k.yv12_row_to_bgra(host + static_cast<ptrdiff_t>(m) * row_bytes, image + s * size_t{w},
                       u + (s / 2) * chroma_w, v + (s / 2) * chroma_w, w, 255);
  }
}
