// The "region" subcommands of the fieldrestore command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Usage lines of the region subcommands.
extern const char* const kRegionUsage;

// Runs "region ..." (`args` starts with "region"); returns the exit code:
// 0, 1 when the command failed (a rejected rectangle, a file that cannot be
// saved or loaded, an unknown id) or 2 for a malformed command.
int RunRegionCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
