// Pictures to host frames and back: row order, the kept field and the
// extension to multiples of 16.
#include "host/picture_frames.h"

#include <algorithm>
#include <cstring>

uint32_t PaddedSize(uint32_t size) { return std::max<uint32_t>(16, (size + 15) / 16 * 16); }

uint32_t PictureRowOf(uint32_t row, uint32_t height, uint32_t frame_height, KeptField keep) {
  // Row r of the extended picture, counted from its top.
  uint32_t r = keep == KeptField::kBottom ? frame_height - 1 - row : row;
  if (r >= height) {
    // The last picture row of the same parity (the same field).
    const uint32_t back = r - height + 1;
    const uint32_t pairs = (back + 1) / 2;
    r = 2 * pairs <= r ? r - 2 * pairs : 0;
  }
  return r;
}

void UnpackPictureRows(const uint8_t* packed, uint32_t first, uint32_t count,
                       const PictureView& picture) {
  const size_t row_bytes = size_t{4} * picture.width;
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(picture.pixels + static_cast<ptrdiff_t>(first + i) * picture.stride,
                packed + i * row_bytes, row_bytes);
  }
}

PictureView PictureInHostFrame(const HostFrameView& frame, uint32_t width, uint32_t height,
                               KeptField keep) {
  if (keep == KeptField::kTop) return PictureView{frame.pixels, frame.row_bytes, width, height};
  return PictureView{frame.pixels + static_cast<ptrdiff_t>(frame.height - 1) * frame.row_bytes,
                     -frame.row_bytes, width, height};
}

void ExtendHostFrame(const HostFrameView& frame, uint32_t width, uint32_t height, KeptField keep) {
  const size_t row_bytes = size_t{4} * width;
  const auto row = [&](uint32_t m) {
    return frame.pixels + static_cast<ptrdiff_t>(m) * frame.row_bytes;
  };
  // The frame row that shows picture row r.
  const auto frame_row = [&](uint32_t r) {
    return keep == KeptField::kBottom ? frame.height - 1 - r : r;
  };
  for (uint32_t r = height; r < frame.height; ++r) {
    const uint32_t m = frame_row(r);
    std::memcpy(row(m), row(frame_row(PictureRowOf(m, height, frame.height, keep))), row_bytes);
  }
  if (width == frame.width) return;
  for (uint32_t m = 0; m < frame.height; ++m) {
    uint8_t* to = row(m);
    for (uint32_t x = width; x < frame.width; ++x) {
      std::memcpy(to + size_t{4} * x, to + row_bytes - 4, 4);
    }
  }
}

void PictureToHostFrame(const PictureView& picture, KeptField keep, const HostFrameView& frame) {
  const PictureView rows = PictureInHostFrame(frame, picture.width, picture.height, keep);
  const size_t row_bytes = size_t{4} * picture.width;
  for (uint32_t r = 0; r < picture.height; ++r) {
    std::memcpy(rows.pixels + static_cast<ptrdiff_t>(r) * rows.stride,
                picture.pixels + static_cast<ptrdiff_t>(r) * picture.stride, row_bytes);
  }
  ExtendHostFrame(frame, picture.width, picture.height, keep);
}

void HostFrameToPicture(const HostFrameView& frame, KeptField keep, const PictureView& picture) {
  const PictureView rows = PictureInHostFrame(frame, picture.width, picture.height, keep);
  const size_t row_bytes = size_t{4} * picture.width;
  for (uint32_t r = 0; r < picture.height; ++r) {
    std::memcpy(picture.pixels + static_cast<ptrdiff_t>(r) * picture.stride,
                rows.pixels + static_cast<ptrdiff_t>(r) * rows.stride, row_bytes);
  }
}
