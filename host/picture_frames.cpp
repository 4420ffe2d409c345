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

PictureView PackedPicture(const uint8_t* pixels, uint32_t width, uint32_t height) {
  return PictureView{const_cast<uint8_t*>(pixels), static_cast<ptrdiff_t>(4 * width), width,
                     height};
}

void CopyPictureRows(const PictureView& from, const PictureView& to) {
  const size_t row_bytes = size_t{4} * from.width;
  for (uint32_t r = 0; r < from.height; ++r) {
    std::memcpy(to.pixels + static_cast<ptrdiff_t>(r) * to.stride,
                from.pixels + static_cast<ptrdiff_t>(r) * from.stride, row_bytes);
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
  CopyPictureRows(picture, PictureInHostFrame(frame, picture.width, picture.height, keep));
  ExtendHostFrame(frame, picture.width, picture.height, keep);
}

void HostFrameToPicture(const HostFrameView& frame, KeptField keep, const PictureView& picture) {
  CopyPictureRows(PictureInHostFrame(frame, picture.width, picture.height, keep), picture);
}
