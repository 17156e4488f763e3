#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  return quillotide::cli::runCli(words, std::cout, std::cerr);
}
