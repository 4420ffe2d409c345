// Kernels of the restoring method: luma planes, block costs of the motion
// search, the per-pixel measures that decide between time and space, and
// the rebuilt rows themselves. A portable reference of each states the
// arithmetic; x86 forms live in restore/x86/, one file per ISA. Whoever
// runs the kernels fills a table once (MakeRestoreKernels) and calls
// through it.
//
// Width contract: every row kernel takes any count n >= 1 and reads only
// the bytes its description names; the caller hands in rows whose every
// read lies inside memory it owns (the restorer's luma planes carry
// margins, and BGRA rows that would reach past a frame's edge are first
// copied into an edge-extended scratch row). No kernel clamps coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace restore {

// The six-tap interpolation filters at quarter-pixel phases 0 to 3, taps
// for pixels x - 2 ... x + 3 of the phase's integer position x; each sums
// to 64. Windowed-sinc (Lanczos, three lobes) weights rounded to 1/64.
inline constexpr int16_t kPhaseTaps[4][6] = {
    {0, 0, 64, 0, 0, 0},
    {2, -8, 57, 17, -4, 0},
    {2, -9, 39, 39, -9, 2},
    {0, -4, 17, 57, -8, 2},
};

// The curvature correction c16(|d4|) of a motion-compensated sample taken
// |d4| quarter lines above or below the rebuilt row: 16 d^2 / (1 - d^2)
// rounded, for d = d4 / 4.
inline constexpr int16_t kCurvature16[4] = {0, 1, 5, 21};

// How a rebuilt row takes its temporal samples.
enum class TimeSamples : uint8_t {
  kNone,       // none: the spatial estimate alone
  kBoth,       // the other fields before (a) and after (b) the kept field
  kOne,        // one of them (a, with b pointing at the same row)
  kSameFrame,  // the current frame's other field, unmoved (a = b); the
               // measure is how far it combs against the kept rows
};

// One sample row of a kept field along the motion for the measures: the
// average of `top` and `bottom` rows (the same row when the sample lies on
// one), each the average of the pixel and the one `right` (0 or 1) to its
// right: ((t + t' + 1) / 2 + (b + b' + 1) / 2 + 1) / 2, all halves rounded
// up.
struct KeptSampleRow {
  const uint8_t* top;
  const uint8_t* bottom;
  int32_t right;
};

// The measures of one span of a rebuilt row, on luma planes. For pixel i:
//   a, b   = the other fields' samples: six-tap filter of phase pa (pb)
//            over oa[i - 2 .. i + 3] (ob[...]), (sum + 32) >> 6, clamped to
//            0 ... 255 (for kSameFrame: oa[i] unfiltered);
//   ku, kd = the kept rows above and below, at i;
//   e      = kBoth:      |4 (a - b) - d4 (kd - ku)| >> 3
//            kOne:       0
//            kSameFrame: how far a lies outside [min(ku, kd), max(ku, kd)]
//            kNone:      0
//            then, for each of the `kept_count` kept fields along the
//            motion (rows kept[2j] above and kept[2j + 1] below):
//            e = max(e, ((|s_above - ku| + |s_below - kd| + 1) >> 1) >> 1);
//   act    = |ku - kd| + |ku[i + 1] - ku[i - 1]|;
// and out_e[i] = min(e, 255), out_act[i] = min(act, 255).
struct MeasureRow {
  TimeSamples mode;
  const uint8_t* oa;
  const uint8_t* ob;
  int32_t pa, pb;
  int32_t d4;
  const uint8_t* ku;  // reads ku[-1 .. n]
  const uint8_t* kd;
  int32_t kept_count;  // 0, 1 or 2 kept fields along the motion
  KeptSampleRow kept[4];
  uint8_t* out_e;
  uint8_t* out_act;
};

// The rebuilt pixels of one span, on BGRA rows (4 bytes a pixel, every byte
// alike). For byte j:
//   S = clamp((9 (ku + kd) - ku3 - kd3 + 8) >> 4): the four-tap vertical
//       interpolation of the kept field;
//   a, b as in MeasureRow, with taps 4 bytes apart;
//   M = clamp((16 (a + b) + c16 ((a + b) - (ku + kd)) + 16) >> 5), with
//       c16 = kCurvature16[|d4|];
//   out = M + ((w (S - M) + 8) >> 4), w = weight[j / 4] (0 ... 16);
// kNone gives out = S.
struct RebuildRow {
  TimeSamples mode;
  const uint8_t* oa;
  const uint8_t* ob;
  int32_t pa, pb;
  int32_t c16;
  const uint8_t* ku;
  const uint8_t* kd;
  const uint8_t* ku3;
  const uint8_t* kd3;
  const uint8_t* weight;
  uint8_t* out;
};

struct RestoreKernels {
  const char* name;
  uint32_t required_features;  // platform::CpuFeature bits
  // y[i] = ((66 R + 129 G + 25 B) >> 8) + 16 of BGRA pixel i.
  void (*luma_row)(uint8_t* y, const uint8_t* bgra, uint32_t n);
  // out[i] = (a[i] + b[i] + 1) >> 1.
  void (*average_row)(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n);
  // Sum of |a - b| over `rows` rows of 16 bytes, rows a_stride (b_stride)
  // apart.
  uint32_t (*sad16)(const uint8_t* a, ptrdiff_t a_stride, const uint8_t* b, ptrdiff_t b_stride,
                    uint32_t rows);
  void (*measure_row)(const MeasureRow& m, uint32_t n);
  // weight[i] from the measures of three rebuilt rows (e[k], act[k], each
  // read at -2 ... n + 1): with E and A the sums over the 5 x 3 window
  // around i, v = 4 E - A - 120; weight = 0 when v <= 0, else
  // min(16, (v * 2185) >> 16).
  void (*weight_row)(uint8_t* weight, const uint8_t* const e[3], const uint8_t* const act[3],
                     uint32_t n);
  void (*rebuild_row)(const RebuildRow& r, uint32_t n);
};

// The table for `features`: the reference first, then each ISA the
// features include replaces the functions it implements.
RestoreKernels MakeRestoreKernels(uint32_t features);
// One table per instruction-set level, the reference first.
std::span<const RestoreKernels> RestoreKernelVariants();
// The table for the processor's features now.
const RestoreKernels& ActiveRestoreKernels();

namespace detail {
extern const RestoreKernels kReference;
void InitSse2(RestoreKernels& k);
void InitAvx2(RestoreKernels& k);
}  // namespace detail

}  // namespace restore
