// The Windows common controls (tooltips among them), which a host process
// loads and the plug-in relies on without loading them itself.
#pragma once

namespace platform {

// Loads and registers the common control classes as a host does. Does
// nothing off Windows.
void InitCommonControlsAsHost() noexcept;

}  // namespace platform
