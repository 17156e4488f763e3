// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_idlist
//      build/fuzz/fuzz/fuzz_idlist /tmp/corpus-idlist -max_total_time=60
//
// Arbitrary text as the id-list file of "Extract IDs from File": every id read back is the number
// its line gives, and writing the ids one a line in hexadecimal reads back to the same ids.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/Text.h"
#include "models/IdList.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IdList list = parseIdList(text);
  std::string again;
  for (const std::int32_t id : list.ids) {
    again += "0x" + hexDigits(static_cast<std::uint32_t>(id)) + "\r\n";
    if (tryParseInt(std::to_string(id)) != id) std::abort();
  }
  const IdList back = parseIdList(again);
  if (back.ids != list.ids || back.error) std::abort();
  if (list.error && list.error->find("is not a valid integer value") == std::string::npos)
    std::abort();
  return 0;
}
