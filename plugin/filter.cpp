// xFilter: loads the settings, then answers the host's selector.
#include "plugin/filter.h"

#include <exception>

#include "host/host_record.h"
#include "host/settings.h"
#include "plugin/execute.h"
#include "plugin/module_state.h"
#include "region/rect_list.h"
#include "ui/dialogs.h"

namespace {

char* RecordOf(char** theData) { return *theData; }

// Makes sure the host's parameter handle exists. It carries no data: the
// settings live in the per-user store.
void EnsureSpecsHandle(char** theData) {
  auto handle = record::Read<char**>(RecordOf(theData), record::kSpecsHandle);
  if (!handle) {
    const auto* services = record::Read<const uint8_t*>(RecordOf(theData), record::kHostServices);
    const auto* memory =
        services ? record::Read<const uint8_t*>(services, record::kMemoryServices) : nullptr;
    const auto allocate =
        memory ? record::Read<record::AllocateHandleFn>(memory, record::kAllocateHandleSlot)
               : nullptr;
    if (allocate) {
      handle = allocate(4);
      record::Write(RecordOf(theData), record::kSpecsHandle, handle);
      WriteLogF("(*theData)->specsHandle was allocated.It is 0x%x, and pointed 0x%x",
                reinterpret_cast<uintptr_t>(handle),
                handle ? reinterpret_cast<uintptr_t>(*handle) : 0u);
    }
  }
  WriteLogF("(*theData)->specsHandle is 0x%x, and pointed 0x%x",
            reinterpret_cast<uintptr_t>(handle),
            handle ? reinterpret_cast<uintptr_t>(*handle) : 0u);
}

int32_t Setup(char** theData) {
  // The call's region list: loaded from the store now, stored again and
  // deleted when the call ends (null when its memory cannot be had).
  ScopedRectList region;
  EnsureSpecsHandle(theData);
  RunParametersDialog(g_instance, &g_settings, g_rectList);
  // Whatever closed the dialog, the settings go back to the store.
  SaveSettings(&g_settings);
  return 0;
}

// Reads the frames through the host's frame services, in the order the
// host expects them to be asked, and renders the frame.
int32_t Execute(char** theData) {
  using FrameAddressFn = uint8_t* (*)(void* frame);
  using FrameBoundsFn = void (*)(void* frame, int32_t* rect);
  using FrameRowBytesFn = int32_t (*)(void* frame);
  const auto* services = record::Read<const uint8_t*>(RecordOf(theData), record::kHostServices);
  const auto* frames =
      services ? record::Read<const uint8_t*>(services, record::kFrameServices) : nullptr;
  if (!frames) return 0;
  const auto address = record::Read<FrameAddressFn>(frames, record::kFrameAddressSlot);
  const auto bounds = record::Read<FrameBoundsFn>(frames, record::kFrameBoundsSlot);
  const auto row_bytes = record::Read<FrameRowBytesFn>(frames, record::kFrameRowBytesSlot);
  if (!address || !bounds || !row_bytes) return 0;

  void* src = record::Read<void*>(RecordOf(theData), record::kSrcFrame);
  void* dst = record::Read<void*>(RecordOf(theData), record::kDstFrame);
  int32_t src_rect[4] = {}, dst_rect[4] = {};  // left, top, right, bottom
  bounds(src, src_rect);
  bounds(dst, dst_rect);
  ExecuteFrames f;
  f.dst_row_bytes = row_bytes(dst);
  f.src_row_bytes = row_bytes(src);
  f.src_pixels = address(src);
  f.dst_pixels = address(dst);
  f.src_width = static_cast<int32_t>(static_cast<int64_t>(src_rect[2]) - src_rect[0]);
  f.src_height = static_cast<int32_t>(static_cast<int64_t>(src_rect[3]) - src_rect[1]);
  f.dst_width = static_cast<int32_t>(static_cast<int64_t>(dst_rect[2]) - dst_rect[0]);
  f.dst_height = static_cast<int32_t>(static_cast<int64_t>(dst_rect[3]) - dst_rect[1]);
  f.frame_number = record::Read<int32_t>(RecordOf(theData), record::kFrameNumber);
  f.frame_total = record::Read<int32_t>(RecordOf(theData), record::kFrameTotal);
  f.field_flags = record::Read<uint16_t>(RecordOf(theData), record::kFieldFlags);
  return ExecuteFrame(f);
}

int32_t FormatQuery(char** theData) {
  char* rec = RecordOf(theData);
  if (record::Read<int32_t>(rec, record::kFormatQueryIndex) != 0) return 1;
  record::Write<uint32_t>(rec, record::kFormatCode, record::kFormatBgra);
  return 0;
}

int32_t Dispatch(int16_t selector, char** theData) {
  LoadSettings(&g_settings);
  switch (selector) {
    case kSelectorExecute:
      return Execute(theData);
    case kSelectorSetup:
      return Setup(theData);
    case kSelectorQuery4:
      return 0x4000;
    case kSelectorQuery5:
      return 1;
    case kSelectorFormat:
      return FormatQuery(theData);
    default:
      return kResultUnsupported;
  }
}

}  // namespace

extern "C" int32_t xFilter(int16_t selector, char** theData) {
  // A missing record gets the "unsupported" answer and nothing is touched.
  if (!theData || !*theData) return kResultUnsupported;
  try {
    return Dispatch(selector, theData);
  } catch (const std::exception& e) {
    try {
      WriteLogF("Error: %s", e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  // Execute and setup have no error result; anything else is unsupported.
  return selector == kSelectorExecute || selector == kSelectorSetup ? 0 : kResultUnsupported;
}
