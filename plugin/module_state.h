// The plug-in's module-level state: the instance handle, the settings
// loaded by the current call and the current call's region list.
#pragma once

#include <cstdint>

#include "engine/deinterlace_parameters.h"
#include "platform/cpu.h"

class CRectList;

extern void* g_instance;
extern DeinterlaceParameters g_settings;
extern CRectList* g_rectList;

// The current host call's list, created for the length of a scope: loaded
// when the scope starts and deleted (which stores it) when it ends, also
// on an exception. g_rectList stays null when the memory cannot be had.
class ScopedRectList {
 public:
  ScopedRectList();
  ~ScopedRectList();
  ScopedRectList(const ScopedRectList&) = delete;
  ScopedRectList& operator=(const ScopedRectList&) = delete;
};

inline constexpr uint32_t kReasonProcessAttach = 1;
inline constexpr uint32_t kErrorNoMmx = 0x8004025B;
inline constexpr const char* kNoMmxText = "Your processor must support MMX instructions";
inline constexpr const char* kNoMmxCaption = "Quorvaline Deinterlace";

// The DLL entry's work: on process attach, records the instance and refuses
// to load (message box, last error kErrorNoMmx, result 0) on a processor
// without MMX. Every other reason is accepted at once. Returns 1 or 0.
int32_t HandleDllEntry(void* instance, uint32_t reason, const platform::CpuProbe& probe);
