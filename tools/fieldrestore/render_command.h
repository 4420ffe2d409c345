// `fieldrestore render`: raw BGRA frames through the execute path.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

extern const char* const kRenderUsage;

// args[0] is "render".
int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
