#pragma once
// What the benchmarks share: the clock, the sizes of files, and the loop that times an
// operation beside a plain read and write of the same bytes.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/FileIO.h"

namespace quillotide::bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The bytes of the files that exist.
inline std::uint64_t sizeOf(const std::vector<std::string>& paths) {
  std::uint64_t n = 0;
  for (const auto& p : paths) n += fileExists(p) ? fileSize(p) : 0;
  return n;
}

// Runs the operation and its plain counterpart in one loop, so the ratio comes from the same
// moments of a noisy machine; the counter "<name>/plain" is the operation's time over the plain
// one's.
template <class Operation, class Plain>
void compareWithPlain(benchmark::State& state, const std::string& name, Operation&& operation,
                      Plain&& plain) {
  double opSeconds = 0;
  double plainSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    operation();
    const auto t1 = Clock::now();
    plain();
    const auto t2 = Clock::now();
    opSeconds += seconds(t0, t1);
    plainSeconds += seconds(t1, t2);
  }
  state.counters[name + "/plain"] = plainSeconds > 0 ? opSeconds / plainSeconds : 0;
}

}  // namespace quillotide::bench
