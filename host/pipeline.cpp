// The execute path. Frames are staged field by field, converted to YV12 with
// each field's chroma apart, re-interleaved into frame order (row r of the
// engine image is host row H - 1 - r), deinterlaced, given back their
// source pixels outside the region, converted back and made opaque.
//
// Geometry stays in 32 bits and every copy goes row by row within both
// frames, so no size or pitch the host reports can make it read or write
// outside a frame.
#include "host/pipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "convert/convert.h"
#include "engine/me_deinterlacer.h"
#include "host/module_state.h"
#include "host/settings.h"
#include "platform/cpu.h"
#include "platform/scratch_memory.h"
#include "platform/system.h"
#include "region/rect_list.h"
#include "region/region_mask.h"

namespace {

void LogFrameLine(const ExecuteFrames& f, int32_t height, int32_t width, int32_t src_row_bytes,
                  int32_t dst_height, int32_t dst_width, int32_t dst_row_bytes) {
  WriteLogF(
      "Frame = %d of %d\nsrc_height = %d, src_width = %d, src_rowbytes = %d\n"
      "dst_height = %d, dst_width = %d, dst_rowbytes = %d",
      f.frame_number, f.frame_total, height, width, src_row_bytes, dst_height, dst_width,
      dst_row_bytes);
}

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

// The copy paths: the rows both frames have, each with as many bytes as
// both rows hold.
void CopyThrough(const ExecuteFrames& f, int32_t height, int32_t dst_height, int32_t src_row_bytes,
                 int32_t dst_row_bytes) {
  const int64_t rows = std::min(height, dst_height);
  const int64_t bytes = std::min(Abs(src_row_bytes), Abs(dst_row_bytes));
  for (int64_t r = 0; r < rows; ++r) {
    CopyBlock(f.dst_pixels + r * dst_row_bytes, f.src_pixels + r * src_row_bytes,
              static_cast<uint32_t>(bytes));
  }
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

template <class T>
platform::ScratchArray<T> Allocate(uint64_t n) {
  if (n > 0xFFFFFFFFull / sizeof(T)) throw std::bad_alloc();
  return platform::MakeScratchArray<T>(static_cast<size_t>(n));
}

// Steps 10 to 29: the frame is processed. Throws std::bad_alloc before it
// writes the destination.
void Process(const ExecuteFrames& f, int32_t width, int32_t height, int32_t src_row_bytes,
             int32_t dst_row_bytes) {
  const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  const uint64_t n = uint64_t{w} * h;
  MEDeinterlacer engine;
  auto src_image = Allocate<uint8_t>(3 * n / 2);
  auto dst_image = Allocate<uint8_t>(3 * n / 2);
  WriteLogF("src = 0x%X, dst = 0x%X",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(src_image.get())),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(dst_image.get())));
  engine.Init(w, h);
  WriteLogF("src = 0x%X, dst = 0x%X",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(src_image.get())),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(dst_image.get())));
  // The conversion kernels for this frame, chosen once for all its rows.
  const ConvertKernels kernels = MakeConvertKernels(platform::CpuFeatures());
  uint8_t* sy = src_image.get();
  {
    // The region list lives from here to the end of the region step; the
    // mask goes first, then the list (which stores the region).
    ScopedRectList region;
    auto mask = Allocate<int32_t>(RegionMaskEntries(width, height));
    BuildRegionMask(mask.get(), width, height);

    WriteLog("Converting to YV12...");
    // One pass from the host rows to the engine's row order (engine row r
    // is host row H - 1 - r, each field's chroma apart): the same bytes as
    // staging the fields, converting and re-interleaving.
    ConvertFieldsToEngineYv12(kernels, sy, f.src_pixels, src_row_bytes, w, h);
    WriteLog("Done.");
    WriteLog("Deinterlacing...");
    // A method the engine does not know leaves its destination unwritten:
    // start from the source so that such a frame comes out unchanged.
    if (static_cast<uint32_t>(g_settings.method) > 5)
      CopyBlock(dst_image.get(), sy, static_cast<uint32_t>(3 * n / 2));
    engine.Process(sy, dst_image.get(), &g_settings);
    ApplyRegionMask(height, dst_image.get(), sy, mask.get(), width);
    WriteLog("Done.");
  }

  WriteLog("Converting to RGB32...");
  uint8_t* dy = dst_image.get();
  // Host row m from engine row H - 1 - m, alpha 255 in the same pass. The
  // conversion steps by whole pixels (row bytes / 4); rows with padding or
  // another step still get the alpha pass over every 4-byte group of the
  // H x row bytes from the destination address (padding included), and
  // rows that run upward in memory keep to their own pixels.
  const int32_t out_step = 4 * (dst_row_bytes / 4);
  ConvertEngineYv12ToHost(kernels, f.dst_pixels, out_step, dy, w, h);
  if (dst_row_bytes > 0 && static_cast<uint32_t>(dst_row_bytes) != 4 * w) {
    SetAlpha(f.dst_pixels, uint64_t{h} * static_cast<uint32_t>(dst_row_bytes));
  } else if (dst_row_bytes < 0 && dst_row_bytes != out_step) {
    for (int64_t r = 0; r < height; ++r)
      SetAlpha(f.dst_pixels + r * dst_row_bytes, uint64_t{4} * w);
  }
  WriteLog("Done.");
  WriteLog("Free resources...");
  src_image.reset();
  dst_image.reset();
  WriteLog("Done.");
  WriteLog("End fsExecute");
}

}  // namespace

void CopyBlock(uint8_t* destination, const uint8_t* source, uint32_t bytes) {
  std::memcpy(destination, source, bytes);
}

int32_t ExecuteFrame(const ExecuteFrames& f) {
  try {
    WriteLogF("\nStart fsExecute. Method = %d", g_settings.method);
    int32_t width = f.src_width, height = f.src_height;
    int32_t src_row_bytes = f.src_row_bytes, dst_row_bytes = f.dst_row_bytes;
    int32_t dst_height = f.dst_height;
    WriteLog("Before change...");
    LogFrameLine(f, height, width, src_row_bytes, dst_height, f.dst_width, dst_row_bytes);
    // Nothing to render, and the field tests below divide by the width.
    if (width <= 0 || height <= 0 || !f.src_pixels || !f.dst_pixels) return 0;

    if (dst_row_bytes / width / 4 > 1) {
      // One field handed over as every other row of the frame.
      dst_row_bytes /= 2;
      dst_height *= 2;
      if ((f.field_flags & kFieldFlagSkipOdd) && f.frame_number % 2 != 0) {
        WriteLog("1: do not do any... we have did it before");
        return 0;
      }
      if ((f.field_flags & kFieldFlagSkipEven) && f.frame_number % 2 == 0) {
        WriteLog("2: do not do any... we have did it before");
        return 0;
      }
    }
    if (src_row_bytes / width / 4 > 1) {
      src_row_bytes /= 2;
      height *= 2;
    }
    WriteLog("After change...");
    LogFrameLine(f, height, width, src_row_bytes, dst_height, f.dst_width, dst_row_bytes);

    if (width % 16 != 0 || height % 16 != 0) {
      WriteLog("Width & Height are not devided by 16... Just copy");
      if (IsSoundAlertOn()) platform::PlayAlertSound();
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      WriteLog("Done.");
      return 0;
    }
    LoadSettings(&g_settings);
    if (g_settings.method == 0) {
      WriteLog("Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      return 0;
    }
    // Processing reads and writes W pixels of H rows in both frames.
    if (dst_height < height || Abs(src_row_bytes) < int64_t{4} * width ||
        Abs(dst_row_bytes) < int64_t{4} * width) {
      WriteLog("Frames are smaller than the source size... Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      return 0;
    }
    try {
      Process(f, width, height, src_row_bytes, dst_row_bytes);
    } catch (const std::bad_alloc&) {
      WriteLog("Not enough memory for this frame... Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
    }
  } catch (...) {
    // Nothing may reach the host; the frame stays as far as it got.
  }
  return 0;
}
