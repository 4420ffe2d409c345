// The frame path as its stages. Each stage is a function of its arguments
// alone; RenderFrame strings them together with the caller's workspace.
#include "host/frame_path.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "convert/convert.h"
#include "host/comb_map.h"
#include "platform/cpu.h"
#include "region/region_mask.h"

namespace {

template <class T>
platform::ScratchArray<T> Allocate(uint64_t n) {
  if (n > 0xFFFFFFFFull / sizeof(T)) throw std::bad_alloc();
  return platform::MakeScratchArray<T>(static_cast<size_t>(n));
}

// Sets the fourth byte of every 4-byte group of `bytes` bytes to 255, eight
// bytes a step (the groups' fourth bytes are bytes 3 and 7 of each
// little-endian 64-bit word).
void SetAlpha(uint8_t* p, uint64_t bytes) {
  uint64_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);
    v |= 0xFF000000FF000000ull;
    std::memcpy(p + i, &v, 8);
  }
  for (i += 3; i < bytes; i += 4) p[i] = 255;
}

void LogImages(LogSink* log, FrameWorkspace& workspace) {
  LogLine(log, "src = 0x%X, dst = 0x%X",
          static_cast<unsigned>(reinterpret_cast<uintptr_t>(workspace.SrcImage())),
          static_cast<unsigned>(reinterpret_cast<uintptr_t>(workspace.DstImage())));
}

}  // namespace

void CopyBlock(uint8_t* destination, const uint8_t* source, uint32_t bytes) {
  std::memcpy(destination, source, bytes);
}

void LogLine(LogSink* log, const char* format, ...) {
  if (!log) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  log->Write(line);
}

void FrameWorkspace::Prepare(uint32_t width, uint32_t height) {
  if (engine_ && width == width_ && height == height_) return;
  Release();
  try {
    const uint64_t n = uint64_t{width} * height;
    src_image_ = Allocate<uint8_t>(3 * n / 2);
    dst_image_ = Allocate<uint8_t>(3 * n / 2);
    mask_ = Allocate<int32_t>(
        RegionMaskEntries(static_cast<int32_t>(width), static_cast<int32_t>(height)));
    auto engine = std::make_unique<MEDeinterlacer>();
    engine->Init(width, height);
    engine_ = std::move(engine);
  } catch (...) {
    Release();
    throw;
  }
  width_ = width;
  height_ = height;
}

void FrameWorkspace::Release() {
  engine_.reset();
  src_image_.reset();
  dst_image_.reset();
  mask_.reset();
  width_ = height_ = 0;
}

void ConvertToEngineImage(const ConvertKernels& kernels, const HostFrames& f, uint8_t* image) {
  ConvertFieldsToEngineYv12(kernels, image, f.src, f.src_row_bytes, f.width, f.height);
}

void Deinterlace(MEDeinterlacer& engine, const uint8_t* src_image, uint8_t* dst_image,
                 const DeinterlaceParameters& settings) {
  // A method the engine does not know leaves its destination unwritten:
  // start from the source so that such a frame comes out unchanged.
  if (static_cast<uint32_t>(settings.method) > 5)
    CopyBlock(dst_image, src_image, 3 * engine.width * engine.height / 2);
  engine.Process(src_image, dst_image, &settings);
}

void RestoreExcludedBlocks(const int32_t* mask, const uint8_t* src_image, uint8_t* dst_image,
                           uint32_t width, uint32_t height) {
  ApplyRegionMask(static_cast<int32_t>(height), dst_image, src_image, mask,
                  static_cast<int32_t>(width));
}

void ConvertBackToHost(const ConvertKernels& kernels, const uint8_t* image, const HostFrames& f) {
  // The conversion steps by whole pixels (row bytes / 4) and writes alpha
  // 255 in the same pass; rows with padding or another step still get the
  // alpha pass over every 4-byte group of the H x row bytes from the
  // destination address (padding included), and rows that run upward in
  // memory keep to their own pixels.
  const int32_t step = 4 * (f.dst_row_bytes / 4);
  ConvertEngineYv12ToHost(kernels, f.dst, step, image, f.width, f.height);
  if (f.dst_row_bytes > 0 && static_cast<uint32_t>(f.dst_row_bytes) != 4 * f.width) {
    SetAlpha(f.dst, uint64_t{f.height} * static_cast<uint32_t>(f.dst_row_bytes));
  } else if (f.dst_row_bytes < 0 && f.dst_row_bytes != step) {
    for (int64_t r = 0; r < f.height; ++r)
      SetAlpha(f.dst + r * f.dst_row_bytes, uint64_t{4} * f.width);
  }
}

void RenderFrame(const HostFrames& f, const DeinterlaceParameters& settings,
                 const FrameRegion& region, LogSink* log, FrameWorkspace& workspace,
                 bool comb_map) {
  workspace.Prepare(f.width, f.height);
  LogImages(log, workspace);
  LogImages(log, workspace);
  const int32_t* mask = region.mask;
  if (!mask) {
    BuildRegionMask(workspace.Mask(), static_cast<int32_t>(f.width), static_cast<int32_t>(f.height),
                    region.list);
    mask = workspace.Mask();
  }
  LogLine(log, "Converting to YV12...");
  ConvertToEngineImage(workspace.Kernels(), f, workspace.SrcImage());
  LogLine(log, "Done.");
  LogLine(log, "Deinterlacing...");
  Deinterlace(workspace.Engine(), workspace.SrcImage(), workspace.DstImage(), settings);
  RestoreExcludedBlocks(mask, workspace.SrcImage(), workspace.DstImage(), f.width, f.height);
  LogLine(log, "Done.");
  LogLine(log, "Converting to RGB32...");
  ConvertBackToHost(workspace.Kernels(), workspace.DstImage(), f);
  if (comb_map) DrawCombMap(f, workspace.Engine(), settings, mask);
  LogLine(log, "Done.");
  LogLine(log, "Free resources...");
  LogLine(log, "Done.");
  LogLine(log, "End fsExecute");
}
