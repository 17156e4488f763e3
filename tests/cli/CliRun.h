#pragma once
// Runs quillotide-cli in-process and keeps what it printed, for the CLI tests.

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace quillotide::test {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

inline CliRun runCliWords(const std::vector<std::string>& words) {
  std::ostringstream out, err;
  const int code = cli::runCli(words, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace quillotide::test
