// The frame-processor interface: a parameter record and the life cycle
// Init -> Process (any number of times) -> Release / destruction.
#pragma once

#include <cstdint>

template <class Parameters>
class VideoProcessing {
 public:
  VideoProcessing() = default;
  VideoProcessing(const VideoProcessing&) = delete;
  VideoProcessing& operator=(const VideoProcessing&) = delete;

  // Sets up geometry and buffers for one frame size.
  virtual void Init(uint32_t width, uint32_t height) = 0;
  // Frees every buffer; a second call does nothing.
  virtual void Release() = 0;
  // Takes over *params when given, then processes src into dst.
  virtual void Process(const uint8_t* src, uint8_t* dst, const Parameters* params) = 0;
  virtual ~VideoProcessing() = default;

  Parameters params;
};
