#include "models/IdList.h"

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

IdList parseIdList(std::string_view text) {
  IdList list;
  for (const std::string& line : splitLines(text)) {
    if (line.empty()) continue;
    const auto id = tryParseInt(line);
    if (!id) {
      list.error = formatMessage("'%s' is not a valid integer value", {line});
      break;
    }
    list.ids.push_back(*id);
  }
  return list;
}

IdList readIdList(const std::string& path) {
  const Bytes bytes = readFile(path);
  return parseIdList(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace quillotide
