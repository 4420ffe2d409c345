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

void PictureToHostFrame(const PictureView& picture, KeptField keep, const HostFrameView& frame) {
  const size_t row_bytes = size_t{4} * picture.width;
  for (uint32_t m = 0; m < frame.height; ++m) {
    const uint8_t* from =
        picture.pixels + PictureRowOf(m, picture.height, frame.height, keep) * picture.stride;
    uint8_t* to = frame.pixels + static_cast<ptrdiff_t>(m) * frame.row_bytes;
    std::memcpy(to, from, row_bytes);
    for (uint32_t x = picture.width; x < frame.width; ++x)
      std::memcpy(to + size_t{4} * x, from + row_bytes - 4, 4);
  }
}

void HostFrameToPicture(const HostFrameView& frame, KeptField keep, const PictureView& picture) {
  const size_t row_bytes = size_t{4} * picture.width;
  for (uint32_t m = 0; m < frame.height; ++m) {
    const uint32_t r = keep == KeptField::kBottom ? frame.height - 1 - m : m;
    if (r >= picture.height) continue;
    std::memcpy(picture.pixels + static_cast<ptrdiff_t>(r) * picture.stride,
                frame.pixels + static_cast<ptrdiff_t>(m) * frame.row_bytes, row_bytes);
  }
}
