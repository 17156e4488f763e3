#pragma once
// The program's pseudo-random generator, seeded from the clock at start; tests and the CLI's
// --seed give it a fixed seed so a rebuild is repeatable.

#include <chrono>
#include <cstdint>
#include <random>

namespace quillotide {

class Random {
public:
  Random() : m_engine(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}
  explicit Random(std::uint64_t seed) : m_engine(seed) {}
  void seed(std::uint64_t s) { m_engine.seed(s); }
  // Uniform in lo..hi, both included.
  std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(m_engine);
  }
  std::mt19937_64& engine() { return m_engine; }

private:
  std::mt19937_64 m_engine;
};

}  // namespace quillotide
