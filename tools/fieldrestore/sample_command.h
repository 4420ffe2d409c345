// `fieldrestore sample` and `fieldrestore png`: a synthetic interlaced clip
// to try the filter on, and pictures of raw BGRA frames.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

extern const char* const kSampleUsage;

int RunSampleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPngCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Writes `width` x `height` packed BGRA pixels (top row first) as an RGB
// PNG. False with `error` set when the file cannot be written or this
// build has no PNG support.
bool WritePng(const std::string& path, const uint8_t* bgra, int width, int height,
              std::string* error);
