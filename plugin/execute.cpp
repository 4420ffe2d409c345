// The plug-in's execute call: the store is asked as the call goes on, as
// the plug-in has always asked it.
#include "plugin/execute.h"

#include <optional>

#include "host/settings.h"
#include "plugin/module_state.h"

namespace {

// The plug-in's diagnostic log: each line goes to WriteLog, which asks the
// store for the debug switch every time.
class StoreLog final : public LogSink {
 public:
  void Write(const char* line) override { WriteLog(line); }
};

// The plug-in's store steps: the sound switch and the settings read when
// they are needed, the region list created for the rest of the call.
class PluginStore final : public ExecuteStore {
 public:
  bool SoundAlert() override { return IsSoundAlertOn(); }
  void ReloadSettings(DeinterlaceParameters* settings) override {
    LoadSettings(&g_settings);
    *settings = g_settings;
  }
  void LoadRegion(FrameRegion* region) override {
    region_.emplace();
    region->list = g_rectList;
  }

 private:
  std::optional<ScopedRectList> region_;
};

}  // namespace

int32_t ExecuteFrame(const ExecuteFrames& f, bool comb_map) {
  try {
    // Nothing is kept between calls: the buffers and the engine live for
    // this frame, and the region list from its loading to the end of the
    // frame.
    FrameWorkspace workspace;
    PluginStore store;
    StoreLog log;
    ExecuteFrame(f, g_settings, FrameRegion{}, &log, workspace, store, comb_map);
  } catch (...) {
    // Nothing may reach the host.
  }
  return 0;
}
