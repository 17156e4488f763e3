// The open-files state machine as a program of its own, so that a longer run can be made by
// hand:  openfiles_machine --steps 20000 --seed 7   or   openfiles_machine --seeds 200
// Each seed runs with Low Memory off and on. On a failure it prints the seed and the shortest
// sequence of steps that still fails, and exits 1.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "registry/OpenFilesMachine.h"

int main(int argc, char** argv) {
  int steps = 300;
  std::uint64_t firstSeed = 1;
  int seeds = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--steps" && value) {
      steps = std::atoi(value);
      ++i;
    } else if (arg == "--seed" && value) {
      firstSeed = std::strtoull(value, nullptr, 10);
      seeds = 1;
      ++i;
    } else if (arg == "--seeds" && value) {
      seeds = std::atoi(value);
      ++i;
    } else {
      std::fprintf(stderr, "usage: openfiles_machine [--steps N] [--seed S | --seeds K]\n");
      return 2;
    }
  }
  long long total = 0;
  for (std::uint64_t seed = firstSeed; seed < firstSeed + static_cast<std::uint64_t>(seeds);
       ++seed)
    for (const bool lowMemory : {false, true}) {
      const auto sequence = quillotide::test::machineSteps(seed, steps);
      if (const auto failure = quillotide::test::runMachine(sequence, lowMemory)) {
        const auto shortest = quillotide::test::shrinkMachine(*failure, lowMemory);
        std::printf("FAILED: seed %llu, Low Memory %s: %s\nshortest sequence (%zu steps): %s\n%s",
                    static_cast<unsigned long long>(seed), lowMemory ? "on" : "off",
                    failure->message.c_str(), shortest.steps.size(), shortest.message.c_str(),
                    quillotide::test::describeSteps(shortest.steps).c_str());
        return 1;
      }
      total += steps;
    }
  std::printf("%lld steps over %d seeds, Low Memory off and on: no file changed unnamed, no "
              "edit lost unasked\n",
              total, seeds);
  return 0;
}
