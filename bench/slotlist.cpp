// Building the "Full Slots" list of 65 536 gump slots through the gump model's query, beside a
// plain pass over the same index bytes that applies the empty rule directly, so the cost of the
// list logic and the model query shows as a ratio.

#include <benchmark/benchmark.h>

#include "app/Bytes.h"
#include "app/SlotList.h"
#include "models/Gump.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

struct Fixture {
  test::TempDir dir;
  test::GeneratedPair pair = test::generatePair(0x10000, 8, 3);
  TGump gumps;
  Fixture() {
    test::writeBytes(dir.file("gumpidx.mul"), pair.index);
    test::writeBytes(dir.file("gumpart.mul"), pair.data);
    gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_PlainIndexPass(benchmark::State& state) {
  const Bytes& index = fixture().pair.index;
  for (auto _ : state) {
    std::vector<std::int32_t> lines;
    lines.reserve(0x10000);
    ByteReader reader(index);
    for (std::int32_t slot = 0; slot < 0x10000; ++slot) {
      const std::int32_t lookup = reader.readI32();
      const std::int32_t length = reader.readI32();
      reader.skip(4);
      if (lookup != -1 && length > 0) lines.push_back(slot);
    }
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetItemsProcessed(state.iterations() * 0x10000);
}

void BM_FullSlotsList(benchmark::State& state) {
  const TGump& gumps = fixture().gumps;
  for (auto _ : state) {
    auto lines = buildSlotList(0, 0xFFFF, SlotFilter::Full,
                               [&](std::int32_t slot) { return gumps.gumpExists(slot); });
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetItemsProcessed(state.iterations() * 0x10000);
}

void BM_AllSlotsLabels(benchmark::State& state) {
  // The labels of a whole list, as a search over every line makes them.
  for (auto _ : state) {
    std::size_t total = 0;
    for (std::int32_t slot = 0; slot < 0x10000; ++slot) total += slotLabel(slot).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * 0x10000);
}

}  // namespace

BENCHMARK(BM_PlainIndexPass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullSlotsList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllSlotsLabels)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
