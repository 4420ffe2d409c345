// Luma planes with their margins.
#include "restore/luma_planes.h"

#include <cstring>

namespace restore {

void LumaPlanes::Prepare(uint32_t width, uint32_t height) {
  if (width == width_ && height == height_ && l_) return;
  stride_ = static_cast<ptrdiff_t>(width) + 2 * kMarginX;
  // L has one row more on each side than A, which averages its neighbours.
  const size_t l_rows = height + 2 * (kMarginY + 1), a_rows = height + 2 * kMarginY;
  l_ = platform::MakeScratchArray<uint8_t>(l_rows * static_cast<size_t>(stride_));
  a_ = platform::MakeScratchArray<uint8_t>(a_rows * static_cast<size_t>(stride_));
  origin_l_ = l_.get() + (kMarginY + 1) * stride_ + kMarginX;
  origin_a_ = a_.get() + kMarginY * stride_ + kMarginX;
  width_ = width;
  height_ = height;
}

void LumaPlanes::Fill(const RestoreKernels& k, const uint8_t* row0, ptrdiff_t stride) {
  const int32_t w = static_cast<int32_t>(width_), h = static_cast<int32_t>(height_);
  for (int32_t r = 0; r < h; ++r) {
    uint8_t* row = origin_l_ + r * stride_;
    k.luma_row(row, row0 + r * stride, width_);
    std::memset(row - kMarginX, row[0], kMarginX);
    std::memset(row + w, row[w - 1], kMarginX);
  }
  // Rows past the frame repeat the nearest row of their own field.
  const auto whole = [&](int32_t r) { return origin_l_ + r * stride_ - kMarginX; };
  for (int32_t r = -kMarginY - 1; r < 0; ++r) std::memcpy(whole(r), whole(r & 1), stride_);
  for (int32_t r = h; r < h + kMarginY + 1; ++r) {
    std::memcpy(whole(r), whole(h - 2 + (r & 1)), stride_);
  }
  for (int32_t r = -kMarginY; r < h + kMarginY; ++r) {
    k.average_row(origin_a_ + r * stride_ - kMarginX, whole(r - 1), whole(r + 1),
                  static_cast<uint32_t>(stride_));
  }
}

}  // namespace restore
