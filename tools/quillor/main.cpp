#include <iostream>
#include <string>
#include <vector>

#include "tools/quillor/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return quillor::RunCommandLine(args, std::cin, std::cout, std::cerr);
}
