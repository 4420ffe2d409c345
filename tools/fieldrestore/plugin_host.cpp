// Plays the host for fieldrestore.prm: a per-call record of the host's
// layout reached through a handle, the memory and frame service tables,
// and xFilter called with them, for the query selectors, setup and
// rendering.
#include <cstdlib>
#include <vector>

#include "host/host_record.h"
#include "platform/common_controls.h"
#include "platform/dynamic_library.h"
#include "tools/fieldrestore/frame_renderer.h"
#include "tools/fieldrestore/plugin_query.h"

namespace {

using XFilterFn = int32_t (*)(int16_t, char**);

// A frame as the frame services describe it.
struct HostFrame {
  uint8_t* pixels;
  int32_t bounds[4];  // left, top, right, bottom
  int32_t row_bytes;
};

uint8_t* FrameAddress(void* frame) { return static_cast<HostFrame*>(frame)->pixels; }
void FrameBounds(void* frame, int32_t* rect) {
  for (int i = 0; i < 4; ++i) rect[i] = static_cast<HostFrame*>(frame)->bounds[i];
}
int32_t FrameRowBytes(void* frame) { return static_cast<HostFrame*>(frame)->row_bytes; }

// Handles from the memory service live as long as the command.
char** AllocateHandle(int32_t size) {
  auto** handle = static_cast<char**>(std::calloc(1, sizeof(char*)));
  if (handle) *handle = static_cast<char*>(std::calloc(1, size > 0 ? size : 1));
  return handle;
}

class PluginHost {
 public:
  bool Load(const std::string& path, std::string* error) {
    if (!library_.Load(path)) {
      *error = "cannot load plug-in " + path + ": " + library_.Error();
      return false;
    }
    filter_ = reinterpret_cast<XFilterFn>(library_.Symbol("xFilter"));
    if (!filter_) {
      *error = "plug-in " + path + " does not export xFilter";
      return false;
    }
    record::Write(memory_, record::kAllocateHandleSlot, &AllocateHandle);
    record::Write(frame_services_, record::kFrameAddressSlot, &FrameAddress);
    record::Write(frame_services_, record::kFrameBoundsSlot, &FrameBounds);
    record::Write(frame_services_, record::kFrameRowBytesSlot, &FrameRowBytes);
    record::Write<void*>(services_, record::kMemoryServices, memory_);
    record::Write<void*>(services_, record::kFrameServices, frame_services_);
    record::Write<void*>(record_.data(), record::kHostServices, services_);
    return true;
  }
  char* Record() { return record_.data(); }
  int32_t Call(int16_t selector) {
    char* rec = record_.data();
    return filter_(selector, &rec);
  }

 private:
  platform::DynamicLibrary library_;
  XFilterFn filter_ = nullptr;
  std::vector<char> record_ = std::vector<char>(256, 0);
  uint8_t services_[64] = {};
  uint8_t memory_[64] = {};
  uint8_t frame_services_[64] = {};
};

class PluginRenderer : public FrameRenderer {
 public:
  bool Load(std::string* error) { return host_.Load(DefaultPluginPath(), error); }
  ExecuteOutcome Render(const ExecuteFrames& f, LogSink*) override {
    HostFrame src{
        const_cast<uint8_t*>(f.src_pixels), {0, 0, f.src_width, f.src_height}, f.src_row_bytes};
    HostFrame dst{f.dst_pixels, {0, 0, f.dst_width, f.dst_height}, f.dst_row_bytes};
    char* rec = host_.Record();
    record::Write<void*>(rec, record::kSrcFrame, &src);
    record::Write<void*>(rec, record::kDstFrame, &dst);
    record::Write<int32_t>(rec, record::kFrameNumber, f.frame_number);
    record::Write<int32_t>(rec, record::kFrameTotal, f.frame_total);
    record::Write<uint16_t>(rec, record::kFieldFlags, f.field_flags);
    host_.Call(0);
    // What the plug-in did is not told; a skipped call leaves this
    // renderer's destination as it was, which one thread writes as it is.
    return ExecuteOutcome::kProcessed;
  }
  std::string StoreFailureOfFrame() override { return StoreFailure(false); }
  // The plug-in keeps its settings and region list in the module: its
  // calls must not overlap, as a host makes them one at a time.
  bool RendersOnSeveralThreads() const override { return false; }

 private:
  PluginHost host_;
};

}  // namespace

std::string DefaultPluginPath() { return platform::ExecutableDirectory() + "\\fieldrestore.prm"; }

bool QueryPlugin(const std::string& path, PluginQueryResult* result, std::string* error) {
  PluginHost host;
  if (!host.Load(path, error)) return false;
  result->selector4 = host.Call(4);
  result->selector5 = host.Call(5);
  record::Write<int32_t>(host.Record(), record::kFormatQueryIndex, 0);
  result->selector6 = host.Call(6);
  result->format_code = record::Read<uint32_t>(host.Record(), record::kFormatCode);
  return true;
}

bool SetupPlugin(const std::string& path, std::string* error) {
  PluginHost host;
  if (!host.Load(path, error)) return false;
  // The dialog's tooltips come from the common controls, which the host
  // process provides.
  platform::InitCommonControlsAsHost();
  host.Call(1);
  return true;
}

std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string* error) {
  auto renderer = std::make_unique<PluginRenderer>();
  if (!renderer->Load(error)) return nullptr;
  return renderer;
}

std::unique_ptr<FrameRenderer> MakeFrameRenderer(const RenderStore&, std::string* error) {
  return MakeFrameRenderer(error);
}

// fieldrestore.prm keeps its state in the module: one call at a time.
bool RendersThroughPlugin() { return true; }

unsigned MaxRenderThreads() { return 1; }
