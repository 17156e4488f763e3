#pragma once
// The id-list files of "Extract IDs from File": a text file of static ids, one a line, each read
// with the program's integer rule.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillotide {

struct IdList {
  // The ids in file order, up to the first line that is no number; empty lines are skipped.
  std::vector<std::int32_t> ids;
  // "'%s' is not a valid integer value" for that line; nullopt when every line held a number.
  // The ids before it are still to be used: the action stops at that line, not before it.
  std::optional<std::string> error;
};

// Lines end with CR LF, LF or CR.
IdList parseIdList(std::string_view text);
// The same for a file; throws FileError "Cannot open file %s" when it cannot be read.
IdList readIdList(const std::string& path);

}  // namespace quillotide
