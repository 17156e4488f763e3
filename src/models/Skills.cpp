#include "models/Skills.h"

#include <algorithm>
#include <cstring>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace {

constexpr std::size_t kEntrySize = 12;

std::string number(std::int64_t v) { return std::to_string(v); }

std::string storedName(const std::string& name) {
  if (name.empty()) throw Error("A skill needs a name.");
  const std::string bytes = toWindows1252(name);
  if (bytes.find('\0') != std::string::npos) throw Error("A name cannot hold a zero character.");
  return bytes;
}

}  // namespace

// ---- skills

void TSkills::load(const std::string& indexPath, const std::string& dataPath) {
  const Bytes index = readFile(indexPath);
  const Bytes data = readFile(dataPath);
  loadBytes(index, data);
}

void TSkills::loadBytes(std::span<const std::uint8_t> index, std::span<const std::uint8_t> data) {
  if (index.size() % kEntrySize != 0)
    throw FormatError(formatMessage("skills.idx holds %d bytes: no whole number of 12-byte entries.",
                                    {number(static_cast<std::int64_t>(index.size()))}));
  TSkills read;
  read.m_data.assign(data.begin(), data.end());
  const std::size_t n = index.size() / kEntrySize;
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // used records: [start, end)
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* e = index.data() + i * kEntrySize;
    Stored s{static_cast<std::int32_t>(loadU32(e)), static_cast<std::int32_t>(loadU32(e + 4)),
             loadU32(e + 8), false};
    SkillEntry skill;
    skill.used = s.lookup >= 0 && s.length > 0;
    if (skill.used) {
      const std::int64_t start = s.lookup;
      const std::int64_t end = start + s.length;
      if (end > static_cast<std::int64_t>(data.size()))
        throw FormatError(formatMessage(
            "Skill %d lies at %d..%d, past the end of skills.mul (%d bytes).",
            {number(static_cast<std::int64_t>(i)), number(start), number(end),
             number(static_cast<std::int64_t>(data.size()))}));
      ranges.emplace_back(start, end);
      skill.flag = data[static_cast<std::size_t>(start)];
      const std::string_view text(reinterpret_cast<const char*>(data.data()) + start + 1,
                                  static_cast<std::size_t>(s.length - 1));
      const std::size_t zero = text.find('\0');
      skill.name = fromWindows1252(text.substr(0, zero));
      if (zero == std::string_view::npos)
        read.m_problems.push_back(formatMessage("Skill %d ('%s') has no terminating zero.",
                                                {number(static_cast<std::int64_t>(i)), skill.name}));
      else if (zero + 1 != text.size())
        read.m_problems.push_back(formatMessage("Skill %d ('%s') holds a zero inside its name.",
                                                {number(static_cast<std::int64_t>(i)), skill.name}));
      if (skill.flag > 1)
        read.m_problems.push_back(formatMessage("Skill %d ('%s') has the flag %d (not 0 or 1).",
                                                {number(static_cast<std::int64_t>(i)), skill.name,
                                                 number(skill.flag)}));
    }
    read.m_skills.push_back(std::move(skill));
    read.m_stored.push_back(s);
  }
  std::sort(ranges.begin(), ranges.end());
  std::int64_t covered = 0, reach = 0, overlaps = 0;
  for (const auto& [start, end] : ranges) {
    if (start < reach) ++overlaps;
    covered += std::max<std::int64_t>(0, end - std::max(start, reach));
    reach = std::max(reach, end);
  }
  if (overlaps > 0)
    read.m_problems.push_back(
        formatMessage("%d records of skills.mul overlap others.", {number(overlaps)}));
  const auto uncovered = static_cast<std::int64_t>(data.size()) - covered;
  if (uncovered > 0)
    read.m_problems.push_back(
        formatMessage("%d bytes of skills.mul belong to no skill; they are kept.", {number(uncovered)}));
  read.m_loaded = true;
  *this = std::move(read);
}

void TSkills::loadDataOnly(std::span<const std::uint8_t> data) {
  Bytes index;
  std::size_t at = 0;
  while (at < data.size()) {
    const auto* zero = static_cast<const std::uint8_t*>(
        std::memchr(data.data() + at + 1, 0, data.size() - std::min(data.size(), at + 1)));
    if (at + 1 >= data.size() || !zero)
      throw FormatError(formatMessage(
          "The last record of skills.mul (at %d) ends without its terminating zero.",
          {number(static_cast<std::int64_t>(at))}));
    const std::size_t end = static_cast<std::size_t>(zero - data.data()) + 1;
    const std::size_t k = index.size();
    index.resize(k + kEntrySize);
    storeU32(index.data() + k, static_cast<std::uint32_t>(at));
    storeU32(index.data() + k + 4, static_cast<std::uint32_t>(end - at));
    storeU32(index.data() + k + 8, 0);
    at = end;
  }
  loadBytes(index, data);
}

Bytes TSkills::recordBytes(const SkillEntry& skill) {
  const std::string name = toWindows1252(skill.name);
  Bytes out;
  out.reserve(name.size() + 2);
  out.push_back(skill.flag);
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
  return out;
}

Bytes TSkills::indexBytes() const {
  // The same walk as dataBytes(): records that changed go to the end of the data, in id order.
  Bytes index(m_stored.size() * kEntrySize);
  std::int64_t end = static_cast<std::int64_t>(m_data.size());
  for (std::size_t i = 0; i < m_stored.size(); ++i) {
    Stored s = m_stored[i];
    if (s.changed) {
      if (m_skills[i].used) {
        s.lookup = static_cast<std::int32_t>(end);
        s.length = static_cast<std::int32_t>(recordBytes(m_skills[i]).size());
        end += s.length;
      } else {
        s.lookup = -1;
        s.length = 0;
      }
    }
    storeU32(index.data() + i * kEntrySize, static_cast<std::uint32_t>(s.lookup));
    storeU32(index.data() + i * kEntrySize + 4, static_cast<std::uint32_t>(s.length));
    storeU32(index.data() + i * kEntrySize + 8, s.extra);
  }
  return index;
}

Bytes TSkills::dataBytes() const {
  Bytes data = m_data;
  for (std::size_t i = 0; i < m_stored.size(); ++i)
    if (m_stored[i].changed && m_skills[i].used) {
      const Bytes record = recordBytes(m_skills[i]);
      data.insert(data.end(), record.begin(), record.end());
    }
  return data;
}

void TSkills::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!m_loaded) throw Error(notLoadedMessage("Skills"));
  requireDistinctTargets(indexPath, dataPath);
  const Bytes data = dataBytes();
  if (data.size() > 0x7FFFFFFF) throw Error("skills.mul would grow past 2 GB.");
  AtomicFile index(indexPath);
  AtomicFile mul(dataPath);
  index.write(indexBytes());
  mul.write(data);
  commitAll({&index, &mul});
  m_changed = false;
}

void TSkills::checkId(std::size_t id) const {
  if (!m_loaded) throw Error(notLoadedMessage("Skills"));
  if (id >= m_skills.size())
    throw Error(formatMessage("There is no skill %d: the list holds %d (0 to %d).",
                              {number(static_cast<std::int64_t>(id)),
                               number(static_cast<std::int64_t>(m_skills.size())),
                               number(static_cast<std::int64_t>(m_skills.size()) - 1)}));
}

const SkillEntry& TSkills::skill(std::size_t id) const {
  checkId(id);
  return m_skills[id];
}

std::uint32_t TSkills::extra(std::size_t id) const {
  checkId(id);
  return m_stored[id].extra;
}

void TSkills::setName(std::size_t id, const std::string& name) {
  checkId(id);
  storedName(name);
  if (!m_skills[id].used) throw Error(formatMessage("Skill %d is unused; add it first.", {number(static_cast<std::int64_t>(id))}));
  if (m_skills[id].name == name) return;
  m_skills[id].name = name;
  m_stored[id].changed = true;
  m_changed = true;
}

void TSkills::setFlag(std::size_t id, std::uint8_t flag) {
  checkId(id);
  if (flag > 1) throw Error("A skill's flag is 0 or 1.");
  if (!m_skills[id].used) throw Error(formatMessage("Skill %d is unused; add it first.", {number(static_cast<std::int64_t>(id))}));
  if (m_skills[id].flag == flag) return;
  m_skills[id].flag = flag;
  m_stored[id].changed = true;
  m_changed = true;
}

std::size_t TSkills::add(const std::string& name, std::uint8_t flag) {
  if (!m_loaded) throw Error(notLoadedMessage("Skills"));
  storedName(name);
  if (flag > 1) throw Error("A skill's flag is 0 or 1.");
  const auto unused = std::find_if(m_skills.begin(), m_skills.end(),
                                   [](const SkillEntry& s) { return !s.used; });
  const auto id = static_cast<std::size_t>(unused - m_skills.begin());
  if (unused == m_skills.end()) {
    m_skills.emplace_back();
    m_stored.push_back({-1, 0, 0, false});
  }
  m_skills[id] = {true, flag, name};
  m_stored[id].changed = true;
  m_changed = true;
  return id;
}

void TSkills::remove(std::size_t id) {
  checkId(id);
  if (!m_skills[id].used) return;
  m_skills[id] = {};
  m_stored[id].changed = true;
  m_changed = true;
}

// ---- skill groups

void TSkillGroups::load(const std::string& path) { loadBytes(readFile(path)); }

void TSkillGroups::loadBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4)
    throw FormatError("skillgrp.mul holds fewer than the 4 bytes of its group count.");
  const auto count = static_cast<std::int32_t>(loadU32(bytes.data()));
  if (count < 1)
    throw FormatError(formatMessage("skillgrp.mul gives %d groups; there is at least group 0.",
                                    {number(count)}));
  const std::uint64_t names = static_cast<std::uint64_t>(count - 1) * kNameBytes;
  if (4 + names > bytes.size())
    throw FormatError(formatMessage(
        "skillgrp.mul names %d groups, but their names run past its end (%d bytes).",
        {number(count), number(static_cast<std::int64_t>(bytes.size()))}));
  const std::size_t tableBytes = bytes.size() - 4 - static_cast<std::size_t>(names);
  if (tableBytes % 4 != 0)
    throw FormatError(formatMessage(
        "skillgrp.mul: the %d bytes after the %d group names are no whole number of group "
        "numbers.",
        {number(static_cast<std::int64_t>(tableBytes)), number(count - 1)}));
  TSkillGroups read;
  for (std::int32_t g = 1; g < count; ++g) {
    const std::uint8_t* p = bytes.data() + 4 + static_cast<std::size_t>(g - 1) * kNameBytes;
    read.m_names.emplace_back(p, p + kNameBytes);
    const auto* zero = std::find(p, p + kNameBytes, std::uint8_t{0});
    if (zero == p + kNameBytes)
      read.m_problems.push_back(formatMessage("The name of group %d has no terminating zero.",
                                              {number(g)}));
    else if (std::any_of(zero, p + kNameBytes, [](std::uint8_t b) { return b != 0; }))
      read.m_problems.push_back(formatMessage(
          "The name of group %d is followed by bytes other than zero; they are kept.", {number(g)}));
  }
  const std::uint8_t* table = bytes.data() + 4 + names;
  std::int64_t outside = 0;
  for (std::size_t k = 0; k < tableBytes / 4; ++k) {
    const auto g = static_cast<std::int32_t>(loadU32(table + 4 * k));
    if (g < 0 || g >= count) ++outside;
    read.m_table.push_back(g);
  }
  if (outside > 0)
    read.m_problems.push_back(formatMessage(
        "%d skills are in a group the file does not have (0 to %d).", {number(outside), number(count - 1)}));
  read.m_loaded = true;
  *this = std::move(read);
}

Bytes TSkillGroups::bytes() const {
  Bytes out(4);
  storeU32(out.data(), static_cast<std::uint32_t>(groupCount()));
  for (const auto& name : m_names) out.insert(out.end(), name.begin(), name.end());
  const std::size_t at = out.size();
  out.resize(at + 4 * m_table.size());
  for (std::size_t k = 0; k < m_table.size(); ++k)
    storeU32(out.data() + at + 4 * k, static_cast<std::uint32_t>(m_table[k]));
  return out;
}

void TSkillGroups::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Skill groups"));
  writeFileAtomic(path, bytes());
  m_changed = false;
}

std::string TSkillGroups::groupName(std::size_t group) const {
  if (group == 0 || group >= groupCount()) return {};
  const auto& field = m_names[group - 1];
  const auto zero = std::find(field.begin(), field.end(), std::uint8_t{0});
  return fromWindows1252(std::string_view(reinterpret_cast<const char*>(field.data()),
                                          static_cast<std::size_t>(zero - field.begin())));
}

std::int32_t TSkillGroups::groupOf(std::size_t skill) const {
  return skill < m_table.size() ? m_table[skill] : 0;
}

std::vector<std::uint8_t> TSkillGroups::nameField(const std::string& name) {
  const std::string bytes = toWindows1252(name);
  if (bytes.size() >= kNameBytes)
    throw Error(formatMessage("A group name holds at most 16 characters; '%s' has %d.",
                              {name, number(static_cast<std::int64_t>(bytes.size()))}));
  if (bytes.find('\0') != std::string::npos) throw Error("A name cannot hold a zero character.");
  std::vector<std::uint8_t> field(kNameBytes, 0);
  std::copy(bytes.begin(), bytes.end(), field.begin());
  return field;
}

void TSkillGroups::renameGroup(std::size_t group, const std::string& name) {
  if (!m_loaded) throw Error(notLoadedMessage("Skill groups"));
  if (group == 0 || group >= groupCount())
    throw Error(formatMessage("Groups 1 to %d have names; group 0 has none in the file.",
                              {number(static_cast<std::int64_t>(groupCount()) - 1)}));
  std::vector<std::uint8_t> field = nameField(name);
  if (groupName(group) == name) return;  // its stored bytes stay
  m_names[group - 1] = std::move(field);
  m_changed = true;
}

std::size_t TSkillGroups::addGroup(const std::string& name) {
  if (!m_loaded) throw Error(notLoadedMessage("Skill groups"));
  m_names.push_back(nameField(name));
  m_changed = true;
  return groupCount() - 1;
}

void TSkillGroups::removeGroup(std::size_t group) {
  if (!m_loaded) throw Error(notLoadedMessage("Skill groups"));
  if (group == 0 || group >= groupCount())
    throw Error(formatMessage("There is no group %d to delete (1 to %d; group 0 stays).",
                              {number(static_cast<std::int64_t>(group)),
                               number(static_cast<std::int64_t>(groupCount()) - 1)}));
  m_names.erase(m_names.begin() + static_cast<std::ptrdiff_t>(group - 1));
  const auto g = static_cast<std::int32_t>(group);
  for (std::int32_t& value : m_table) {
    if (value == g)
      value = 0;
    else if (value > g)
      --value;
  }
  m_changed = true;
}

void TSkillGroups::setGroupOf(std::size_t skill, std::size_t group) {
  if (!m_loaded) throw Error(notLoadedMessage("Skill groups"));
  if (group >= groupCount())
    throw Error(formatMessage("There is no group %d (0 to %d).",
                              {number(static_cast<std::int64_t>(group)),
                               number(static_cast<std::int64_t>(groupCount()) - 1)}));
  if (skill > 0xFFFF) throw Error("A skill number is 0 to 65535.");
  if (skill < m_table.size() && m_table[skill] == static_cast<std::int32_t>(group)) return;
  if (skill >= m_table.size()) m_table.resize(skill + 1, 0);
  m_table[skill] = static_cast<std::int32_t>(group);
  m_changed = true;
}

}  // namespace quillotide
