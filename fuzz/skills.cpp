// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_skills
//      build/fuzz/fuzz/fuzz_skills /tmp/corpus-skills -max_total_time=60
//
// Arbitrary bytes as a skills pair (the first byte says how many 12-byte index entries come
// first; the rest is skills.mul), as skills.mul alone and as skillgrp.mul: each refused with a
// FormatError or read, an unchanged model writing its input back byte for byte, and an edited one
// reading back as it was edited.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Skills.h"

using namespace quillotide;

namespace {

bool same(const Bytes& a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void pair(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t indexBytes = std::min<std::size_t>(bytes[0] * 12u, bytes.size() - 1);
  const auto index = bytes.subspan(1, indexBytes);
  const auto data = bytes.subspan(1 + indexBytes);
  TSkills skills;
  try {
    skills.loadBytes(index, data);
  } catch (const FormatError&) {
    return;
  }
  if (!same(skills.indexBytes(), index) || !same(skills.dataBytes(), data)) std::abort();
  const std::size_t id = skills.add("Imbuing", 1);
  TSkills again;
  again.loadBytes(skills.indexBytes(), skills.dataBytes());
  if (!(again.skill(id) == skills.skill(id))) std::abort();
}

void dataOnly(std::span<const std::uint8_t> bytes) {
  TSkills skills;
  try {
    skills.loadDataOnly(bytes);
  } catch (const FormatError&) {
    return;
  }
  if (!same(skills.dataBytes(), bytes)) std::abort();
}

void groups(std::span<const std::uint8_t> bytes) {
  TSkillGroups g;
  try {
    g.loadBytes(bytes);
  } catch (const FormatError&) {
    return;
  }
  if (!same(g.bytes(), bytes)) std::abort();
  if (g.groupCount() > 1) g.removeGroup(1);
  g.setGroupOf(3, g.addGroup("Mystic"));
  TSkillGroups again;
  again.loadBytes(g.bytes());
  if (again.table() != g.table() || again.groupCount() != g.groupCount()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  pair(bytes);
  dataOnly(bytes);
  groups(bytes);
  return 0;
}
