#include "support/Mutations.h"

#include <algorithm>
#include <ostream>

namespace quillotide::test {

namespace {

std::uint8_t* room(Bytes& bytes, std::size_t offset, std::size_t size) {
  if (bytes.size() < offset + size) bytes.resize(offset + size, 0);
  return bytes.data() + offset;
}

constexpr std::size_t kIndexRecordSize = 12;

std::size_t recordOffset(std::int64_t slot) {
  return static_cast<std::size_t>(slot) * kIndexRecordSize;
}

}  // namespace

Mutation cutBy(std::size_t n) {
  return [n](Bytes& b) { b.resize(b.size() - std::min(n, b.size())); };
}

Mutation cutTo(std::size_t size) {
  return [size](Bytes& b) { b.resize(std::min(size, b.size())); };
}

Mutation setU8(std::size_t offset, std::uint8_t value) {
  return [=](Bytes& b) { *room(b, offset, 1) = value; };
}

Mutation setU16(std::size_t offset, std::uint16_t value) {
  return [=](Bytes& b) { storeU16(room(b, offset, 2), value); };
}

Mutation setU32(std::size_t offset, std::uint32_t value) {
  return [=](Bytes& b) { storeU32(room(b, offset, 4), value); };
}

Mutation setI32(std::size_t offset, std::int32_t value) {
  return setU32(offset, static_cast<std::uint32_t>(value));
}

Mutation append(const Bytes& tail) {
  return [tail](Bytes& b) { b.insert(b.end(), tail.begin(), tail.end()); };
}

Mutation setRecord(std::int64_t slot, const IndexRecord& record) {
  return all({setI32(recordOffset(slot), record.lookup),
              setI32(recordOffset(slot) + 4, record.length),
              setI32(recordOffset(slot) + 8, record.extra)});
}

Mutation setRecordLookup(std::int64_t slot, std::int32_t lookup) {
  return setI32(recordOffset(slot), lookup);
}

Mutation setRecordLength(std::int64_t slot, std::int32_t length) {
  return setI32(recordOffset(slot) + 4, length);
}

Mutation all(std::vector<Mutation> steps) {
  return [steps = std::move(steps)](Bytes& b) {
    for (const auto& step : steps) step(b);
  };
}

Bytes mutated(Bytes valid, const Mutation& mutation) {
  mutation(valid);
  return valid;
}

void PrintTo(const Defect& defect, std::ostream* out) { *out << defect.name; }

}  // namespace quillotide::test
