// A cliloc table of the size of the client's English one (200 000 entries, about 6 MB, texts of
// Latin, Chinese and Korean words): its load, save, word search and table export and import, each
// timed in the same loop as a plain read or write of the same bytes, so the ratio holds on a noisy
// machine.

#include <benchmark/benchmark.h>

#include <string>

#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "Compare.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

constexpr int kEntries = 200000;

struct Fixture {
  test::TempDir dir;
  std::string file = dir.file("Cliloc.enu");
  std::string table = dir.file("texts.tsv");
  Fixture() {
    const char* words[] = {"sword",        "shield", "Britain", "Café",  "crème",
                           "\xE4\xBD\xA0\xE5\xA5\xBD",  // 你好
                           "\xEC\x95\x88\xEB\x85\x95",  // 안녕
                           "~1_NAME~",     "of",     "the",     "Grüße", "\t"};
    Cliloc cliloc;
    cliloc.header = {2, 0, 0, 0, 1, 0};
    std::uint32_t x = 7;
    const auto next = [&x] { return x = x * 1103515245u + 12345u; };
    for (int i = 0; i < kEntries; ++i) {
      std::string text;
      const int n = 2 + static_cast<int>(next() >> 28);
      for (int w = 0; w < n; ++w) text += std::string(w ? " " : "") + words[(next() >> 16) % 12];
      cliloc.entries.push_back(
          {500000 + i * 3, static_cast<std::uint8_t>(next() >> 30 == 3 ? 2 : 0), text});
    }
    saveCliloc(file, cliloc);
    TCliloc model;
    model.load(file);
    model.exportTableFile(table);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_LoadOverRead(benchmark::State& state) {
  auto& f = fixture();
  bench::compareWithPlain(
      state, "load",
      [&] {
        TCliloc model;
        model.load(f.file);
        benchmark::DoNotOptimize(model.size());
      },
      [&] { benchmark::DoNotOptimize(readFile(f.file).size()); });
  state.counters["MB"] = static_cast<double>(fileSize(f.file)) / 1e6;
}
BENCHMARK(BM_LoadOverRead)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_SaveOverWrite(benchmark::State& state) {
  auto& f = fixture();
  TCliloc model;
  model.load(f.file);
  const Bytes bytes = readFile(f.file);
  bench::compareWithPlain(
      state, "save", [&] { model.save(f.dir.file("saved.enu")); },
      [&] { writeFileAtomic(f.dir.file("plain.enu"), bytes); });
}
BENCHMARK(BM_SaveOverWrite)->Unit(benchmark::kMillisecond)->Iterations(10);

// Two words through every text, beside one pass of a byte search for the first word over the
// file's bytes.
void BM_SearchOverScan(benchmark::State& state) {
  auto& f = fixture();
  TCliloc model;
  model.load(f.file);
  const Bytes bytes = readFile(f.file);
  const std::string needle = "britain";
  bench::compareWithPlain(
      state, "search",
      [&] { benchmark::DoNotOptimize(model.search("britain café").size()); },
      [&] {
        const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::size_t hits = 0;
        for (std::size_t at = all.find(needle); at != std::string_view::npos;
             at = all.find(needle, at + 1))
          ++hits;
        benchmark::DoNotOptimize(hits);
      });
}
BENCHMARK(BM_SearchOverScan)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_TableExportOverWrite(benchmark::State& state) {
  auto& f = fixture();
  TCliloc model;
  model.load(f.file);
  const Bytes text = readFile(f.table);
  bench::compareWithPlain(
      state, "export", [&] { model.exportTableFile(f.dir.file("out.tsv")); },
      [&] { writeFileAtomic(f.dir.file("plain.tsv"), text); });
}
BENCHMARK(BM_TableExportOverWrite)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_TableImportOverRead(benchmark::State& state) {
  auto& f = fixture();
  TCliloc model;
  model.load(f.file);
  bench::compareWithPlain(
      state, "import", [&] { benchmark::DoNotOptimize(model.importTableFile(f.table).unchanged); },
      [&] { benchmark::DoNotOptimize(readFile(f.table).size()); });
}
BENCHMARK(BM_TableImportOverRead)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
