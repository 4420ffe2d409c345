// Portable reference of the field kernels. The arithmetic is stated with
// the integer widths that decide the results: the chroma comb test works in
// signed 16-bit lanes with wrapping products and a saturating subtraction.
#include <cstring>

#include "engine/detection_setup.h"
#include "engine/field_kernels.h"
#include "engine/field_rows.h"

namespace {

int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

// The low 16 bits of a value, read as signed.
int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

uint32_t DetectInterlaceRef(uint8_t* map, uint8_t* block_hits, const uint8_t* src, uint32_t w,
                            uint32_t h, uint32_t interlace_threshold) {
  const auto [blocks_x, scale, thr] = detection::Begin(map, block_hits, w, h, interlace_threshold);
  uint64_t count = 0;
  auto filtered = [&](uint32_t row, uint32_t x) -> int32_t {
    const uint8_t* p = src + static_cast<size_t>(row) * w + x;
    return (p[0] + p[2]) >> 2;
  };

  const uint32_t groups = (w - 2) / 4;
  for (uint32_t g = 0; g < groups; ++g) {
    uint32_t history[4] = {1, 1, 1, 1};
    int16_t m_prev[4] = {}, m_prev2[4] = {};
    uint32_t bit[4] = {};
    for (uint32_t j = 6; j <= h; ++j) {
      for (uint32_t c = 0; c < 4; ++c) {
        const uint32_t x = 4 * g + c;
        const int32_t f0 = filtered(j - 2, x), f1 = filtered(j - 1, x), f2 = filtered(j, x);
        const int16_t m =
            static_cast<int16_t>((f0 - f1) * (f2 - f1) - ((f2 - f0) * (f2 - f0)) / 16);
        int16_t s = Saturate16(m_prev[c] + m_prev[c]);
        s = Saturate16(s + m_prev2[c]);
        s = Saturate16(s + m);
        bit[c] = s > thr ? 1 : 0;
        history[c] = ((history[c] << 1) & 31) | bit[c];
        m_prev2[c] = m_prev[c];
        m_prev[c] = m;
      }
      if (j % 2 != 0) continue;
      if ((history[0] | history[1] | history[2] | history[3]) == 0) continue;
      uint8_t t[4];
      for (uint32_t c = 0; c < 4; ++c) t[c] = detection::kMarkingHistory[history[c]];
      if ((t[0] | t[1] | t[2] | t[3]) == 0) continue;
      const uint32_t hits = bit[0] + bit[1] + bit[2] + bit[3];
      count += hits;
      if (count * scale > detection::kFrameLimit) return 1;
      // A marking column also marks the two to its right, which its
      // filtered value covers.
      uint8_t* row = map + static_cast<size_t>(j - 4) * w + 4 * g;
      for (uint32_t i = 0; i < 6; ++i) {
        for (uint32_t c = 0; c < 4; ++c) {
          if (t[c] && c <= i && i <= c + 2) row[i] = 0xFF;
        }
      }
      block_hits[((j - 1) / 16) * blocks_x + (g + 1) / 4] += static_cast<uint8_t>(hits);
    }
  }
  return 0;
}

void CopyRow(uint8_t* dst, const uint8_t* src, uint32_t w) { std::memcpy(dst, src, w); }

void InterpolateLumaRef(uint8_t* dst, const uint8_t* src, const uint8_t* map, uint32_t w,
                        uint32_t h, bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  for (uint32_t x = 0; x < w; ++x) {
    D(2)[x] = static_cast<uint8_t>((S(1)[x] + S(3)[x]) >> 1);
    D(h - 2)[x] = static_cast<uint8_t>((S(h - 3)[x] + S(h - 1)[x]) >> 1);
  }
  for (uint32_t r = 4; r + 4 <= h; r += 2) {
    const uint8_t* m = map + static_cast<size_t>(r) * w;
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t v = 5 * (S(r - 1)[x] + S(r + 1)[x]) - S(r - 3)[x] - S(r + 3)[x];
      const int32_t q = (v < 0 ? 0 : v) / 8;
      const uint8_t rebuilt = static_cast<uint8_t>(q > 255 ? 255 : q);
      D(r)[x] = all ? rebuilt : static_cast<uint8_t>((rebuilt & m[x]) | (S(r)[x] & ~m[x]));
    }
  }
}

void InterpolateChromaPlaneRef(uint8_t* dst, const uint8_t* src, uint32_t w, uint32_t h, bool all) {
  auto S = [&](uint32_t r) { return src + static_cast<size_t>(r) * w; };
  auto D = [&](uint32_t r) { return dst + static_cast<size_t>(r) * w; };
  field_rows::CopyKeptRows<&CopyRow>(dst, src, w, h);
  for (uint32_t r = 2; r + 2 <= h; r += 2) {
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t a = S(r - 1)[x], b = S(r)[x], c = S(r + 1)[x];
      const uint8_t rebuilt = static_cast<uint8_t>((a + 3 * c) >> 2);
      if (all) {
        D(r)[x] = rebuilt;
        continue;
      }
      const int16_t p = Wrap16((a - b) * (c - b));
      const int16_t q = static_cast<int16_t>(Wrap16((c - a) * (c - a)) >> 3);
      const int16_t t = static_cast<int16_t>(Saturate16(p - q) >> 1);
      D(r)[x] = t > 8 ? rebuilt : static_cast<uint8_t>(b);
    }
  }
}

void InterpolateChromaRef(uint8_t* dst_a, uint8_t* dst_b, const uint8_t* src_a,
                          const uint8_t* src_b, uint32_t w, uint32_t h, bool all) {
  InterpolateChromaPlaneRef(dst_a, src_a, w, h, all);
  InterpolateChromaPlaneRef(dst_b, src_b, w, h, all);
}

void DoubleFieldRef(uint8_t* plane, uint32_t w, uint32_t h) {
  for (uint32_t r = 0; r + 1 < h; r += 2) {
    CopyRow(plane + static_cast<size_t>(r) * w, plane + static_cast<size_t>(r + 1) * w, w);
  }
}

}  // namespace

namespace field_kernels_detail {
const FieldKernels kReference = {
    "c", 0, &DetectInterlaceRef, &InterpolateLumaRef, &InterpolateChromaRef, &DoubleFieldRef};
}
