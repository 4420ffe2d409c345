// Builds without libpng (the Windows command line).
#include "tools/fieldrestore/sample_command.h"

bool WritePng(std::ostream&, const uint8_t*, int, int, std::string* error) {
  *error = "this build writes no PNG files; use the Linux fieldrestore";
  return false;
}
