// How the render command hands a frame to the execute path: straight to
// the pipeline (native builds) or through fieldrestore.prm, playing the
// host (the Windows build).
#pragma once

#include <memory>
#include <string>

#include "host/pipeline.h"
#include "tools/fieldrestore/store_report.h"

class FrameRenderer {
 public:
  virtual ~FrameRenderer() = default;
  // Renders one frame; its diagnostic lines go to `log` when the renderer
  // does not write the log itself.
  virtual ExecuteOutcome Render(const ExecuteFrames& frames, LogSink* log = nullptr) = 0;
  // Why the store could not be used by the last frame: empty when it
  // could, or when the renderer does not read the store per frame.
  virtual std::string StoreFailureOfFrame() { return {}; }
  // Draws the comb map over every frame from now on; false when this
  // renderer cannot (the Windows plug-in has no such switch).
  virtual bool ShowCombMap() { return false; }
  // Whether renderers of this kind may render on several threads at once;
  // not those that render with the plug-in's module state (its settings
  // and region list), which serves one call at a time.
  virtual bool RendersOnSeveralThreads() const { return true; }
};

// A renderer that reads the store for every frame as the plug-in does.
// Null with `error` set when the renderer cannot be had.
std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string* error);

// A renderer for one of a render's threads. Native renderers render with
// `store`, read once at the render's start, and may run on several
// threads at once; the Windows build's renders through the plug-in, which
// reads the store itself and renders on one thread only.
std::unique_ptr<FrameRenderer> MakeFrameRenderer(const RenderStore& store, std::string* error);

// A renderer of `store`, read once at a render's start, that may run on
// several threads at once: native builds render with it, and every build
// has it.
std::unique_ptr<FrameRenderer> MakeSettingRenderer(const RenderStore& store);

// The most renderers a render may run at once.
unsigned MaxRenderThreads();

// Whether methods 0 to 5 render through fieldrestore.prm (the Windows
// build), which reads its settings from the store itself.
bool RendersThroughPlugin();
