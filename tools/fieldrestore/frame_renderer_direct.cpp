// Native builds: frames go straight to the execute path, after the
// settings load that starts every plug-in call.
#include "host/module_state.h"
#include "host/settings.h"
#include "tools/fieldrestore/frame_renderer.h"

namespace {
class DirectRenderer : public FrameRenderer {
 public:
  void Render(const ExecuteFrames& frames) override {
    LoadSettings(&g_settings);
    ExecuteFrame(frames, comb_map_);
  }
  bool ShowCombMap() override { return comb_map_ = true; }

 private:
  bool comb_map_ = false;
};
}  // namespace

std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string*) {
  return std::make_unique<DirectRenderer>();
}
