// Colour conversions between the host's 32-bit BGRA frames and planar YV12,
// fixed-point BT.601 studio range. A portable reference and, on x86, an MMX
// form of each; the public names call the best form available.
#pragma once

#include <cstdint>
#include <span>

// BGRA (rows exactly 4 W bytes apart, read bottom-up: output row j comes from
// input row H - 1 - j) to Y (pitch yPitch) and U, V (pitch
// (yPitch - W) / 2 + W / 2), each chroma sample from one 2x2 block.
void ConvertBgraToYv12(uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, const uint8_t* input,
                       uint32_t width, uint32_t height, int32_t yPitch);

// YV12 to BGRA with alpha 0, `outPitch` pixels between output rows; a
// negative height flips the image vertically. Only W pixels a row are written.
void ConvertYv12ToBgra(uint8_t* output, int32_t outPitch, const uint8_t* yPlane,
                       const uint8_t* uPlane, const uint8_t* vPlane, int32_t yPitch,
                       int32_t chromaPitch, uint32_t width, int32_t height);

struct ConvertKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  void (*bgra_to_yv12)(uint8_t*, uint8_t*, uint8_t*, const uint8_t*, uint32_t, uint32_t, int32_t);
  void (*yv12_to_bgra)(uint8_t*, int32_t, const uint8_t*, const uint8_t*, const uint8_t*, int32_t,
                       int32_t, uint32_t, int32_t);
};

std::span<const ConvertKernels> ConvertKernelVariants();
const ConvertKernels& ActiveConvertKernels();

namespace convert_detail {
extern const ConvertKernels kReference;
#if defined(__i386__) || defined(__x86_64__)
extern const ConvertKernels kMmx;
#endif
}  // namespace convert_detail
