// How the render command hands a frame to the execute path: straight to
// the pipeline (native builds) or through fieldrestore.prm, playing the
// host (the Windows build).
#pragma once

#include <memory>
#include <string>

#include "host/pipeline.h"

class FrameRenderer {
 public:
  virtual ~FrameRenderer() = default;
  virtual void Render(const ExecuteFrames& frames) = 0;
  // Draws the comb map over every frame from now on; false when this
  // renderer cannot (the Windows plug-in has no such switch).
  virtual bool ShowCombMap() { return false; }
};

// Null with `error` set when the renderer cannot be had.
std::unique_ptr<FrameRenderer> MakeFrameRenderer(std::string* error);
