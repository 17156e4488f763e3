#pragma once
// Malformed test inputs as one change of a valid file: cut by some bytes, a number set to what
// the bytes cannot back (a count inflated, an offset past the end, a length made odd), bytes
// appended. A table of `Defect`s names each change after the defect it makes, so a failing case
// says what was wrong with its input.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/IndexedFile.h"

namespace quillotide::test {

// Changes the bytes of a valid file in place.
using Mutation = std::function<void(Bytes&)>;

// Drops the last `n` bytes (all of them when there are fewer).
Mutation cutBy(std::size_t n);
// Keeps the first `size` bytes.
Mutation cutTo(std::size_t size);
// Little-endian numbers written over the bytes at `offset` (the file grows when they reach past
// its end).
Mutation setU8(std::size_t offset, std::uint8_t value);
Mutation setU16(std::size_t offset, std::uint16_t value);
Mutation setU32(std::size_t offset, std::uint32_t value);
Mutation setI32(std::size_t offset, std::int32_t value);
Mutation append(const Bytes& tail);
// The fields of record `slot` of an index file (12 bytes a record).
Mutation setRecord(std::int64_t slot, const IndexRecord& record);
Mutation setRecordLookup(std::int64_t slot, std::int32_t lookup);
Mutation setRecordLength(std::int64_t slot, std::int32_t length);
// Several changes, in order, as one defect.
Mutation all(std::vector<Mutation> steps);

// A copy of `valid` with the change made.
Bytes mutated(Bytes valid, const Mutation& mutation);

// One malformed case: `name` says the defect (a test name: letters, digits and underscores);
// `message` is a part of the refusal's text where the test checks it.
struct Defect {
  std::string name;
  Mutation mutate;
  std::string message = {};
};

// Names a parameterised test after its defect (for INSTANTIATE_TEST_SUITE_P).
struct DefectName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return info.param.name;
  }
};

// GoogleTest prints a defect by its name.
void PrintTo(const Defect& defect, std::ostream* out);

}  // namespace quillotide::test
