// Native builds: frames go straight to the execute path, either as the
// plug-in runs it (the settings loaded for every call, one call at a time)
// or with the setting a render read at its start, on as many threads as it
// likes.
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
  // The module's settings and region list serve one call at a time.
  bool RendersOnSeveralThreads() const override { return false; }

 private:
  bool comb_map_ = false;
};

}  // namespace

std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string*) {
  return std::make_unique<DirectRenderer>();
}

std::unique_ptr<FrameRenderer> MakeFrameRenderer(const RenderStore& store, std::string*) {
  return MakeSettingRenderer(store);
}

bool RendersThroughPlugin() { return false; }

unsigned MaxRenderThreads() { return std::numeric_limits<unsigned>::max(); }
