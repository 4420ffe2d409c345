// The DLL entry: records the instance and refuses to load without MMX.
#include <windows.h>

#include "plugin/module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  try {
    return HandleDllEntry(instance, reason, platform::HardwareCpuProbe()) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}
