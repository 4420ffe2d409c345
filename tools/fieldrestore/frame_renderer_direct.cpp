// Native builds: frames go straight to the execute path, either as the
// plug-in runs it (the settings loaded for every call) or with the setting
// a render read at its start, on as many threads as it likes.
#include <limits>

#include "host/settings.h"
#include "plugin/execute.h"
#include "plugin/module_state.h"
#include "tools/fieldrestore/frame_renderer.h"

namespace {

class DirectRenderer : public FrameRenderer {
 public:
  ExecuteOutcome Render(const ExecuteFrames& frames, LogSink*) override {
    LoadSettings(&g_settings);
    ExecuteFrame(frames, comb_map_);
    return ExecuteOutcome::kProcessed;
  }
  bool ShowCombMap() override { return comb_map_ = true; }

 private:
  bool comb_map_ = false;
};

// The store's steps answered once for the whole render.
class FixedStore final : public ExecuteStore {
 public:
  explicit FixedStore(bool sound_alert) : sound_alert_(sound_alert) {}
  bool SoundAlert() override { return sound_alert_; }

 private:
  bool sound_alert_;
};

class SettingRenderer : public FrameRenderer {
 public:
  explicit SettingRenderer(const RenderStore& store) : store_(store), fixed_(store.sound_alert) {}
  ExecuteOutcome Render(const ExecuteFrames& frames, LogSink* log) override {
    return ExecuteFrame(frames, store_.settings, FrameRegion{store_.region.get(), nullptr},
                        store_.debug ? log : nullptr, workspace_, fixed_, comb_map_);
  }
  bool ShowCombMap() override { return comb_map_ = true; }

 private:
  const RenderStore& store_;
  FixedStore fixed_;
  FrameWorkspace workspace_;
  bool comb_map_ = false;
};

}  // namespace

std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string*) {
  return std::make_unique<DirectRenderer>();
}

std::unique_ptr<FrameRenderer> MakeFrameRenderer(const RenderStore& store, std::string*) {
  return std::make_unique<SettingRenderer>(store);
}

unsigned MaxRenderThreads() { return std::numeric_limits<unsigned>::max(); }
