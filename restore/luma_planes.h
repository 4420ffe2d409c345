// One frame's luma, the plane the restoring method decides on: L, the
// luma of every row, and A, the average of the rows above and below each
// row (so that a field sampled half a field row away is one read). Both
// carry margins on every side, filled by repeating the nearest row of the
// same field and the nearest column, so that the motion search and the
// measures may read up to kMarginX columns and kMarginY rows past the
// frame without a test.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/scratch_memory.h"
#include "restore/restore_kernels.h"

namespace restore {

class LumaPlanes {
 public:
  static constexpr int32_t kMarginX = 112;
  static constexpr int32_t kMarginY = 64;

  // Ready for W x H frames (W, H even). Throws std::bad_alloc.
  void Prepare(uint32_t width, uint32_t height);
  // Fills both planes from a BGRA frame whose row r lies at row0 + r x
  // stride.
  void Fill(const RestoreKernels& k, const uint8_t* row0, ptrdiff_t stride);

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  ptrdiff_t Stride() const { return stride_; }
  // Column 0 of row r, for r in [-kMarginY, height + kMarginY).
  const uint8_t* L(int32_t r) const { return origin_l_ + r * stride_; }
  const uint8_t* A(int32_t r) const { return origin_a_ + r * stride_; }
  // Row r of the field of parity `parity` sampled at frame row r: L where
  // r has that parity, else A.
  const uint8_t* Field(int32_t parity, int32_t r) const {
    return ((r ^ parity) & 1) == 0 ? L(r) : A(r);
  }

 private:
  uint32_t width_ = 0, height_ = 0;
  ptrdiff_t stride_ = 0;
  platform::ScratchArray<uint8_t> l_, a_;
  uint8_t* origin_l_ = nullptr;
  uint8_t* origin_a_ = nullptr;
};

}  // namespace restore
