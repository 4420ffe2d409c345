// Colour conversions between the host's 32-bit BGRA frames and planar YV12,
// fixed-point BT.601 studio range. A portable reference of each; x86 forms
// live in convert/x86/, one file per ISA. Whoever converts many frames fills
// a table once (MakeConvertKernels); the public names are thin callers of
// the table for the processor's features now.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// BGRA (rows exactly 4 W bytes apart, read bottom-up: output row j comes from
// input row H - 1 - j) to Y (pitch yPitch) and U, V (pitch
// (yPitch - W) / 2 + W / 2), each chroma sample from one 2x2 block.
// Width contract: W and H even, any alignment; writes W bytes of each Y
// row and W / 2 of each chroma row, nothing else.
void ConvertBgraToYv12(uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, const uint8_t* input,
                       uint32_t width, uint32_t height, int32_t yPitch);

// YV12 to BGRA with alpha 0, `outPitch` pixels between output rows; a
// negative height flips the image vertically. Width contract: any W; W
// pixels of each row are written and no byte past them, whatever W is.
void ConvertYv12ToBgra(uint8_t* output, int32_t outPitch, const uint8_t* yPlane,
                       const uint8_t* uPlane, const uint8_t* vPlane, int32_t yPitch,
                       int32_t chromaPitch, uint32_t width, int32_t height);

// The host's BGRA frame (row r at host + r x rowBytes, top row first)
// straight into the engine's frame-order YV12 image (Y, then V, then U):
// engine row r holds host row H - 1 - r, and engine chroma row c comes from
// engine rows 2c and 2c + 2 (c even) or 2c - 1 and 2c + 1 (c odd), so each
// 2x2 block lies within one field. The same bytes as staging the rows field
// by field, ConvertBgraToYv12 and re-interleaving, in one pass. Width
// contract: W even, H a multiple of 4; writes exactly 3 W H / 2 bytes.
struct ConvertKernels;
void ConvertFieldsToEngineYv12(const ConvertKernels& kernels, uint8_t* image, const uint8_t* host,
                               ptrdiff_t rowBytes, uint32_t width, uint32_t height);

// The engine's frame-order YV12 image back into a host frame (row m at
// host + m x rowBytes) with alpha 255: host row m from engine row H - 1 - m,
// as ConvertYv12ToBgra with a negative height and the alpha pass after it
// would leave the W pixels of each row. Writes nothing past W pixels a row.
void ConvertEngineYv12ToHost(const ConvertKernels& kernels, uint8_t* host, ptrdiff_t rowBytes,
                             const uint8_t* image, uint32_t width, uint32_t height);

struct ConvertKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  void (*bgra_to_yv12)(uint8_t*, uint8_t*, uint8_t*, const uint8_t*, uint32_t, uint32_t, int32_t);
  void (*yv12_to_bgra)(uint8_t*, int32_t, const uint8_t*, const uint8_t*, const uint8_t*, int32_t,
                       int32_t, uint32_t, int32_t);
  // One row pair: Y row y0 from BGRA row bgra0, y1 from bgra1, and one U
  // and one V row from the 2x2 blocks of both (W even, W / 2 samples).
  void (*bgra_rows_to_yv12)(uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v, const uint8_t* bgra0,
                            const uint8_t* bgra1, uint32_t width);
  // One BGRA row of W pixels (any W) from one Y row and the U and V rows
  // of its chroma, with the given alpha byte.
  void (*yv12_row_to_bgra)(uint8_t* out, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                           uint32_t width, uint8_t alpha);
};

// The table for `features`: the reference first, then each ISA the features
// include replaces the functions it implements.
ConvertKernels MakeConvertKernels(uint32_t features);
// One table per instruction-set level, the reference first.
std::span<const ConvertKernels> ConvertKernelVariants();
// The table for the processor's features now: what the public names use.
const ConvertKernels& ActiveConvertKernels();

namespace convert_detail {
extern const ConvertKernels kReference;
void InitMmx(ConvertKernels& k);
void InitSse2(ConvertKernels& k);
void InitAvx2(ConvertKernels& k);
}  // namespace convert_detail
