// Builds whose processor cannot run the 32-bit Windows plug-in.
#include "tools/fieldrestore/plugin_query.h"

std::string DefaultPluginPath() { return "fieldrestore.prm"; }

bool QueryPlugin(const std::string&, PluginQueryResult*, std::string* error) {
  *error = "query needs the Windows build (fieldrestore.exe), which hosts fieldrestore.prm";
  return false;
}

bool SetupPlugin(const std::string&, std::string* error) {
  *error = "setup needs the Windows build (fieldrestore.exe), which hosts fieldrestore.prm";
  return false;
}
