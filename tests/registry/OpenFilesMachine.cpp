#include "registry/OpenFilesMachine.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "app/FileIO.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "app/Uop.h"
#include "registry/Registry.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

namespace quillotide::test {

namespace {

namespace fs = std::filesystem;
using Op = MachineStep::Op;

// An entry of no family this program knows, as a client's housing data is: every save into a
// container that holds it must keep it.
constexpr std::uint64_t kForeignHash = 0x5EEDF00DCAFEBEEFULL;
const Bytes kForeignPayload = {'h', 'o', 'u', 's', 'i', 'n', 'g'};

// The region of the world the edits touch and the checks read: the whole sample world would cost
// a second a step.
constexpr int kEditSide = 16;
constexpr int kWorld = sample::kSampleWorldSize;

struct Family {
  std::string id;
  std::vector<std::string> mul;  // file names in a folder, index first
  std::string uop;               // the container's name; empty when there is none
};

const std::vector<Family>& machineFamilies() {
  static const std::vector<Family> families = {
      {"Art", {"artidx.mul", "art.mul"}, "artLegacyMUL.uop"},
      {"Hues", {"hues.mul"}, ""},
      {"Multis", {"multi.idx", "multi.mul"}, "MultiCollection.uop"},
      {"Map", {"map0.mul"}, "map0LegacyMUL.uop"},
      {"Statics", {"staidx0.mul", "statics0.mul"}, ""},
  };
  return families;
}

// What a model of a family holds, as text lines: the part of it the machine edits and checks.
using Content = std::vector<std::string>;

std::string hex(const Bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

Content contentOf(Registry& r, const std::string& id) {
  Content c;
  if (id == "Art") {
    for (int s = 0; s < 48; ++s) {
      const auto data = r.art->staticData(s);
      c.push_back(data ? hex(*data) : "-");
    }
  } else if (id == "Hues") {
    for (int e = 0; e < std::min(r.hues->hueCount(), 16); ++e)
      c.push_back(r.hues->entry(e)->nameText());
  } else if (id == "Multis") {
    for (int s = 0; s < 6; ++s) {
      std::ostringstream line;
      for (const MultiComponent& m : r.multis->components(s))
        line << m.id << ',' << m.x << ',' << m.y << ',' << m.z << ',' << m.flags << ';';
      c.push_back(line.str());
    }
  } else if (id == "Map") {
    for (int x = 0; x < kEditSide; ++x)
      for (int y = 0; y < kEditSide; ++y) {
        const auto cell = r.map->cell(x, y);
        c.push_back(cell ? std::to_string(cell->tileId) + ":" + std::to_string(cell->z) : "-");
      }
  } else if (id == "Statics") {
    for (int x = 0; x < kEditSide; ++x)
      for (int y = 0; y < kEditSide; ++y) {
        std::ostringstream line;
        for (const TItem& i : r.statics->itemsAt(x, y))
          line << i.tileId << ',' << int(i.z) << ',' << i.hue << ';';
        c.push_back(line.str());
      }
  }
  return c;
}

std::string folderName(int folder) { return folder == 0 ? "A" : folder == 1 ? "B" : "C"; }

// A file's identity and state as cheap facts: a write in place changes the time, a replacement
// the inode.
struct Stamp {
  bool exists = false;
  std::uint64_t inode = 0, size = 0;
  std::int64_t mtime = 0;
  bool operator==(const Stamp&) const = default;
};
Stamp stampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, static_cast<std::uint64_t>(st.st_ino), static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The two client folders every run starts from, written once per process.
const std::string& templateFolder() {
  static TempDir dir;
  static bool made = false;
  if (!made) {
    for (int k = 0; k < 2; ++k) {
      const std::string d = dir.file(folderName(k));
      fs::create_directories(d);
      sample::writeSampleSet(d);
      sample::writeUopForms(d);
      Registry r;
      // Folder B differs from A in everything the machine reads, so files of one folder paired
      // with the other's show.
      if (k == 1) {
        r.hues->load(d + "/hues.mul");
        r.hues->setHueName(1, "folder B");
        r.hues->save(d + "/hues.mul");
        r.art->load(d + "/artidx.mul", d + "/art.mul", StorageMode::Memory);
        r.art->importStatic(2, exactPicture(5, 7, 99));
        r.art->save(d + "/artidx.mul", d + "/art.mul");
        r.art->saveUop(d + "/artLegacyMUL.uop");
        r.map->open(d + "/map0.mul", kWorld, kWorld);
        r.map->setTileId(1, 1, 0x44);
        r.map->saveChangedBlocks();
        r.map->saveUop(d + "/map0LegacyMUL.uop");
      }
      for (const Family& f : machineFamilies())
        if (!f.uop.empty()) {
          UopContainer c = UopContainer::read(d + "/" + f.uop);
          c.setPayload(kForeignHash, kForeignPayload);
          c.save(d + "/" + f.uop);
        }
    }
    fs::create_directories(dir.file("C"));
    made = true;
  }
  return dir.path();
}

class ScriptedQuestions : public OpenFiles::Questions {
public:
  OpenFiles::Answer answer = OpenFiles::Answer::Save;
  std::vector<std::string> asked;
  std::vector<std::pair<std::string, OpenFiles::Reason>> reasons;
  bool discarded = false;
  OpenFiles::Answer unsavedEdits(const std::vector<std::string>& families,
                                 OpenFiles::Reason why) override {
    asked.insert(asked.end(), families.begin(), families.end());
    for (const std::string& f : families) reasons.emplace_back(f, why);
    if (answer == OpenFiles::Answer::Discard && why != OpenFiles::Reason::ToolReads)
      discarded = true;
    return answer;
  }
};

// The reference of one family: what its model must hold and what its files hold.
struct Ref {
  bool open = false;
  std::vector<std::string> paths;
  bool uop = false;
  Content model;        // the model: its files plus the unsaved edits
  bool dirty = false;   // edited since the last open or save
  Content saved;        // what its files hold
  // Edits its files lack (an edit that restores what the files hold is none).
  bool unsaved() const { return open && model != saved; }
};

class Machine {
public:
  Machine(bool lowMemory) {
    const std::string& from = templateFolder();
    for (int k = 0; k < 3; ++k)
      fs::copy(from + "/" + folderName(k), m_dir.file(folderName(k)), fs::copy_options::recursive);
    fs::create_directory_symlink(m_dir.file("A"), m_dir.file("A-link"));
    fs::create_directory_symlink(m_dir.file("B"), m_dir.file("B-link"));
    m_registry.lowMemory = lowMemory;
    m_refs.resize(machineFamilies().size());
    snapshot();
  }

  // Runs one step; the failure's text, or empty.
  std::string step(const MachineStep& s) {
    m_questions.answer = static_cast<OpenFiles::Answer>(s.answer);
    m_questions.asked.clear();
    m_questions.reasons.clear();
    m_questions.discarded = false;
    std::vector<std::string> named;
    m_pathsBefore.clear();
    for (const Ref& r : m_refs) m_pathsBefore.push_back(r.paths);
    std::string failure;
    try {
      failure = run(s, named);
    } catch (const std::exception& e) {
      failure = std::string("the step threw: ") + e.what();
    }
    if (!failure.empty()) return failure;
    // Other families a tool or a save passed by: saved as answered, or read again from their
    // files without their edits.
    if (s.op == Op::ToolWrite || s.op == Op::ToolRead || s.op == Op::SaveAs)
      for (const auto& [id, why] : m_questions.reasons)
        for (std::size_t k = 0; k < m_refs.size(); ++k) {
          if (machineFamilies()[k].id != id || static_cast<int>(k) == s.family) continue;
          Ref& r = m_refs[k];
          if (s.answer == 0) r.saved = r.model;
          else if (s.answer == 1 && why != OpenFiles::Reason::ToolReads) r.model = r.saved;
        }
    // A question answered "Save" writes the files of the families it named.
    if (s.answer == 0)
      for (std::size_t k = 0; k < m_refs.size(); ++k)
        if (std::count(m_questions.asked.begin(), m_questions.asked.end(),
                       machineFamilies()[k].id))
          named.insert(named.end(), m_pathsBefore[k].begin(), m_pathsBefore[k].end());
    return check(named);
  }

private:
  std::string pathOf(int folder, bool link, const std::string& name) const {
    return m_dir.file(folderName(folder) + (link && folder < 2 ? "-link" : "")) + "/" + name;
  }
  std::vector<std::string> filesOf(const Family& f, int folder, bool uop, bool link) const {
    std::vector<std::string> paths;
    if (uop && !f.uop.empty()) return {pathOf(folder, link, f.uop)};
    for (const std::string& n : f.mul) paths.push_back(pathOf(folder, link, n));
    return paths;
  }
  // The targets a save as names: a container in every place of a pair.
  std::vector<std::string> targetsOf(const Family& f, int folder, bool uop, bool link) const {
    std::vector<std::string> paths = filesOf(f, folder, uop, link);
    if (uop && !f.uop.empty()) paths.assign(f.mul.size(), paths.front());
    return paths;
  }

  // What files hold, read by a model of their own from copies (the owner's models may hold the
  // files locked); kept while the files are unchanged.
  Content contentOfFiles(const std::string& id, const std::vector<std::string>& paths) {
    std::string key = id;
    for (const std::string& p : paths) {
      const Stamp st = stampOf(p);
      key += "|" + fs::weakly_canonical(p).string() + ":" + std::to_string(st.inode) + ":" +
             std::to_string(st.size) + ":" + std::to_string(st.mtime);
    }
    if (const auto it = m_contentCache.find(key); it != m_contentCache.end()) return it->second;
    TempDir copies;
    std::vector<std::string> copied;
    for (const std::string& p : paths) {
      const std::string to = copies.file(fs::path(p).filename().string());
      if (!fileExists(to)) fs::copy_file(p, to);
      copied.push_back(to);
    }
    Registry fresh;
    OpenFiles::FixedAnswer none(OpenFiles::Answer::Cancel);
    fresh.openFiles().open(id, copied, {kWorld, kWorld}, none);
    return m_contentCache[key] = contentOf(fresh, id);
  }

  void snapshot() {
    m_stamps.clear();
    for (const auto& entry : fs::recursive_directory_iterator(m_dir.path()))
      if (entry.is_regular_file()) m_stamps[entry.path().string()] = stampOf(entry.path().string());
  }

  // Whether the family itself (not another one) holds one of the files.
  bool holds(const std::string& id, const std::vector<std::string>& paths) {
    const auto holders = m_registry.openFiles().holders(paths);
    return std::count(holders.begin(), holders.end(), id) > 0;
  }

  bool cancelled(const MachineStep& s) const { return s.answer == 2 && !m_questions.asked.empty(); }

  std::string run(const MachineStep& s, std::vector<std::string>& named) {
    const Family& f = machineFamilies()[static_cast<std::size_t>(s.family)];
    Ref& ref = m_refs[static_cast<std::size_t>(s.family)];
    OpenFiles& owner = m_registry.openFiles();
    Progress silent;
    switch (s.op) {
      case Op::Open: {
        if (s.folder == 2) return {};
        const auto paths = filesOf(f, s.folder, s.uop, s.viaLink);
        // Files that hold what the model holds lose nothing when opened in its place.
        const bool wasDirty = ref.unsaved() && contentOfFiles(f.id, paths) != ref.model;
        const auto result = owner.open(f.id, paths, {kWorld, kWorld}, m_questions);
        if (!result.opened) return cancelled(s) ? "" : "an open was refused without a cancel";
        if (wasDirty && m_questions.asked.empty()) return "an open passed unsaved edits unasked";
        settleReference(s, {s.family});
        ref = {true, paths, s.uop && !f.uop.empty(), {}, false, {}};
        ref.model = contentOf(m_registry, f.id);
        ref.saved = ref.model;
        if (contentOfFiles(f.id, paths) != ref.model)
          return "the model opened does not hold the files named";
        return {};
      }
      case Op::Edit: {
        if (!ref.open) return {};
        edit(f.id, s.value);
        ref.model = contentOf(m_registry, f.id);
        // Art held open writes every change into its files at once.
        const auto* open = owner.opened(f.id);
        if (open && open->form == FileForm::InPlace && f.id == "Art") {
          named = ref.paths;
          ref.saved = ref.model;
        } else {
          ref.dirty = true;
        }
        return {};
      }
      case Op::Save: {
        if (!ref.open) return {};
        owner.save(f.id, silent);
        named = ref.paths;
        ref.dirty = false;
        ref.saved = ref.model;
        return {};
      }
      case Op::SaveAs: {
        if (!ref.open) return {};
        const bool uop = s.uop && !f.uop.empty();
        auto targets = targetsOf(f, s.folder, uop, s.viaLink);
        // Now and then into the container of the other family that has one beside it, which
        // that family may hold open: its entries must stay.
        const bool foreign = uop && (s.value & 2) && (f.id == "Art" || f.id == "Multis");
        if (foreign)
          targets.assign(f.mul.size(),
                         pathOf(s.folder, s.viaLink,
                                f.id == "Art" ? "MultiCollection.uop" : "artLegacyMUL.uop"));
        const std::optional<bool> form =
            f.uop.empty() ? std::nullopt : std::optional<bool>(uop);
        const auto* before = owner.opened(f.id);
        // Held open in Low Memory, what waits is written into the own files first (the map,
        // which is always held open, writes itself to the targets instead).
        const bool wasInPlace = before && before->form == FileForm::InPlace && f.id != "Map";
        const bool wasUop = before && before->form == FileForm::Container;
        // "Save as" binds the family to the targets; "Save" into chosen files does not.
        const bool rebind = (s.value & 1) != 0;
        const auto result = owner.saveAs(f.id, targets, form, m_questions, silent, rebind);
        if (!result.ran) return cancelled(s) ? "" : "a save as did not run without a cancel";
        named = targets;
        // Files held open get what waits before they are copied.
        if (wasInPlace) named.insert(named.end(), ref.paths.begin(), ref.paths.end());
        const auto written =
            foreign ? std::vector<std::string>{targets.front()} : filesOf(f, s.folder, uop, s.viaLink);
        bool overlaps = false;
        for (const auto& t : written)
          for (const auto& p : ref.paths) overlaps = overlaps || sameTarget(t, p);
        const bool ownInSameForm = overlaps && uop == wasUop;
        if (contentOf(m_registry, f.id) != ref.model) return "the model changed by a save as";
        if (contentOfFiles(f.id, written) != ref.model)
          return "the files saved as do not hold the model";
        if (ownInSameForm || wasInPlace) ref.saved = ref.model;
        if (rebind || (overlaps && wasInPlace) || (overlaps && f.id == "Map")) {
          ref.paths = written;
          ref.uop = uop;
          ref.saved = ref.model;
        }
        const auto* open = owner.opened(f.id);
        if (!open || open->paths.size() != ref.paths.size() ||
            !sameTarget(open->paths.front(), ref.paths.front()))
          return "the family is not bound to the files the reference expects";
        return {};
      }
      case Op::ToolWrite: {
        // A whole-file tool that rewrites the family's files of a folder as a rebuild or a patch
        // does: it reads them, changes them and replaces them.
        if (s.folder == 2) return {};
        const auto paths = filesOf(f, s.folder, s.uop, s.viaLink);
        const bool held = holds(f.id, paths);
        const bool wasDirty = held && ref.unsaved();
        Content seen;
        const auto result = owner.runTool({{}, paths}, m_questions, [&] {
          Registry tool;
          tool.openFiles().open(f.id, paths, {kWorld, kWorld}, m_questions);
          seen = contentOf(tool, f.id);
          edit(tool, f.id, s.value);
          Progress quiet;
          tool.openFiles().save(f.id, quiet);
          tool.openFiles().closeAll(m_questions);
        });
        if (!result.ran) return cancelled(s) ? "" : "a tool did not run without a cancel";
        named = paths;
        if (held) {
          if (wasDirty && m_questions.asked.empty()) return "a tool passed unsaved edits unasked";
          if (wasDirty && s.answer == 0 && seen != ref.model)
            return "the tool did not see the edits saved first";
          if (!result.notReopened.empty()) return "a holder was not read again";
          if (!owner.isOpen(f.id)) return "the holder is not open after the tool";
          ref.model = contentOf(m_registry, f.id);
          ref.saved = ref.model;
          ref.dirty = false;
          if (contentOfFiles(f.id, ref.paths) != ref.model)
            return "the holder was not read again from the files it let go";
        }
        return {};
      }
      case Op::ToolRead: {
        if (s.folder == 2) return {};
        const auto paths = filesOf(f, s.folder, s.uop, s.viaLink);
        const bool held = holds(f.id, paths);
        const bool wasDirty = held && ref.unsaved();
        Content seen;
        const auto result = owner.runTool({paths, {}}, m_questions, [&] {
          seen = contentOfFiles(f.id, paths);
        });
        if (!result.ran)
          return cancelled(s) ? "" : "a reading tool did not run without a cancel";
        if (wasDirty) {
          if (m_questions.asked.empty()) return "a reading tool passed unsaved edits unasked";
          if (s.answer == 0) {
            named = ref.paths;
            ref.dirty = false;
            ref.saved = ref.model;
            if (seen != ref.model) return "the reading tool did not see the edits saved first";
          } else if (seen != ref.saved) {
            return "the reading tool did not see the saved files";
          }
        }
        return {};
      }
      case Op::Folder: {
        if (s.folder == 2) return {};
        // Opens every family the folder holds (in the form the step says) and closes what is
        // open from the other folder.
        std::vector<OpenFiles::PlanStep> plan;
        std::vector<int> planned;
        for (std::size_t k = 0; k < machineFamilies().size(); ++k) {
          const Family& g = machineFamilies()[k];
          plan.push_back({g.id, filesOf(g, s.folder, s.uop, s.viaLink), {kWorld, kWorld}});
          planned.push_back(static_cast<int>(k));
        }
        bool anyDirty = false;
        for (int k : planned) anyDirty = anyDirty || m_refs[static_cast<std::size_t>(k)].unsaved();
        const auto result = owner.apply(plan, m_questions);
        if (!result.ran)
          return cancelled(s) ? "" : "a folder step did not run without a cancel";
        if (anyDirty && m_questions.asked.empty()) return "a folder passed unsaved edits unasked";
        if (!result.failed.empty()) return "a family of the folder failed: " + result.failed[0].second;
        settleReference(s, planned);
        for (std::size_t k = 0; k < plan.size(); ++k) {
          Ref& r = m_refs[static_cast<std::size_t>(planned[k])];
          const Family& g = machineFamilies()[static_cast<std::size_t>(planned[k])];
          r = {true, plan[k].paths, s.uop && !g.uop.empty(), {}, false, {}};
          r.model = contentOf(m_registry, g.id);
          r.saved = r.model;
          if (contentOfFiles(g.id, r.paths) != r.model)
            return "a family of the folder does not hold the folder's files";
        }
        return {};
      }
      case Op::Close: {
        if (!ref.open) return {};
        const bool wasDirty = ref.unsaved();
        if (!owner.close(f.id, m_questions))
          return cancelled(s) ? "" : "a close was refused without a cancel";
        if (wasDirty && m_questions.asked.empty()) return "a close passed unsaved edits unasked";
        settleReference(s, {s.family});
        ref = {};
        return {};
      }
    }
    return {};
  }

  // After a step that replaced or closed families: what an answer of Save wrote.
  void settleReference(const MachineStep& s, const std::vector<int>& families) {
    for (int k : families) {
      Ref& r = m_refs[static_cast<std::size_t>(k)];
      if (!r.unsaved()) continue;
      const std::string& id = machineFamilies()[static_cast<std::size_t>(k)].id;
      if (s.answer == 0 && std::count(m_questions.asked.begin(), m_questions.asked.end(), id)) {
        m_extraNamed.insert(m_extraNamed.end(), r.paths.begin(), r.paths.end());
        m_savedBeforeReplace.push_back({r.paths, r.model, id});
      }
    }
  }

  void edit(const std::string& id, std::uint32_t value) { edit(m_registry, id, value); }
  static void edit(Registry& r, const std::string& id, std::uint32_t value) {
    const int a = static_cast<int>(value % kEditSide);
    const int b = static_cast<int>((value / kEditSide) % kEditSide);
    if (id == "Art") {
      r.art->importStatic(static_cast<std::int64_t>(value % 40),
                          exactPicture(3 + a % 5, 3 + b % 5, static_cast<int>(value % 1000)));
    } else if (id == "Hues") {
      r.hues->setHueName(1 + a % 8, "edit " + std::to_string(value % 10000));
    } else if (id == "Multis") {
      r.multis->writeComponents(value % 5, {MultiComponent(static_cast<std::uint16_t>(value % 200),
                                                           static_cast<std::int16_t>(a - 8),
                                                           static_cast<std::int16_t>(b - 8), 0,
                                                           value % 2)});
    } else if (id == "Map") {
      r.map->setTileId(a, b, static_cast<std::uint16_t>(3 + value % 300));
    } else if (id == "Statics") {
      r.statics->add(static_cast<std::uint16_t>(0x10 + value % 40), a, b,
                     static_cast<int>(value % 20), 0);
    }
  }

  std::string check(std::vector<std::string> named) {
    named.insert(named.end(), m_extraNamed.begin(), m_extraNamed.end());
    m_extraNamed.clear();
    // Saves made because a question was answered "Save" must hold the model as it was.
    for (const auto& saved : m_savedBeforeReplace)
      if (contentOfFiles(saved.id, saved.paths) != saved.model) {
        m_savedBeforeReplace.clear();
        return "the edits saved before a replace are not in the files";
      }
    m_savedBeforeReplace.clear();
    // No file changed that the step did not name.
    std::map<std::string, Stamp> before = m_stamps;
    snapshot();
    for (const auto& [path, stamp] : m_stamps) {
      const auto it = before.find(path);
      const bool same = it != before.end() && it->second == stamp;
      if (same) continue;
      bool isNamed = false;
      for (const std::string& n : named) isNamed = isNamed || sameTarget(n, path);
      if (!isNamed) return "a file changed that the step did not name: " + path;
    }
    for (const auto& [path, stamp] : before)
      if (!m_stamps.count(path)) return "a file went away: " + path;
    // Every open model equals its files plus its unsaved edits; nothing unsaved lost unasked.
    OpenFiles& owner = m_registry.openFiles();
    for (std::size_t k = 0; k < m_refs.size(); ++k) {
      const Ref& r = m_refs[k];
      const std::string& id = machineFamilies()[k].id;
      if (owner.isOpen(id) != r.open)
        return id + (r.open ? " is closed but the reference holds it open"
                            : " is open but the reference holds it closed");
      if (!r.open) continue;
      if (contentOf(m_registry, id) != r.model) return id + ": the model lost or gained edits";
      if (r.unsaved() && !owner.unsaved(id)) return id + ": unsaved edits not reported";
      if (contentOfFiles(id, r.paths) != r.saved) return id + ": its files do not hold what was saved";
    }
    // The entries of other families in the folders' containers stay.
    for (int k = 0; k < 2; ++k)
      for (const Family& g : machineFamilies()) {
        if (g.uop.empty()) continue;
        const UopContainer c = UopContainer::read(pathOf(k, false, g.uop));
        const UopEntry* e = c.find(kForeignHash);
        if (!e || c.payload(*e) != kForeignPayload) return "an unknown entry went from " + g.uop;
      }
    return {};
  }

  struct SavedModel {
    std::vector<std::string> paths;
    Content model;
    std::string id;
  };
  TempDir m_dir;
  Registry m_registry;
  ScriptedQuestions m_questions;
  std::vector<Ref> m_refs;
  std::map<std::string, Stamp> m_stamps;
  std::vector<std::string> m_extraNamed;
  std::vector<SavedModel> m_savedBeforeReplace;
  std::map<std::string, Content> m_contentCache;
  std::vector<std::vector<std::string>> m_pathsBefore;
};

const char* opName(Op op) {
  switch (op) {
    case Op::Open: return "open";
    case Op::Edit: return "edit";
    case Op::Save: return "save";
    case Op::SaveAs: return "save-as";
    case Op::ToolWrite: return "tool-write";
    case Op::ToolRead: return "tool-read";
    case Op::Folder: return "folder";
    case Op::Close: return "close";
  }
  return "?";
}

}  // namespace

std::vector<MachineStep> machineSteps(std::uint64_t seed, int count) {
  Random random(seed);
  std::vector<MachineStep> steps;
  const auto families = static_cast<std::int64_t>(machineFamilies().size());
  for (int n = 0; n < count; ++n) {
    MachineStep s;
    // Edits and opens most often, so that there is something unsaved to lose.
    static const Op weights[] = {Op::Open,   Op::Open,      Op::Edit,     Op::Edit,   Op::Edit,
                                 Op::Edit,   Op::Save,      Op::SaveAs,   Op::SaveAs, Op::ToolWrite,
                                 Op::ToolRead, Op::Folder, Op::Close};
    s.op = weights[random.uniform(0, std::size(weights) - 1)];
    s.family = static_cast<int>(random.uniform(0, families - 1));
    s.folder = static_cast<int>(random.uniform(0, s.op == Op::SaveAs ? 2 : 1));
    s.uop = random.uniform(0, 1) == 1;
    s.viaLink = random.uniform(0, 3) == 0;
    s.answer = static_cast<int>(random.uniform(0, 2));
    s.value = static_cast<std::uint32_t>(random.uniform(0, 0xFFFFFF));
    steps.push_back(s);
  }
  return steps;
}

std::optional<MachineFailure> runMachine(const std::vector<MachineStep>& steps, bool lowMemory) {
  Machine machine(lowMemory);
  for (std::size_t n = 0; n < steps.size(); ++n) {
    const std::string failure = machine.step(steps[n]);
    if (!failure.empty())
      return MachineFailure{"step " + std::to_string(n + 1) + ": " + failure,
                            std::vector<MachineStep>(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(n) + 1)};
  }
  return std::nullopt;
}

MachineFailure shrinkMachine(const MachineFailure& failure, bool lowMemory) {
  MachineFailure best = failure;
  bool smaller = true;
  while (smaller) {
    smaller = false;
    for (std::size_t n = 0; n < best.steps.size(); ++n) {
      std::vector<MachineStep> fewer = best.steps;
      fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(n));
      if (const auto again = runMachine(fewer, lowMemory)) {
        best = *again;
        smaller = true;
        break;
      }
    }
  }
  return best;
}

std::string describeSteps(const std::vector<MachineStep>& steps) {
  std::ostringstream out;
  int n = 0;
  for (const MachineStep& s : steps) {
    const Family& f = machineFamilies()[static_cast<std::size_t>(s.family)];
    out << ++n << ". " << opName(s.op) << ' ' << f.id << " folder " << folderName(s.folder)
        << (s.viaLink ? " (through a link)" : "") << (s.uop ? " uop" : " mul") << " answer "
        << (s.answer == 0 ? "save" : s.answer == 1 ? "discard" : "cancel") << " value "
        << s.value << '\n';
  }
  return out.str();
}

}  // namespace quillotide::test
