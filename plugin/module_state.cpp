// Module-level state and the process-attach check.
#include "plugin/module_state.h"

#include "platform/system.h"
#include "region/rect_list.h"

void* g_instance = nullptr;
DeinterlaceParameters g_settings;
CRectList* g_rectList = nullptr;

int32_t HandleDllEntry(void* instance, uint32_t reason, const platform::CpuProbe& probe) {
  if (reason != kReasonProcessAttach) return 1;
  g_instance = instance;
  if (!platform::HasMmx(probe)) {
    platform::ShowMessageBox(kNoMmxText, kNoMmxCaption);
    platform::SetLastErrorCode(kErrorNoMmx);
    return 0;
  }
  return 1;
}

ScopedRectList::ScopedRectList() { g_rectList = new CRectList; }

ScopedRectList::~ScopedRectList() {
  delete g_rectList;
  g_rectList = nullptr;
}
