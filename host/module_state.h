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

inline constexpr uint32_t kReasonProcessAttach = 1;
inline constexpr uint32_t kErrorNoMmx = 0x8004025B;
inline constexpr const char* kNoMmxText = "Your processor must support MMX instructions";
inline constexpr const char* kNoMmxCaption = "Quorvaline Deinterlace";

// The DLL entry's work: on process attach, records the instance and refuses
// to load (message box, last error kErrorNoMmx, result 0) on a processor
// without MMX. Every other reason is accepted at once. Returns 1 or 0.
int32_t HandleDllEntry(void* instance, uint32_t reason, const platform::CpuProbe& probe);
