// Feeds arbitrary bytes to the configuration reader: it must never crash, and whatever it reads,
// whole or not, must be written so that it reads back whole and unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillotide::TConfig config;
  config.loadText(std::string(reinterpret_cast<const char*>(data), size));
  quillotide::TConfig again;
  if (!again.loadText(config.toText())) std::abort();
  if (again.entries().size() != config.entries().size()) std::abort();
  for (std::size_t i = 0; i < config.entries().size(); ++i)
    if (again.entries()[i].key != config.entries()[i].key ||
        again.entries()[i].value != config.entries()[i].value)
      std::abort();
  return 0;
}
