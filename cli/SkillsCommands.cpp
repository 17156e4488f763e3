// The "skills" group (skills.idx / skills.mul) and the "skillgroups" group (skillgrp.mul). The
// files are opened through the owner of open files; a change is written back over them, or to
// --out-index/--out-data for the pair and --out for the groups. Names are Windows-1252 in the
// files: a character the code page lacks is refused and nothing is written.

#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Skills.h"

namespace quillotide::cli {

namespace {

// A skill, group or other record number: not negative.
std::size_t numberOf(const std::string& text, const char* what, const char* noun) {
  const std::int64_t n = parseIntArg(text, what);
  if (n < 0)
    throw Error("There is no " + std::string(noun) + " " + text + ": they are numbered from 0.");
  return static_cast<std::size_t>(n);
}

std::string skillName(std::size_t id) { return "Skill " + std::to_string(id); }

std::uint8_t flagOf(const std::string& text, const std::string& record) {
  const std::int64_t flag = parseIntArg(text, "--flag");
  if (flag < 0 || flag > 1)
    throw Error(record + ": a skill's flag is 0 or 1, not " + std::to_string(flag) + ".");
  return static_cast<std::uint8_t>(flag);
}

// ---- skills

TSkills& openedSkills(Registry& registry, const std::string& idx, const std::string& mul,
                      const Context& ctx) {
  openFamily(registry, "Skills", {idx, mul});
  ctx.noteProblems(mul, registry.skills->problems());
  return *registry.skills;
}

void saveSkills(Registry& registry, const PairTarget& target, const std::string& idx,
                const std::string& mul) {
  saveFamily(registry, "Skills", {target.indexPath(idx), target.dataPath(mul)});
}

Json skillJson(const TSkills& skills, std::size_t id) {
  const SkillEntry& s = skills.skill(id);
  return Json::Object{{"index", static_cast<std::int64_t>(id)},
                      {"flag", int{s.flag}},
                      {"name", s.name},
                      {"extra", skills.extra(id)}};
}

std::string skillText(const TSkills& skills, std::size_t id) {
  const SkillEntry& s = skills.skill(id);
  return std::to_string(id) + "\t" + std::to_string(int{s.flag}) + "\t" + s.name;
}

int listSkills(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TSkills& skills = openedSkills(registry, p[0], p[1], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (std::size_t id = 0; id < skills.size(); ++id) {
    if (!skills.skill(id).used) continue;
    rows.push_back(skillJson(skills, id));
    text << skillText(skills, id) << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

int saveSkillsCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  Registry registry;
  const TSkills& skills = openedSkills(registry, p[0], p[1], ctx);
  saveFamily(registry, "Skills", {p[2], p[3]});
  ctx.report(
      Json::Object{
          {"skills", static_cast<std::int64_t>(skills.size())}, {"index", p[2]}, {"data", p[3]}},
      "saved " + std::to_string(skills.size()) + " entries to " + p[2] + " and " + p[3]);
  return 0;
}

int editSkill(Args& args, Context& ctx) {
  const auto name = args.option("name");
  const auto flag = args.option("flag");
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(3, 3);
  if (!name && !flag) throw UsageError("Give --name, --flag or both.");
  const std::size_t id = numberOf(p[2], "INDEX", "skill");
  const std::uint8_t f = flag ? flagOf(*flag, skillName(id)) : 0;
  Registry registry;
  TSkills& skills = openedSkills(registry, p[0], p[1], ctx);
  skills.skill(id);  // a skill past the list is said in the model's words
  forRecord(skillName(id), [&] {
    if (name) skills.setName(id, *name);
    if (flag) skills.setFlag(id, f);
  });
  saveSkills(registry, target, p[0], p[1]);
  ctx.report(skillJson(skills, id), "skill " + skillText(skills, id) + "\nwritten to " +
                                        target.indexPath(p[0]) + " and " + target.dataPath(p[1]));
  return 0;
}

int addSkill(Args& args, Context& ctx) {
  const auto flag = args.option("flag");
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(3, 3);
  const std::uint8_t f = flag ? flagOf(*flag, "The new skill") : 0;
  Registry registry;
  TSkills& skills = openedSkills(registry, p[0], p[1], ctx);
  const std::size_t id = forRecord("The new skill", [&] { return skills.add(p[2], f); });
  saveSkills(registry, target, p[0], p[1]);
  ctx.report(skillJson(skills, id), "added skill " + skillText(skills, id) + "\nwritten to " +
                                        target.indexPath(p[0]) + " and " + target.dataPath(p[1]));
  return 0;
}

int deleteSkill(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(3, 3);
  const std::size_t id = numberOf(p[2], "INDEX", "skill");
  Registry registry;
  TSkills& skills = openedSkills(registry, p[0], p[1], ctx);
  if (!skills.skill(id).used)
    throw Error(skillName(id) + " is unused already; nothing was written.");
  skills.remove(id);
  saveSkills(registry, target, p[0], p[1]);
  ctx.report(Json::Object{{"deleted", static_cast<std::int64_t>(id)}},
             "deleted skill " + std::to_string(id) + " (later skills keep their numbers)");
  return 0;
}

// ---- skill groups

TSkillGroups& openedGroups(Registry& registry, const std::string& path, const Context& ctx) {
  openFamily(registry, "SkillGroups", {path});
  ctx.noteProblems(path, registry.skillGroups->problems());
  return *registry.skillGroups;
}

std::string groupName(std::size_t group) { return "Group " + std::to_string(group); }

int listGroups(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (std::size_t g = 0; g < groups.groupCount(); ++g) {
    rows.push_back(Json::Object{{"group", static_cast<std::int64_t>(g)},
                                {"name", groups.groupName(g)},
                                {"stored", g != 0}});
    text << "group " << g << ": "
         << (g == 0 ? std::string("(no group; its name is not stored in the file)")
                    : groups.groupName(g))
         << '\n';
  }
  Json::Array table;
  for (const std::int32_t g : groups.table()) table.emplace_back(g);
  for (std::size_t s = 0; s < groups.table().size(); ++s)
    text << "skill " << s << ": group " << groups.table()[s] << '\n';
  ctx.report(
      Json::Object{
          {"groups", rows}, {"skills", table}, {"problems", stringsJson(groups.problems())}},
      text.str());
  return 0;
}

int saveGroups(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  saveFamily(registry, "SkillGroups", {p[1]});
  ctx.report(Json::Object{{"groups", static_cast<std::int64_t>(groups.groupCount())},
                          {"skills", static_cast<std::int64_t>(groups.table().size())},
                          {"file", p[1]}},
             "saved " + std::to_string(groups.groupCount()) + " groups and " +
                 std::to_string(groups.table().size()) + " skills to " + p[1]);
  return 0;
}

int renameGroup(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(3, 3);
  const std::size_t g = numberOf(p[1], "GROUP", "group");
  Registry registry;
  TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  forRecord(groupName(g), [&] { groups.renameGroup(g, p[2]); });
  saveFamily(registry, "SkillGroups", {target.path(p[0])});
  ctx.report(Json::Object{{"group", static_cast<std::int64_t>(g)}, {"name", groups.groupName(g)}},
             "group " + std::to_string(g) + " is now " + groups.groupName(g));
  return 0;
}

int addGroup(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  const std::size_t g = forRecord("The new group", [&] { return groups.addGroup(p[1]); });
  saveFamily(registry, "SkillGroups", {target.path(p[0])});
  ctx.report(Json::Object{{"group", static_cast<std::int64_t>(g)}, {"name", groups.groupName(g)}},
             "added group " + std::to_string(g) + ": " + groups.groupName(g));
  return 0;
}

int deleteGroup(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  const std::size_t g = numberOf(p[1], "GROUP", "group");
  Registry registry;
  TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  groups.removeGroup(g);
  saveFamily(registry, "SkillGroups", {target.path(p[0])});
  ctx.report(Json::Object{{"deleted", static_cast<std::int64_t>(g)}},
             "deleted group " + std::to_string(g) +
                 "; its skills are in group 0 and the later groups moved down by one");
  return 0;
}

int moveSkill(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(3, 3);
  const std::size_t skill = numberOf(p[1], "SKILL", "skill");
  const std::size_t g = numberOf(p[2], "GROUP", "group");
  Registry registry;
  TSkillGroups& groups = openedGroups(registry, p[0], ctx);
  forRecord(skillName(skill), [&] { groups.setGroupOf(skill, g); });
  saveFamily(registry, "SkillGroups", {target.path(p[0])});
  ctx.report(Json::Object{{"skill", static_cast<std::int64_t>(skill)},
                          {"group", static_cast<std::int64_t>(g)}},
             "skill " + std::to_string(skill) + " is in group " + std::to_string(g));
  return 0;
}

}  // namespace

Group skillsGroup() {
  const std::string files = "SKILLS_IDX SKILLS_MUL";
  const std::string out = std::string(kPairTargetUsage) + " ";
  return {
      "skills",
      "The skills of skills.idx / skills.mul: per skill a flag (1: it has a use button) and a "
      "Windows-1252 name. A save keeps unchanged records where they are and appends what "
      "changed.",
      {
          {"list", files, "Every used skill in index order: index, flag and name.", listSkills},
          {"save", files + " NEW_IDX NEW_MUL",
           "Loads the pair and saves it to new files; an unchanged pair comes out as it was.",
           saveSkillsCommand},
          {"edit", "[--name NAME] [--flag 0|1] " + out + files + " INDEX",
           "Sets the name, the flag or both of a used skill and writes the pair.", editSkill},
          {"add", "[--flag 0|1] " + out + files + " NAME",
           "Adds a skill in the first unused entry (or a new one at the end) and writes the "
           "pair.",
           addSkill},
          {"delete", out + files + " INDEX",
           "Makes a skill's entry unused (later skills keep their numbers) and writes the pair.",
           deleteSkill},
      }};
}

Group skillGroupsGroup() {
  const std::string out = std::string(kFileTargetUsage) + " ";
  return {
      "skillgroups",
      "The skill groups of skillgrp.mul: the names of groups 1 and up (16 Windows-1252 "
      "characters at most; group 0, no group, has no stored name) and the group of each skill.",
      {
          {"list", "SKILLGRP", "Every group with its name, and the group of each skill.",
           listGroups},
          {"save", "SKILLGRP NEW",
           "Loads the file and saves it to NEW; an unchanged file comes out as it was.",
           saveGroups},
          {"rename", out + "SKILLGRP GROUP NAME", "Renames a group (1 and up).", renameGroup},
          {"add", out + "SKILLGRP NAME", "Adds a group after the last one.", addGroup},
          {"delete", out + "SKILLGRP GROUP",
           "Deletes a group: its skills go to group 0 and the later groups move down by one.",
           deleteGroup},
          {"move", out + "SKILLGRP SKILL GROUP",
           "Puts a skill in a group (a skill past the table lengthens it, the skills between in "
           "group 0).",
           moveSkill},
      }};
}

}  // namespace quillotide::cli
