// The plug-in's execute call: the execute path (host/pipeline.h) with the
// module's settings, the call's region list and the log file.
#pragma once

#include <cstdint>

#include "host/pipeline.h"

// Renders one frame as the plug-in does: g_settings (reloaded on the way),
// the stored region, the log file and a workspace of its own. With
// `comb_map` set, a processed frame gets the comb map drawn over it (the
// command line's --show-map; the plug-in never sets it). Returns 0 on every
// path.
int32_t ExecuteFrame(const ExecuteFrames& frames, bool comb_map = false);
