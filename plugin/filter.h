// The exported entry point the host calls for every request.
#pragma once

#include <cstdint>

inline constexpr int16_t kSelectorExecute = 0;
inline constexpr int16_t kSelectorSetup = 1;
inline constexpr int16_t kSelectorQuery4 = 4;
inline constexpr int16_t kSelectorQuery5 = 5;
inline constexpr int16_t kSelectorFormat = 6;
inline constexpr int32_t kResultUnsupported = -100;

extern "C" int32_t xFilter(int16_t selector, char** theData);
