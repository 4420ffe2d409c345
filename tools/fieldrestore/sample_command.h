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
// PNG into `out`. False when the stream fails, or with `error` set when
// this build has no PNG support.
bool WritePng(std::ostream& out, const uint8_t* bgra, int width, int height, std::string* error);
