// fieldrestore: command-line entry.
#include <iostream>
#include <new>

#include "platform/new_file.h"
#include "tools/fieldrestore/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // An interrupted command leaves no new file behind.
  platform::RemoveNewFilesOnInterrupt();
  try {
    return RunCommandLine(args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "fieldrestore: out of memory\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "fieldrestore: " << e.what() << "\n";
    return 1;
  }
}
