// The frame path: one BGRA frame, whose width and height are multiples of
// 16, through field staging, conversion to YV12 and field interleaving
// (one pass), deinterlacing, restoring the excluded blocks, and conversion
// back with opacity (one pass). Everything it uses comes from its caller (frames, settings,
// region, where diagnostic lines go, working buffers and engine), so
// several instances may render on several threads at once, each with its
// own FrameWorkspace.
#pragma once

#include <cstdint>
#include <memory>

#include "convert/convert.h"
#include "engine/deinterlace_parameters.h"
#include "engine/me_deinterlacer.h"
#include "platform/cpu.h"
#include "platform/scratch_memory.h"

class CRectList;

// Where the frame path's diagnostic lines go; a null sink drops them.
class LogSink {
 public:
  virtual void Write(const char* line) = 0;

 protected:
  ~LogSink() = default;
};

// Copies `bytes` bytes (the frame and row copies of the frame path).
void CopyBlock(uint8_t* destination, const uint8_t* source, uint32_t bytes);

// printf-style line into a sink (nothing when it is null).
void LogLine(LogSink* log, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A host's source and destination frames of one size: row r at pixels + r
// x row bytes (row bytes may be negative), 4 bytes a pixel, row 0 the
// bottom row of the picture as Windows hosts hand frames over. Row bytes
// hold at least 4 x width bytes.
struct HostFrames {
  const uint8_t* src = nullptr;
  int32_t src_row_bytes = 0;
  uint8_t* dst = nullptr;
  int32_t dst_row_bytes = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// The processing region: a rectangle list asked block by block, or a ready
// region mask (RegionMaskEntries(W, H) entries), which wins when both are
// given. Neither: every block is processed.
struct FrameRegion {
  const CRectList* list = nullptr;
  const int32_t* mask = nullptr;
};

// The working buffers and the engine of one instance, kept between frames
// of the same size and made anew when the size changes.
class FrameWorkspace {
 public:
  // Ready for W x H frames (multiples of 16). Throws std::bad_alloc, and
  // then holds nothing.
  void Prepare(uint32_t width, uint32_t height);
  // Hands every buffer back.
  void Release();

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  MEDeinterlacer& Engine() { return *engine_; }
  uint8_t* SrcImage() { return src_image_.get(); }
  uint8_t* DstImage() { return dst_image_.get(); }
  // The conversion kernels for this processor, chosen once.
  const ConvertKernels& Kernels() const { return kernels_; }
  int32_t* Mask() { return mask_.get(); }

 private:
  uint32_t width_ = 0, height_ = 0;
  std::unique_ptr<MEDeinterlacer> engine_;
  platform::ScratchArray<uint8_t> src_image_, dst_image_;
  ConvertKernels kernels_ = MakeConvertKernels(platform::CpuFeatures());
  platform::ScratchArray<int32_t> mask_;
};

// Renders one frame: prepares the workspace, logs the stages as the
// plug-in does and runs them in order; with `comb_map` set, draws the comb
// map over the result (host/comb_map.h). Throws std::bad_alloc (from the
// workspace) before it writes the destination.
void RenderFrame(const HostFrames& frames, const DeinterlaceParameters& settings,
                 const FrameRegion& region, LogSink* log, FrameWorkspace& workspace,
                 bool comb_map = false);

// The stages, in the order RenderFrame runs them. W x H below are the
// frames' width and height; N = W x H.
//
// The host's source frame into the frame-order YV12 engine image in one
// pass (field staging, conversion and interleaving at once): the same bytes
// as copying the even rows above the odd ones, converting them with each
// field's chroma apart and re-interleaving the rows; engine row r is host
// row H - 1 - r.
void ConvertToEngineImage(const ConvertKernels& kernels, const HostFrames& frames, uint8_t* image);
// Runs the method on the engine image. A method the engine does not know
// comes out as a copy of the source.
void Deinterlace(MEDeinterlacer& engine, const uint8_t* src_image, uint8_t* dst_image,
                 const DeinterlaceParameters& settings);
// The blocks the mask excludes get their source pixels back.
void RestoreExcludedBlocks(const int32_t* mask, const uint8_t* src_image, uint8_t* dst_image,
                           uint32_t width, uint32_t height);
// The engine image back into the destination frame (image row r to frame
// row H - 1 - r) and opacity in one pass: alpha 255 in every 4-byte group
// of the H x row bytes from the destination address (row padding
// included); rows that run upward in memory keep to their own pixels.
void ConvertBackToHost(const ConvertKernels& kernels, const uint8_t* image,
                       const HostFrames& frames);
