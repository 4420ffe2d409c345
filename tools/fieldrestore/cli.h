// The fieldrestore command line: edits the stored settings and switches
// and, in the Windows build, queries the plug-in as a host does.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// Runs one command (`args` without the program name); returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Parses a 32-bit value written signed or unsigned, in decimal or with 0x
// in hexadecimal; -1 and 4294967295 are the same value.
bool ParseValue32(const std::string& text, uint32_t* value);
