// The execute path: the host's geometry, the field tests and the copy
// paths, then the frame path (host/frame_path.h) with the caller's
// settings, region and log.
//
// Geometry stays in 32 bits and every copy goes row by row within both
// frames, so no size or pitch the host reports can make it read or write
// outside a frame.
#include "host/pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/frame_path.h"
#include "platform/system.h"

namespace {

void LogFrameLine(LogSink* log, const ExecuteFrames& f, int32_t height, int32_t width,
                  int32_t src_row_bytes, int32_t dst_height, int32_t dst_width,
                  int32_t dst_row_bytes) {
  LogLine(log,
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

}  // namespace

ExecuteOutcome ExecuteFrame(const ExecuteFrames& f, DeinterlaceParameters settings,
                            FrameRegion region, LogSink* log, FrameWorkspace& workspace,
                            ExecuteStore& store, bool comb_map) {
  try {
    LogLine(log, "\nStart fsExecute. Method = %d", settings.method);
    int32_t width = f.src_width, height = f.src_height;
    int32_t src_row_bytes = f.src_row_bytes, dst_row_bytes = f.dst_row_bytes;
    int32_t dst_height = f.dst_height;
    LogLine(log, "Before change...");
    LogFrameLine(log, f, height, width, src_row_bytes, dst_height, f.dst_width, dst_row_bytes);
    // Nothing to render, and the field tests below divide by the width.
    if (width <= 0 || height <= 0 || !f.src_pixels || !f.dst_pixels) {
      return ExecuteOutcome::kSkipped;
    }

    if (dst_row_bytes / width / 4 > 1) {
      // One field handed over as every other row of the frame.
      dst_row_bytes /= 2;
      dst_height *= 2;
      if ((f.field_flags & kFieldFlagSkipOdd) && f.frame_number % 2 != 0) {
        LogLine(log, "1: do not do any... we have did it before");
        return ExecuteOutcome::kSkipped;
      }
      if ((f.field_flags & kFieldFlagSkipEven) && f.frame_number % 2 == 0) {
        LogLine(log, "2: do not do any... we have did it before");
        return ExecuteOutcome::kSkipped;
      }
    }
    if (src_row_bytes / width / 4 > 1) {
      src_row_bytes /= 2;
      height *= 2;
    }
    LogLine(log, "After change...");
    LogFrameLine(log, f, height, width, src_row_bytes, dst_height, f.dst_width, dst_row_bytes);

    if (width % 16 != 0 || height % 16 != 0) {
      LogLine(log, "Width & Height are not devided by 16... Just copy");
      if (store.SoundAlert()) platform::PlayAlertSound();
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      LogLine(log, "Done.");
      return ExecuteOutcome::kCopied;
    }
    store.ReloadSettings(&settings);
    if (settings.method == 0) {
      LogLine(log, "Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      return ExecuteOutcome::kCopied;
    }
    // Processing reads and writes W pixels of H rows in both frames.
    if (dst_height < height || Abs(src_row_bytes) < int64_t{4} * width ||
        Abs(dst_row_bytes) < int64_t{4} * width) {
      LogLine(log, "Frames are smaller than the source size... Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      return ExecuteOutcome::kCopied;
    }
    try {
      const HostFrames frames{f.src_pixels,
                              src_row_bytes,
                              f.dst_pixels,
                              dst_row_bytes,
                              static_cast<uint32_t>(width),
                              static_cast<uint32_t>(height)};
      workspace.Prepare(frames.width, frames.height);
      store.LoadRegion(&region);
      RenderFrame(frames, settings, region, log, workspace, comb_map);
    } catch (const std::bad_alloc&) {
      LogLine(log, "Not enough memory for this frame... Just copy");
      CopyThrough(f, height, dst_height, src_row_bytes, dst_row_bytes);
      return ExecuteOutcome::kCopied;
    }
  } catch (...) {
    // Nothing may leave; the frame stays as far as it got.
  }
  return ExecuteOutcome::kProcessed;
}
