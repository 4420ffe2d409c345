// BGRA test pictures for the frame path and the host forms built on it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/pipeline.h"
#include "tests/engine/frames.h"

namespace test {

// A w x h BGRA picture of a textured object on a smooth background; the
// object's odd rows show it `t + 3` pixels further on than its even rows,
// so it combs where it moves. Alpha varies so that opacity shows.
inline std::vector<uint8_t> CombedBgra(uint32_t w, uint32_t h, int32_t t) {
  std::vector<uint8_t> frame(size_t{4} * w * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t moved = static_cast<int32_t>(x) + t + (y % 2 ? 3 : 0);
      uint8_t* p = &frame[(size_t{y} * w + x) * 4];
      const bool object = x > w / 4 && x < w / 2;
      for (int32_t c = 0; c < 3; ++c)
        p[c] = object ? Texture(moved + 11 * c, static_cast<int32_t>(y))
                      : static_cast<uint8_t>(60 + 40 * c + (x + y) / 8);
      p[3] = static_cast<uint8_t>(x ^ y);
    }
  }
  return frame;
}

// One call's host frames of w x h pixels, rows of 4 w bytes.
inline ExecuteFrames PackedFrames(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h) {
  ExecuteFrames f;
  f.src_width = f.dst_width = w;
  f.src_height = f.dst_height = h;
  f.src_row_bytes = f.dst_row_bytes = 4 * w;
  f.src_pixels = src;
  f.dst_pixels = dst;
  return f;
}

// The picture upside down (rows of 4 w bytes).
inline std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& picture, uint32_t w) {
  const size_t row = size_t{4} * w, rows = picture.size() / row;
  std::vector<uint8_t> flipped(picture.size());
  for (size_t r = 0; r < rows; ++r)
    std::copy_n(picture.data() + r * row, row, flipped.data() + (rows - 1 - r) * row);
  return flipped;
}

// The picture extended to fw x fh as the frame path's hosts extend it: the
// last column repeated, the last two rows repeated in turn (one per field).
inline std::vector<uint8_t> ExtendPicture(const std::vector<uint8_t>& in, uint32_t w, uint32_t h,
                                          uint32_t fw, uint32_t fh) {
  std::vector<uint8_t> out(size_t{4} * fw * fh);
  for (uint32_t y = 0; y < fh; ++y) {
    const uint32_t from_y = y < h ? y : h - 2 + (y - h) % 2;
    for (uint32_t x = 0; x < fw; ++x)
      std::copy_n(&in[(size_t{from_y} * w + std::min(x, w - 1)) * 4], 4,
                  &out[(size_t{y} * fw + x) * 4]);
  }
  return out;
}

// The top-left w x h of a picture fw pixels wide.
inline std::vector<uint8_t> CropPicture(const std::vector<uint8_t>& in, uint32_t fw, uint32_t w,
                                        uint32_t h) {
  std::vector<uint8_t> out(size_t{4} * w * h);
  for (uint32_t y = 0; y < h; ++y)
    std::copy_n(&in[size_t{4} * y * fw], size_t{4} * w, &out[size_t{4} * y * w]);
  return out;
}

}  // namespace test
