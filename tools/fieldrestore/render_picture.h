// How `fieldrestore render` turns the pictures of its files (top row first,
// any size) into the frames it hands over, and back: bottom row first as a
// Windows host hands frames over, upside down to keep the top field
// (--keep top), and extended to multiples of 16 and cropped back when the
// frames are handed over with plain row bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/picture_frames.h"
#include "host/pipeline.h"
#include "platform/memory_block.h"

struct PictureOptions {
  KeptField keep = KeptField::kBottom;
  bool show_map = false;
};

// Takes the option at args[*i] (and its value) when it is one of these;
// false with `error` empty when it is not, false with `error` set when it
// is wrong.
bool ParsePictureOption(const std::vector<std::string>& args, size_t* i, PictureOptions* options,
                        std::string* error);

// The source and destination frames of one render, and where a picture's
// rows lie in them: pictures are read into the source frame and written
// from the destination frame.
class PictureFrames {
 public:
  // Row bytes of 4 x width (the defaults) let a frame be extended; other
  // row bytes hand it over as a host with that geometry would.
  PictureFrames(uint32_t width, uint32_t height, int64_t src_row_bytes, int64_t dst_row_bytes,
                KeptField keep);
  // The frames' geometry and pixels, for ExecuteFrames.
  void Describe(ExecuteFrames* frames);
  // The rows a picture is read into, straight into the source frame;
  // ExtendSource completes the frame around them once they are there.
  PictureView Source();
  void ExtendSource();
  // The rendered picture's rows in the destination frame.
  PictureView Result();

 private:
  HostFrameView SourceFrame();

  uint32_t width_, height_, frame_width_, frame_height_;
  int64_t src_row_bytes_, dst_row_bytes_;
  KeptField keep_;
  std::vector<uint8_t, platform::BlockAllocator<uint8_t>> src_, dst_;
};
