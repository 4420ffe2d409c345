// Common controls on Windows. Kept in a file of its own, so that only the
// programs that call it (never the plug-in) import comctl32.
#include <windows.h>
// The common-control headers build on windows.h.
#include <commctrl.h>

#include "platform/common_controls.h"

namespace platform {

void InitCommonControlsAsHost() noexcept {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace platform
