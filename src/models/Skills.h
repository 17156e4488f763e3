#pragma once
// The skills list and its groups.
//
// TSkills: skills.idx / skills.mul. Index entry i (12 bytes: i32 lookup, i32 length, u32 extra)
// is skill i; a used entry points at a record of a flag byte (the skill has a "use" button) and
// the name with its terminating zero counted in the length. Real pairs store the records out of
// index order, so a save keeps every unchanged record at its lookup and appends what changed;
// the extra field (its meaning unknown) is kept as it is. A skills.mul without an index is read
// as its records one after another.
//
// TSkillGroups: skillgrp.mul. An i32 count N (groups 0..N-1), the names of groups 1..N-1 in 17
// zero-padded bytes each (group 0, "no group", has no stored name), then one i32 group number per
// skill to the end of the file.
//
// Names are 8-bit Windows-1252 text in the files and UTF-8 in these models.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

struct SkillEntry {
  bool used = false;
  std::uint8_t flag = 0;
  std::string name;  // UTF-8
  bool operator==(const SkillEntry&) const = default;
};

class TSkills {
public:
  // Reads the pair; throws FileError / FormatError (an index that is no whole number of
  // entries, a used entry past the end of skills.mul) and keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  void loadBytes(std::span<const std::uint8_t> index, std::span<const std::uint8_t> data);
  // skills.mul alone: its records one after another, skill 0 first. Refuses a last record without
  // its terminating zero.
  void loadDataOnly(std::span<const std::uint8_t> data);
  // Writes both files whole or neither.
  void save(const std::string& indexPath, const std::string& dataPath) const;
  Bytes indexBytes() const;
  Bytes dataBytes() const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }
  // Lines about what the load found but kept: names with a zero inside, flags other than 0 and
  // 1, records without their terminating zero, bytes no entry covers, records that overlap.
  const std::vector<std::string>& problems() const { return m_problems; }

  std::size_t size() const { return m_skills.size(); }
  const SkillEntry& skill(std::size_t id) const;
  std::uint32_t extra(std::size_t id) const;

  // Each throws Error for an id past the list, a flag other than 0 or 1, or a name that is empty,
  // holds a zero or a character Windows-1252 lacks; nothing changes then.
  void setName(std::size_t id, const std::string& name);
  void setFlag(std::size_t id, std::uint8_t flag);
  // The first unused entry, or a new one at the end; returns its id.
  std::size_t add(const std::string& name, std::uint8_t flag);
  // The entry becomes unused; later skills keep their numbers.
  void remove(std::size_t id);

private:
  struct Stored {
    std::int32_t lookup = -1;
    std::int32_t length = 0;
    std::uint32_t extra = 0;
    bool changed = false;  // its record is written anew at the end of the data
  };
  void checkId(std::size_t id) const;
  static Bytes recordBytes(const SkillEntry& skill);

  std::vector<SkillEntry> m_skills;
  std::vector<Stored> m_stored;
  Bytes m_data;  // skills.mul as loaded
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  mutable bool m_changed = false;
};

class TSkillGroups {
public:
  static constexpr std::size_t kNameBytes = 17;

  void load(const std::string& path);
  void loadBytes(std::span<const std::uint8_t> bytes);
  void save(const std::string& path) const;
  Bytes bytes() const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }
  // Table values outside the groups, names without a terminating zero, bytes after a name's zero.
  const std::vector<std::string>& problems() const { return m_problems; }

  // Groups 0..groupCount()-1; group 0 has no stored name and shows as "No group".
  std::size_t groupCount() const { return m_names.size() + 1; }
  std::string groupName(std::size_t group) const;
  // The group of each skill, in skill order.
  const std::vector<std::int32_t>& table() const { return m_table; }
  std::int32_t groupOf(std::size_t skill) const;

  // Throw Error for a group or skill out of range or a name longer than 16 bytes (or holding a
  // character Windows-1252 lacks); nothing changes then.
  void renameGroup(std::size_t group, const std::string& name);
  std::size_t addGroup(const std::string& name);
  // Its skills go to group 0, and the groups after it move down by one.
  void removeGroup(std::size_t group);
  // A skill past the table's end lengthens the table (the skills between join group 0).
  void setGroupOf(std::size_t skill, std::size_t group);

private:
  static std::vector<std::uint8_t> nameField(const std::string& name);

  std::vector<std::vector<std::uint8_t>> m_names;  // groups 1..N-1, 17 bytes each as stored
  std::vector<std::int32_t> m_table;
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  mutable bool m_changed = false;
};

}  // namespace quillotide
