// fieldrestore: command-line entry.
#include <iostream>
#include <new>

#include "tools/fieldrestore/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
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
