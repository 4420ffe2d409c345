// Loading fieldrestore.prm as a host does and asking its constant queries.
#pragma once

#include <cstdint>
#include <string>

struct PluginQueryResult {
  int32_t selector4 = 0;
  int32_t selector5 = 0;
  int32_t selector6 = 0;
  uint32_t format_code = 0;
};

// False with `error` set when the plug-in cannot be loaded or has no
// xFilter, or when this build cannot host it.
bool QueryPlugin(const std::string& path, PluginQueryResult* result, std::string* error);

// Initialises the common controls as a host does, then calls the plug-in's
// setup selector, which runs its parameters dialog until the user closes
// it. False with `error` set when the plug-in cannot be loaded or this
// build cannot host it.
bool SetupPlugin(const std::string& path, std::string* error);

// The plug-in beside the running executable.
std::string DefaultPluginPath();
