// The renderer of a render's setting: frames go straight to the execute
// path with the settings, region and switches the render read at its
// start, each renderer with a workspace of its own, so that several render
// at once.
#include "tools/fieldrestore/frame_renderer.h"

namespace {

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

std::unique_ptr<FrameRenderer> MakeSettingRenderer(const RenderStore& store) {
  return std::make_unique<SettingRenderer>(store);
}
