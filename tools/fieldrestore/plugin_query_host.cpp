// Plays the host for the plug-in's query selectors: a per-call record of
// the host's layout reached through a handle, and xFilter called with it.
#include <vector>

#include "host/host_record.h"
#include "platform/dynamic_library.h"
#include "tools/fieldrestore/plugin_query.h"

namespace {
using XFilterFn = int32_t (*)(int16_t, char**);
}

std::string DefaultPluginPath() { return platform::ExecutableDirectory() + "\\fieldrestore.prm"; }

bool QueryPlugin(const std::string& path, PluginQueryResult* result, std::string* error) {
  platform::DynamicLibrary library;
  if (!library.Load(path)) {
    *error = "cannot load plug-in " + path + ": " + library.Error();
    return false;
  }
  auto filter = reinterpret_cast<XFilterFn>(library.Symbol("xFilter"));
  if (!filter) {
    *error = "plug-in " + path + " does not export xFilter";
    return false;
  }
  std::vector<char> rec(256, 0);
  char* record_ptr = rec.data();
  char** handle = &record_ptr;
  result->selector4 = filter(4, handle);
  result->selector5 = filter(5, handle);
  record::Write<int32_t>(record_ptr, record::kFormatQueryIndex, 0);
  result->selector6 = filter(6, handle);
  result->format_code = record::Read<uint32_t>(record_ptr, record::kFormatCode);
  return true;
}
