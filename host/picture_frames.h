// Pictures as Linux hosts and files hold them (top row first, any size)
// and the host frames of the frame path (bottom row first in memory,
// width and height multiples of 16).
//
// The frame path keeps the odd rows of its image, which is the picture
// itself: picture rows 1, 3, 5, ..., the bottom field. To keep the top
// field the picture goes through upside down and comes back the right way
// up. A picture whose size is not a multiple of 16 is extended to the next
// one by repeating its last rows (in pairs, so that each added row belongs
// to the same field as the row it repeats) and its last column, and the
// result is cropped back.
#pragma once

#include <cstddef>
#include <cstdint>

enum class KeptField : uint8_t { kBottom, kTop };

// The next multiple of 16 (at least 16).
uint32_t PaddedSize(uint32_t size);

// A 4-byte-a-pixel picture, row r at pixels + r x stride.
struct PictureView {
  uint8_t* pixels;
  ptrdiff_t stride;
  uint32_t width;
  uint32_t height;
};

// A host frame of the frame path, row r at pixels + r x row_bytes; at
// least as large as the pictures it exchanges with.
struct HostFrameView {
  uint8_t* pixels;
  ptrdiff_t row_bytes;
  uint32_t width;
  uint32_t height;
};

// A picture whose rows lie one after another (4 x width bytes each); only
// read from when its pixels are const.
PictureView PackedPicture(const uint8_t* pixels, uint32_t width, uint32_t height);
// Copies the rows of a picture into another of the same size.
void CopyPictureRows(const PictureView& from, const PictureView& to);

// The picture row that host frame row `row` shows, for a picture of
// `height` rows extended to `frame_height`.
uint32_t PictureRowOf(uint32_t row, uint32_t height, uint32_t frame_height, KeptField keep);

// Where the picture's rows lie in the host frame: a view of them top row
// first (its stride is negative when the bottom field is kept, as the
// frame then holds them bottom row first).
PictureView PictureInHostFrame(const HostFrameView& frame, uint32_t width, uint32_t height,
                               KeptField keep);
// Extends a host frame whose picture rows are in place: the rows past the
// picture's and the columns past its width, as described above.
void ExtendHostFrame(const HostFrameView& frame, uint32_t width, uint32_t height, KeptField keep);
// Fills the whole host frame from the picture, extending it as above.
void PictureToHostFrame(const PictureView& picture, KeptField keep, const HostFrameView& frame);
// The picture's part of the host frame back into the picture.
void HostFrameToPicture(const HostFrameView& frame, KeptField keep, const PictureView& picture);
