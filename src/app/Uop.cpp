#include "app/Uop.h"

#include "app/FileIO.h"

namespace quillotide {

std::uint64_t uopHash(std::string_view) { return 0; }
std::string uopEntryName(UopFamily, std::uint32_t, std::uint32_t) { return {}; }
std::optional<std::string> uopKnownName(std::uint64_t) { return std::nullopt; }
std::uint32_t uopAdler32(std::span<const std::uint8_t>) { return 1; }

UopContainer UopContainer::read(const std::string& path) { return parse(readFile(path), path); }
UopContainer UopContainer::parse(std::span<const std::uint8_t>, const std::string&) {
  return create();
}
UopContainer UopContainer::create(std::uint32_t version, std::uint32_t capacity) {
  UopContainer c;
  c.m_version = version;
  c.m_capacity = capacity;
  return c;
}
std::size_t UopContainer::tableCount() const { return 1; }
const UopEntry* UopContainer::find(std::uint64_t) const { return nullptr; }
std::string UopContainer::describe(const UopEntry&) const { return {}; }
Bytes UopContainer::payload(const UopEntry& entry) const { return entry.stored; }
void UopContainer::setPayload(std::uint64_t, std::span<const std::uint8_t>, bool) {}
void UopContainer::remove(std::uint64_t) {}
Bytes UopContainer::serialize() const { return {}; }
void UopContainer::save(const std::string& path) const { writeFileAtomic(path, serialize()); }
std::optional<std::string> verifyUop(std::span<const std::uint8_t>) { return std::nullopt; }

}  // namespace quillotide
