// Portable reference of the restoring method's kernels: the arithmetic as
// restore_kernels.h states it, one sample at a time.
#include <algorithm>
#include <cstdlib>

#include "convert/pixel_formulas.h"
#include "restore/restore_kernels.h"

namespace restore {
namespace {

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Six-tap filter of `phase` around p[0], taps `step` bytes apart.
inline int32_t Filter6(const uint8_t* p, int32_t phase, ptrdiff_t step) {
  const int16_t* t = kPhaseTaps[phase];
  int32_t sum = 0;
  for (int k = 0; k < 6; ++k) sum += t[k] * p[(k - 2) * step];
  return Clamp255((sum + 32) >> 6);
}

inline int32_t Avg(int32_t a, int32_t b) { return (a + b + 1) >> 1; }

inline int32_t KeptSample(const KeptSampleRow& s, uint32_t i) {
  const int32_t top = Avg(s.top[i], s.top[i + s.right]);
  const int32_t bottom = Avg(s.bottom[i], s.bottom[i + s.right]);
  return Avg(top, bottom);
}

void LumaRowRef(uint8_t* y, const uint8_t* bgra, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) y[i] = convert_pixel::Luma(bgra + 4 * i);
}

void AverageRowRef(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(Avg(a[i], b[i]));
}

uint32_t Sad16Ref(const uint8_t* a, ptrdiff_t a_stride, const uint8_t* b, ptrdiff_t b_stride,
                  uint32_t rows) {
  uint32_t sum = 0;
  for (uint32_t r = 0; r < rows; ++r, a += a_stride, b += b_stride) {
    for (int i = 0; i < 16; ++i) sum += static_cast<uint32_t>(std::abs(a[i] - b[i]));
  }
  return sum;
}

void MeasureRowRef(const MeasureRow& m, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t ku = m.ku[i], kd = m.kd[i];
    int32_t e = 0;
    if (m.mode == TimeSamples::kBoth) {
      const int32_t a = Filter6(m.oa + i, m.pa, 1), b = Filter6(m.ob + i, m.pb, 1);
      e = std::abs(4 * (a - b) - m.d4 * (kd - ku)) >> 3;
    } else if (m.mode == TimeSamples::kSameFrame) {
      const int32_t a = m.oa[i];
      e = std::max({0, a - std::max(ku, kd), std::min(ku, kd) - a});
    }
    for (int32_t j = 0; j < m.kept_count; ++j) {
      const int32_t above = KeptSample(m.kept[2 * j], i), below = KeptSample(m.kept[2 * j + 1], i);
      e = std::max(e, ((std::abs(above - ku) + std::abs(below - kd) + 1) >> 1) >> 1);
    }
    const int32_t act =
        std::abs(ku - kd) + std::abs(m.ku[i + 1] - m.ku[static_cast<ptrdiff_t>(i) - 1]);
    m.out_e[i] = static_cast<uint8_t>(std::min(e, 255));
    m.out_act[i] = static_cast<uint8_t>(std::min(act, 255));
  }
}

void WeightRowRef(uint8_t* weight, const uint8_t* const e[3], const uint8_t* const act[3],
                  uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    int32_t se = 0, sa = 0;
    for (int k = 0; k < 3; ++k) {
      for (int dx = -2; dx <= 2; ++dx) {
        se += e[k][static_cast<ptrdiff_t>(i) + dx];
        sa += act[k][static_cast<ptrdiff_t>(i) + dx];
      }
    }
    const int32_t v = 4 * se - sa - 120;
    weight[i] = static_cast<uint8_t>(v <= 0 ? 0 : std::min(16, (v * 2185) >> 16));
  }
}

void RebuildRowRef(const RebuildRow& r, uint32_t n) {
  for (uint32_t j = 0; j < 4 * n; ++j) {
    const int32_t ku = r.ku[j], kd = r.kd[j];
    const int32_t s = Clamp255((9 * (ku + kd) - r.ku3[j] - r.kd3[j] + 8) >> 4);
    int32_t out = s;
    if (r.mode != TimeSamples::kNone) {
      int32_t a, b;
      if (r.mode == TimeSamples::kSameFrame) {
        a = b = r.oa[j];
      } else {
        a = Filter6(r.oa + j, r.pa, 4);
        b = Filter6(r.ob + j, r.pb, 4);
      }
      const int32_t m = Clamp255((16 * (a + b) + r.c16 * ((a + b) - (ku + kd)) + 16) >> 5);
      out = m + ((r.weight[j / 4] * (s - m) + 8) >> 4);
    }
    r.out[j] = static_cast<uint8_t>(out);
  }
}

}  // namespace

namespace detail {
const RestoreKernels kReference = {
    "c", 0, LumaRowRef, AverageRowRef, Sad16Ref, MeasureRowRef, WeightRowRef, RebuildRowRef,
};
}  // namespace detail

}  // namespace restore
