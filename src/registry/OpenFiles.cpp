#include "registry/OpenFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "app/Text.h"
#include "app/UopPair.h"
#include "registry/Registry.h"

namespace quillotide {

namespace {

using Message = FamilyOps::Message;
using Paths = FamilyOps::Paths;
template <class M>
using Member = std::unique_ptr<M> Registry::*;

// What a save says when the model had nothing to write (low-memory mode).
const std::string kNothingSaved =
    "Nothing was saved: in Low Memory mode every change is already written to the loaded files.";

std::string at(const Paths& p, std::size_t i) { return i < p.size() ? p[i] : std::string(); }

template <class M>
std::function<Message(Registry&, const Paths&, const OpenSize&)> loadFile(Member<M> m) {
  return [m](Registry& r, const Paths& p, const OpenSize&) -> Message {
    (r.*m)->load(at(p, 0));
    return std::nullopt;
  };
}
template <class M>
std::function<Message(Registry&, const Paths&, const OpenSize&)> loadPair(Member<M> m) {
  return [m](Registry& r, const Paths& p, const OpenSize&) -> Message {
    (r.*m)->load(at(p, 0), at(p, 1));
    return std::nullopt;
  };
}
template <class M>
std::function<Message(Registry&, const Paths&, Progress&)> saveFile(Member<M> m) {
  return [m](Registry& r, const Paths& p, Progress&) -> Message {
    (r.*m)->save(at(p, 0));
    return std::nullopt;
  };
}
template <class M>
std::function<Message(Registry&, const Paths&, Progress&)> savePair(Member<M> m) {
  return [m](Registry& r, const Paths& p, Progress&) -> Message {
    if (!(r.*m)->save(at(p, 0), at(p, 1))) return kNothingSaved;
    return std::nullopt;
  };
}
// A model held whole in memory: its save always writes both files.
template <class M>
std::function<Message(Registry&, const Paths&, Progress&)> saveWhole(Member<M> m) {
  return [m](Registry& r, const Paths& p, Progress&) -> Message {
    (r.*m)->save(at(p, 0), at(p, 1));
    return std::nullopt;
  };
}
template <class M>
std::function<bool(const Registry&)> loaded(Member<M> m) {
  return [m](const Registry& r) { return (r.*m) && (r.*m)->isLoaded(); };
}
template <class M>
std::function<bool(const Registry&)> readFromUop(Member<M> m) {
  return [m](const Registry& r) { return (r.*m)->isLoaded() && (r.*m)->isUop(); };
}
// A pair untouched since its load or last save: asking about it costs no scratch copy of files
// that may be hundreds of megabytes.
template <class M>
std::function<bool(const Registry&)> untouched(Member<M> m) {
  return [m](const Registry& r) { return !(r.*m)->files().changedSinceSaved(); };
}
// A model that counts its own edits since its load or last save.
template <class M>
std::function<bool(const Registry&)> unchanged(Member<M> m) {
  return [m](const Registry& r) { return !(r.*m)->isChanged(); };
}
template <class M>
std::function<bool(const Registry&)> heldOpen(Member<M> m) {
  return [m](const Registry& r) {
    return (r.*m)->isLoaded() && (r.*m)->files().mode() == StorageMode::LowMemory;
  };
}
template <class M>
std::function<void(Registry&)> fresh(Member<M> m) {
  return [m](Registry& r) { r.*m = std::make_unique<M>(); };
}

// One flat file held whole in memory.
template <class M>
FamilyOps flatFamily(const std::string& id, Member<M> m) {
  return {.id = id,
          .files = 1,
          .load = loadFile(m),
          .save = saveFile(m),
          .isLoaded = loaded(m),
          .pristine = unchanged(m),
          .release = fresh(m)};
}
template <class M>
FamilyOps animationFamily(const std::string& id, Member<M> m) {
  return {
      .id = id,
      .load = loadPair(m),
      .isLoaded = loaded(m),
      // Every change goes straight into the open files.
      .holdsOpen = loaded(m),
      .release = fresh(m),
  };
}

Message saveStatics(Registry& r, const Paths& p, Progress& progress) {
  const Message said = r.statics->save(at(p, 0), at(p, 1), StaticsSaveMode::StaticsOnly,
                                       r.worldFile.get(), progress);
  if (!said && r.statics->mode() == StorageMode::LowMemory) return kNothingSaved;
  return said;
}
// A container's multis carry cliloc lists that a MUL pair has no place for: such a save says
// how many it left out (the model words what a save of either form has to say).
Message saveMultis(Registry& r, const Paths& p, Progress&) {
  return r.multis->save(at(p, 0), at(p, 1)).said;
}

// Whether two files hold the same bytes; false when either cannot be read.
bool sameBytes(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> x(1 << 16), y(1 << 16);
  for (;;) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    const std::streamsize n = first.gcount();
    if (n != second.gcount() || !std::equal(x.begin(), x.begin() + n, y.begin())) return false;
    if (n == 0 || !first || !second) return first.eof() && second.eof() && !first.bad();
  }
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillotide-compare-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw FileError(formatMessage("Cannot create file %s", {pattern}));
    m_path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
  std::filesystem::path m_path;
};

bool contains(const std::vector<std::string>& ids, const std::string& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

std::string familyNames(const std::vector<std::string>& ids) {
  std::vector<std::string> names;
  for (const std::string& id : ids) {
    std::string name = id;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  if (names.empty()) return {};
  if (names.size() == 1) return names.front();
  std::string text;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) text += (i ? ", " : "") + names[i];
  return text + " and " + names.back();
}

const std::vector<FamilyOps>& OpenFiles::families() {
  using R = const Registry&;
  static const std::vector<FamilyOps> table = {
      animationFamily("Anim", &Registry::animation),
      {.id = "Verdata",
       .files = 1,
       .load = loadFile(&Registry::verdata),
       .save = saveFile(&Registry::verdata),
       .isLoaded = loaded(&Registry::verdata),
       .release = fresh(&Registry::verdata)},
      {.id = "Gumps",
       .takesUop = true,
       .load = loadPair(&Registry::gumps),
       .save = savePair(&Registry::gumps),
       .isLoaded = loaded(&Registry::gumps),
       .pristine = untouched(&Registry::gumps),
       .loadedAsUop = readFromUop(&Registry::gumps),
       .release = fresh(&Registry::gumps),
       .changedOnDisk = [](R r) { return r.gumps->changedOnDisk(); }},
      {.id = "Art",
       .takesUop = true,
       .load = [](Registry& r, const Paths& p, const OpenSize&) -> Message {
         // A container's changes wait for Save whatever the mode; the model says so in Low Memory.
         if (isUopPath(at(p, 0))) return r.art->loadUop(at(p, 0), r.pairMode());
         r.art->load(at(p, 0), at(p, 1), r.pairMode());
         return std::nullopt;
       },
       .save = savePair(&Registry::art),
       .isLoaded = loaded(&Registry::art),
       .savesInPlace = heldOpen(&Registry::art),
       .pristine = untouched(&Registry::art),
       .loadedAsUop = readFromUop(&Registry::art),
       .holdsOpen = heldOpen(&Registry::art),
       .release = fresh(&Registry::art),
       .changedOnDisk = [](R r) { return r.art->changedOnDisk(); }},
      {.id = "Textures",
       .load = [](Registry& r, const Paths& p, const OpenSize&) -> Message {
         r.textures->load(at(p, 0), at(p, 1), r.pairMode());
         return std::nullopt;
       },
       .save = savePair(&Registry::textures),
       .isLoaded = loaded(&Registry::textures),
       .savesInPlace = heldOpen(&Registry::textures),
       .pristine = untouched(&Registry::textures),
       .holdsOpen = heldOpen(&Registry::textures),
       .release = fresh(&Registry::textures)},
      {.id = "Radarcol",
       .files = 1,
       .load = loadFile(&Registry::radarcol),
       .save = saveFile(&Registry::radarcol),
       .isLoaded = loaded(&Registry::radarcol),
       .release = fresh(&Registry::radarcol)},
      {.id = "Light",
       .load = loadPair(&Registry::light),
       .save = savePair(&Registry::light),
       .isLoaded = loaded(&Registry::light),
       .pristine = untouched(&Registry::light),
       .release = fresh(&Registry::light)},
      {.id = "Tiledata",
       .files = 1,
       .load = loadFile(&Registry::tiledata),
       .save = saveFile(&Registry::tiledata),
       .isLoaded = loaded(&Registry::tiledata),
       .release = fresh(&Registry::tiledata)},
      animationFamily("Anim2", &Registry::anim2),
      animationFamily("Anim3", &Registry::anim3),
      animationFamily("Anim4", &Registry::anim4),
      animationFamily("Anim5", &Registry::anim5),
      {.id = "Animdata",
       .files = 1,
       .load = loadFile(&Registry::animdata),
       .save = saveFile(&Registry::animdata),
       .isLoaded = loaded(&Registry::animdata),
       .release = fresh(&Registry::animdata)},
      {.id = "Hues",
       .files = 1,
       .load = loadFile(&Registry::hues),
       .save = saveFile(&Registry::hues),
       .isLoaded = loaded(&Registry::hues),
       .release = fresh(&Registry::hues)},
      {.id = "Sound",
       .takesUop = true,
       .load = loadPair(&Registry::sound),
       .save = saveWhole(&Registry::sound),
       .isLoaded = loaded(&Registry::sound),
       .pristine = untouched(&Registry::sound),
       .loadedAsUop = readFromUop(&Registry::sound),
       .release = fresh(&Registry::sound),
       .changedOnDisk = [](R r) { return r.sound->changedOnDisk(); }},
      {.id = "Multis",
       .takesUop = true,
       .load = loadPair(&Registry::multis),
       .save = saveMultis,
       .isLoaded = loaded(&Registry::multis),
       .pristine = untouched(&Registry::multis),
       .loadedAsUop = readFromUop(&Registry::multis),
       .release = fresh(&Registry::multis),
       .changedOnDisk = [](R r) { return r.multis->changedOnDisk(); }},
      {.id = "Statics",
       .readsWorldSize = true,
       .load = [](Registry& r, const Paths& p, const OpenSize& size) -> Message {
         r.statics->open(at(p, 0), at(p, 1), size.width, size.height, r.pairMode());
         return std::nullopt;
       },
       .save = saveStatics,
       .isLoaded = loaded(&Registry::statics),
       .savesInPlace =
           [](R r) { return r.statics->isLoaded() && r.statics->mode() == StorageMode::LowMemory; },
       .unsaved = [](R r) { return r.statics->hasUnsavedChanges(); },
       .holdsOpen =
           [](R r) { return r.statics->isLoaded() && r.statics->mode() == StorageMode::LowMemory; },
       .release =
           [](Registry& r) {
             r.statics = std::make_unique<TStatics>(r.worldSources());
             r.wireWorldSources();
           }},
      {.id = "Map",
       .files = 1,
       .takesUop = true,
       .readsWorldSize = true,
       .load = [](Registry& r, const Paths& p, const OpenSize& size) -> Message {
         return r.map->open(at(p, 0), size.width, size.height);
       },
       .saveAs = [](Registry& r, const Paths& p, bool asUop) -> Message {
         if (asUop)
           r.map->saveUop(at(p, 0));
         else
           r.map->saveMul(at(p, 0));
         return std::nullopt;
       },
       .isLoaded = loaded(&Registry::map),
       .unsaved = [](R r) { return r.map->hasUnsavedChanges(); },
       .saveHeld = [](Registry& r) -> Message {
         return TMap::patchedMessage(r.map->saveChangedBlocks());
       },
       .loadedAsUop = [](R r) { return r.map->isLoaded() && r.map->isUop(); },
       // Every later patch writes into the file the map was opened from.
       .holdsOpen = [](R r) { return r.map->isLoaded(); },
       .release =
           [](Registry& r) {
             r.map = std::make_unique<TMap>(r.worldSources());
             r.wireWorldSources();
           },
       .changedOnDisk = [](R r) { return r.map->changedOnDisk(); }},
      {.id = "Progress",
       .load = loadPair(&Registry::progress),
       .save = saveWhole(&Registry::progress),
       .isLoaded = loaded(&Registry::progress),
       .release = fresh(&Registry::progress)},
      flatFamily("Cliloc", &Registry::cliloc),
      flatFamily("Fonts", &Registry::fonts),
      flatFamily("Unifont", &Registry::unifont),
      {.id = "Skills",
       .load = loadPair(&Registry::skills),
       .save = saveWhole(&Registry::skills),
       .isLoaded = loaded(&Registry::skills),
       .pristine = unchanged(&Registry::skills),
       .release = fresh(&Registry::skills)},
      flatFamily("SkillGroups", &Registry::skillGroups),
      flatFamily("Speech", &Registry::speech),
      flatFamily("Multimap", &Registry::multimap),
  };
  return table;
}

const FamilyOps* OpenFiles::family(const std::string& id) {
  for (const FamilyOps& f : families())
    if (f.id == id) return &f;
  return nullptr;
}

OpenFiles::OpenFiles(Registry& registry) : m_registry(registry) {}

const FamilyOps& OpenFiles::requireFamily(const std::string& id) const {
  const FamilyOps* f = family(id);
  if (!f) throw Error(formatMessage("There are no files of the kind %s.", {id}));
  return *f;
}

const OpenFiles::Opened* OpenFiles::opened(const std::string& id) const {
  const auto it = m_open.find(id);
  if (it == m_open.end()) return nullptr;
  // A model let go or replaced behind the owner's back holds nothing any more.
  const FamilyOps* f = family(id);
  if (f && f->isLoaded && !f->isLoaded(m_registry)) return nullptr;
  return &it->second;
}

std::vector<std::string> OpenFiles::openFamilies() const {
  std::vector<std::string> ids;
  for (const FamilyOps& f : families())
    if (isOpen(f.id)) ids.push_back(f.id);
  return ids;
}

std::vector<std::pair<std::string, std::string>> OpenFiles::changedOnDisk() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const FamilyOps& f : families())
    if (f.changedOnDisk && isOpen(f.id))
      if (auto what = f.changedOnDisk(m_registry)) out.emplace_back(f.id, std::move(*what));
  return out;
}

FileForm OpenFiles::formOf(const FamilyOps& f) const {
  if (f.loadedAsUop && f.loadedAsUop(m_registry)) return FileForm::Container;
  if (f.holdsOpen && f.holdsOpen(m_registry)) return FileForm::InPlace;
  return f.files == 1 ? FileForm::Flat : FileForm::Pair;
}

void OpenFiles::notify(const std::string& id, FileEvent event) {
  // Read again or closed, the model holds what its files hold.
  if (event != FileEvent::Saved && event != FileEvent::Released) m_savedElsewhere.erase(id);
  // A listener may unsubscribe while it is told: walk a copy.
  const auto listeners = m_listeners;
  for (const auto& [token, listener] : listeners) listener(id, event);
}

int OpenFiles::subscribe(Listener listener) {
  const int token = m_nextToken++;
  m_listeners[token] = std::move(listener);
  return token;
}

void OpenFiles::unsubscribe(int token) { m_listeners.erase(token); }

void OpenFiles::adopt(const std::string& id, const std::vector<std::string>& paths,
                      const OpenSize& size) {
  const FamilyOps& f = requireFamily(id);
  m_open[id] = Opened{paths, formOf(f), size};
}

bool OpenFiles::unsaved(const std::string& id) const {
  const FamilyOps* f = family(id);
  const Opened* o = opened(id);
  if (!f || !o) return false;
  if (m_savedElsewhere.count(id)) return true;
  if (f->unsaved) return f->unsaved(m_registry);
  if (f->pristine && f->pristine(m_registry)) return false;
  if (!f->save) return false;
  if (f->savesInPlace && f->savesInPlace(m_registry)) return false;
  return !holdsWhatFilesHold(*f, o->paths);
}

bool OpenFiles::holdsWhatFilesHold(const FamilyOps& f, const std::vector<std::string>& paths) const {
  // The model's own writer decides: what it would write now, against what the files hold.
  ScratchFolder scratch;
  Paths targets;
  const bool container = isUopPath(at(paths, 0));
  for (std::size_t i = 0; i < paths.size(); ++i)
    targets.push_back(scratch.file(std::to_string(i) + "-" +
                                   std::filesystem::path(paths[i]).filename().string()));
  // A container is written into its one path.
  if (container) targets.assign(f.files, targets.front());
  Progress silent;
  f.save(m_registry, targets, silent);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    // A model that wrote nothing keeps no change from its files.
    if (!fileExists(targets[i])) return true;
    if (!sameBytes(targets[i], paths[i])) return false;
  }
  return true;
}

std::vector<std::string> OpenFiles::unsavedOf(const std::vector<std::string>& ids) const {
  std::vector<std::string> out;
  for (const std::string& id : ids) {
    if (!isOpen(id)) continue;
    // A comparison that cannot be made counts as a change: the user is asked rather than
    // losing one.
    bool changed = true;
    try {
      changed = unsaved(id);
    } catch (const std::exception&) {
    }
    if (changed) out.push_back(id);
  }
  return out;
}

std::vector<std::string> OpenFiles::unsavedFamilies() const { return unsavedOf(openFamilies()); }

std::vector<std::string> OpenFiles::holders(const std::vector<std::string>& files) const {
  std::vector<std::string> ids;
  for (const FamilyOps& f : families()) {
    const Opened* o = opened(f.id);
    if (!o) continue;
    bool held = false;
    for (const std::string& mine : o->paths)
      for (const std::string& file : files)
        held = held || (!mine.empty() && !file.empty() && sameTarget(mine, file));
    if (held) ids.push_back(f.id);
  }
  return ids;
}

FamilyOps::Message OpenFiles::save(const std::string& id, Progress& progress) {
  const FamilyOps& f = requireFamily(id);
  const Opened* o = opened(id);
  if (!o) throw Error(notLoadedMessage(f.id));
  Message said;
  if (f.saveHeld)
    said = f.saveHeld(m_registry);
  else if (f.save)
    said = f.save(m_registry, o->paths.size() == 1 && f.files == 2
                                  ? Paths(2, o->paths.front())
                                  : o->paths,
                  progress);
  else
    return std::nullopt;
  m_savedElsewhere.erase(id);
  notify(id, FileEvent::Saved);
  return said;
}

bool OpenFiles::settle(const std::vector<std::string>& ids, Reason why, Questions& questions) {
  const std::vector<std::string> changed = unsavedOf(ids);
  if (changed.empty()) return true;
  const Answer answer = questions.unsavedEdits(changed, why);
  if (answer == Answer::Cancel) return false;
  if (answer == Answer::Discard) return true;
  Progress silent;
  for (const std::string& id : changed)
    if (const Message said = save(id, silent)) questions.said(*said);
  return true;
}

void OpenFiles::releaseFamily(const std::string& id) {
  const FamilyOps& f = requireFamily(id);
  f.release(m_registry);
  // The world models draw with the art, tile data and the rest: a fresh model in place of one
  // of those must be what they use from now on, not the one just freed.
  m_registry.wireWorldSources();
}

OpenFiles::OpenResult OpenFiles::open(const std::string& id, const std::vector<std::string>& paths,
                                      const OpenSize& size, Questions& questions) {
  const FamilyOps& f = requireFamily(id);
  bool ask = !unsavedOf({id}).empty();
  // Files that hold exactly what the model holds (the file it was just saved to) lose nothing.
  if (ask && !f.unsaved && !m_savedElsewhere.count(id) && f.save) {
    try {
      ask = !holdsWhatFilesHold(f, paths);
    } catch (const std::exception&) {
    }
  }
  if (ask) {
    const Answer answer = questions.unsavedEdits({id}, Reason::Replace);
    if (answer == Answer::Cancel) return {};
    Progress silent;
    if (answer == Answer::Save)
      if (const Message said = save(id, silent)) questions.said(*said);
  }
  const Message said = f.load(m_registry, paths, size);
  m_open[id] = Opened{paths, formOf(f), size};
  notify(id, FileEvent::Opened);
  return {true, said};
}

OpenFiles::PlanResult OpenFiles::apply(const std::vector<PlanStep>& plan, Questions& questions) {
  PlanResult result;
  std::vector<std::string> passed;
  for (const PlanStep& step : plan)
    if (isOpen(step.id)) passed.push_back(step.id);
  if (!settle(passed, Reason::Replace, questions)) return result;
  result.ran = true;
  for (const PlanStep& step : plan) {
    const FamilyOps& f = requireFamily(step.id);
    if (step.paths.empty()) {
      if (!isOpen(step.id)) continue;
      releaseFamily(step.id);
      m_open.erase(step.id);
      result.closed.push_back(step.id);
      notify(step.id, FileEvent::Closed);
      continue;
    }
    try {
      if (const Message said = f.load(m_registry, step.paths, step.size))
        result.said.push_back(*said);
      m_open[step.id] = Opened{step.paths, formOf(f), step.size};
      result.opened.push_back(step.id);
      notify(step.id, FileEvent::Opened);
    } catch (const std::exception& e) {
      // Whatever the step replaces must not stay open beside the new files.
      result.failed.emplace_back(step.id, e.what());
      if (m_open.count(step.id) || f.isLoaded(m_registry)) {
        releaseFamily(step.id);
        m_open.erase(step.id);
        notify(step.id, FileEvent::Closed);
      }
    }
  }
  return result;
}

OpenFiles::SaveResult OpenFiles::saveAs(const std::string& id,
                                        const std::vector<std::string>& targets,
                                        std::optional<bool> asUop, Questions& questions,
                                        Progress& progress, bool rebind) {
  const FamilyOps& f = requireFamily(id);
  const Opened* o = opened(id);
  if (!o) throw Error(notLoadedMessage(f.id));
  if (targets.empty()) throw Error("Nothing was saved: no file was named.");
  const bool toUop = asUop.value_or(f.loadedAsUop && f.loadedAsUop(m_registry));
  if (targets.size() == 2 && !toUop) requireDistinctTargets(targets[0], targets[1]);
  const Opened mine = *o;
  // The files as the family names them once it is bound to the targets: a container is one.
  const std::vector<std::string> bound =
      toUop ? std::vector<std::string>{targets.front()} : targets;
  bool ontoOwn = bound.size() == mine.paths.size();
  for (std::size_t i = 0; ontoOwn && i < bound.size(); ++i)
    ontoOwn = sameTarget(bound[i], mine.paths[i]);
  bool overlaps = false;
  for (const std::string& target : bound)
    for (const std::string& path : mine.paths) overlaps = overlaps || sameTarget(target, path);
  const bool sameForm = toUop == (mine.form == FileForm::Container);
  SaveResult result;
  if (ontoOwn && sameForm) {
    // Its own files in its own form: a save, which a model holding them open writes in place.
    result.said = save(id, progress);
    result.ran = true;
    return result;
  }
  // Saving over a file another open family holds replaces that family's file: it is settled,
  // let go and read again as for a tool.
  std::vector<std::string> others;
  for (const std::string& holder : holders(targets))
    if (holder != id) others.push_back(holder);
  const bool inPlace = f.savesInPlace && f.savesInPlace(m_registry);
  const auto write = [&] {
    if (inPlace && !toUop) {
      // Files held open have no copy in memory to write elsewhere: what waits goes into them,
      // then they are copied to the targets, all replaced together or none.
      save(id, progress);
      std::vector<std::unique_ptr<AtomicFile>> files;
      for (std::size_t i = 0; i < bound.size() && i < mine.paths.size(); ++i) {
        files.push_back(std::make_unique<AtomicFile>(bound[i]));
        files.back()->write(readFile(mine.paths[i]));
      }
      std::vector<AtomicFile*> all;
      for (const auto& file : files) all.push_back(file.get());
      commitAll(all);
    } else if (asUop && f.saveAs) {
      result.said = f.saveAs(m_registry, targets, *asUop);
    } else if (f.save) {
      result.said = f.save(m_registry, targets, progress);
    } else if (f.saveAs) {
      result.said = f.saveAs(m_registry, targets, toUop);
    }
  };
  if (others.empty()) {
    write();
  } else if (!runTool({{}, targets}, questions, write).ran) {
    return result;
  }
  result.ran = true;
  if (!rebind && !(overlaps && f.holdsOpen && f.holdsOpen(m_registry))) {
    // Its own files hold what waited when they are held open (it was written into them first);
    // otherwise they lack what went elsewhere.
    if (!inPlace && f.unsaved) m_savedElsewhere.insert(id);
    notify(id, FileEvent::Saved);
    return result;
  }
  // Saved as, the family is the targets from now on, as a document saved under another name
  // is: read from them (they hold every edit), held as the targets' form, and saved there next.
  releaseFamily(id);
  try {
    f.load(m_registry, bound, mine.size);
  } catch (...) {
    m_open.erase(id);
    notify(id, FileEvent::Closed);
    throw;
  }
  m_open[id] = Opened{bound, formOf(f), mine.size};
  notify(id, FileEvent::Reopened);
  return result;
}

bool OpenFiles::close(const std::string& id, Questions& questions) {
  if (!isOpen(id)) return true;
  if (!settle({id}, Reason::Close, questions)) return false;
  releaseFamily(id);
  m_open.erase(id);
  notify(id, FileEvent::Closed);
  return true;
}

bool OpenFiles::closeAll(Questions& questions) {
  const std::vector<std::string> ids = openFamilies();
  if (!settle(ids, Reason::Close, questions)) return false;
  for (const std::string& id : ids) {
    releaseFamily(id);
    m_open.erase(id);
    notify(id, FileEvent::Closed);
  }
  return true;
}

OpenFiles::ToolResult OpenFiles::runTool(const ToolFiles& files, Questions& questions,
                                         const std::function<void()>& tool) {
  ToolResult result;
  const std::vector<std::string> writers = holders(files.writes);
  std::vector<std::string> readers;
  for (const std::string& id : holders(files.reads))
    if (!contains(writers, id)) readers.push_back(id);

  const std::vector<std::string> changedReaders = unsavedOf(readers);
  if (!changedReaders.empty()) {
    const Answer answer = questions.unsavedEdits(changedReaders, Reason::ToolReads);
    if (answer == Answer::Cancel) return result;
    Progress silent;
    if (answer == Answer::Save)
      for (const std::string& id : changedReaders)
        if (const Message said = save(id, silent)) questions.said(*said);
  }
  if (!settle(writers, Reason::ToolWrites, questions)) return result;

  std::vector<std::pair<std::string, Opened>> released;
  for (const std::string& id : writers) {
    released.emplace_back(id, m_open.at(id));
    if (files.holdersAreSources) continue;
    releaseFamily(id);
    notify(id, FileEvent::Released);
  }
  const auto takeBack = [&] {
    for (const auto& [id, was] : released) {
      const FamilyOps& f = requireFamily(id);
      // A source held its files through the tool: it lets them go only now.
      if (files.holdersAreSources) releaseFamily(id);
      try {
        f.load(m_registry, was.paths, was.size);
        m_open[id] = Opened{was.paths, formOf(f), was.size};
        notify(id, FileEvent::Reopened);
      } catch (const std::exception&) {
        releaseFamily(id);
        m_open.erase(id);
        result.notReopened.push_back(id);
        notify(id, FileEvent::Closed);
      }
    }
  };
  try {
    tool();
  } catch (...) {
    takeBack();
    throw;
  }
  takeBack();
  result.ran = true;
  return result;
}

}  // namespace quillotide
