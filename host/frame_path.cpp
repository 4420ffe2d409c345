// The frame path as its stages. Each stage is a function of its arguments
// alone; RenderFrame strings them together with the caller's workspace.
#include "host/frame_path.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "convert/convert.h"
#include "host/comb_map.h"
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
    staging_ = Allocate<uint8_t>(4 * n);
    field_yv12_ = Allocate<uint8_t>(3 * n / 2);
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
  staging_.reset();
  field_yv12_.reset();
  mask_.reset();
  width_ = height_ = 0;
}

void StageFields(const HostFrames& f, uint8_t* staging) {
  const size_t row = size_t{4} * f.width;
  for (uint32_t k = 0; k < f.height / 2; ++k) {
    const uint8_t* even = f.src + int64_t{2 * k} * f.src_row_bytes;
    CopyBlock(staging + k * row, even, static_cast<uint32_t>(row));
    CopyBlock(staging + (f.height / 2 + k) * row, even + f.src_row_bytes,
              static_cast<uint32_t>(row));
  }
}

void ConvertFieldsToYv12(const uint8_t* staging, uint8_t* fy, uint32_t w, uint32_t h) {
  const uint64_t n = uint64_t{w} * h;
  ConvertBgraToYv12(fy, fy + n + n / 4, fy + n, staging, w, h, static_cast<int32_t>(w));
}

void InterleaveFields(const uint8_t* fy, uint8_t* image, uint32_t w, uint32_t h) {
  const uint64_t n = uint64_t{w} * h;
  for (uint32_t i = 0; i < h / 2; ++i) {
    CopyBlock(image + size_t{2 * i} * w, fy + size_t{i} * w, w);
    CopyBlock(image + size_t{2 * i + 1} * w, fy + size_t{h / 2 + i} * w, w);
  }
  for (const uint64_t plane : {n, n + n / 4}) {
    for (uint32_t i = 0; i < h / 4; ++i) {
      CopyBlock(image + plane + size_t{2 * i} * (w / 2), fy + plane + size_t{i} * (w / 2), w / 2);
      CopyBlock(image + plane + size_t{2 * i + 1} * (w / 2),
                fy + plane + size_t{h / 4 + i} * (w / 2), w / 2);
    }
  }
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

void ConvertBackToBgra(const uint8_t* dy, const HostFrames& f) {
  const uint64_t n = uint64_t{f.width} * f.height;
  const int32_t w = static_cast<int32_t>(f.width);
  ConvertYv12ToBgra(f.dst, f.dst_row_bytes / 4, dy, dy + n + n / 4, dy + n, w, w / 2, f.width,
                    -static_cast<int32_t>(f.height));
}

void MakeOpaque(const HostFrames& f) {
  if (f.dst_row_bytes > 0) {
    SetAlpha(f.dst, uint64_t{f.height} * static_cast<uint32_t>(f.dst_row_bytes));
  } else {
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
  StageFields(f, workspace.Staging());
  ConvertFieldsToYv12(workspace.Staging(), workspace.FieldYv12(), f.width, f.height);
  InterleaveFields(workspace.FieldYv12(), workspace.SrcImage(), f.width, f.height);
  LogLine(log, "Done.");
  LogLine(log, "Deinterlacing...");
  Deinterlace(workspace.Engine(), workspace.SrcImage(), workspace.DstImage(), settings);
  RestoreExcludedBlocks(mask, workspace.SrcImage(), workspace.DstImage(), f.width, f.height);
  LogLine(log, "Done.");
  LogLine(log, "Converting to RGB32...");
  ConvertBackToBgra(workspace.DstImage(), f);
  MakeOpaque(f);
  if (comb_map) DrawCombMap(f, workspace.Engine(), settings, mask);
  LogLine(log, "Done.");
  LogLine(log, "Free resources...");
  LogLine(log, "Done.");
  LogLine(log, "End fsExecute");
}
