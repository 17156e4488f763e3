#pragma once
// The one owner of every open game file. For each open family it knows the files the model was
// read from, their form, whether the model holds edits its files lack, and it is the only way to
// open, save, save as, close, and let files go for a whole-file tool. Pages, the world editor and
// its windows, the batch and world tools and the command line all go through it, so no model
// keeps writing into a file another step replaced and no edit is dropped without a question.
//
// Questions (unsaved edits in the way) are asked through an OpenFiles::Questions the caller
// passes: dialogs in the program, a script in tests, a fixed answer on the command line.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

namespace quillotide {

class Progress;
class Registry;

// How an open family's files are held.
enum class FileForm {
  Pair,       // an index/data pair read into memory
  Container,  // a UOP container read in place, its changes held in memory
  Flat,       // one flat table read into memory
  InPlace,    // files held open, every change written at once (Low Memory, the animation files)
};

// The world size handed to the families that need one (map, statics).
struct OpenSize {
  int width = 0;
  int height = 0;
};

// What one family needs of the owner: how its model is opened, saved, compared and let go. The
// table of families is the owner's; a page adds its captions and fields beside it, by id.
struct FamilyOps {
  using Message = std::optional<std::string>;
  using Paths = std::vector<std::string>;
  std::string id;        // "Art", "Map", ... (the Settings page's group ids)
  std::size_t files = 2;  // paths a load takes (a container fills every one)
  bool takesUop = false;
  bool readsWorldSize = false;
  // Opens the paths in the model; throws on failure (the model keeps what it had).
  std::function<Message(Registry&, const Paths&, const OpenSize&)> load;
  // Writes the model to the targets (a container: its path in every place); empty: no Save.
  std::function<Message(Registry&, const Paths&, Progress&)> save{};
  // Writes the model in the form asked; empty: save, given the form's targets.
  std::function<Message(Registry&, const Paths&, bool asUop)> saveAs{};
  std::function<bool(const Registry&)> isLoaded;
  // Whether the loaded model writes every change into its open files (nothing waits).
  std::function<bool(const Registry&)> savesInPlace{};
  // Whether the model holds edits its files lack, for a model that keeps count itself.
  std::function<bool(const Registry&)> unsaved{};
  // Whether the model is known to hold nothing its files lack (then no comparison is made).
  std::function<bool(const Registry&)> pristine{};
  // Writes what waits into the files the model holds open (the map); empty: save into them.
  std::function<Message(Registry&)> saveHeld{};
  std::function<bool(const Registry&)> loadedAsUop{};
  // Whether the model keeps its files open between calls (a save onto them must reopen it).
  std::function<bool(const Registry&)> holdsOpen{};
  // Puts a fresh, unloaded model in place: every file the old one held is closed.
  std::function<void(Registry&)> release;
  // For a model that reads its file where the bytes lie (a container): what happened to the file
  // since it was read, when another program truncated, replaced or changed it.
  std::function<Message(const Registry&)> changedOnDisk{};
};

// What happened to an open family, for the views that keep something of its model.
enum class FileEvent {
  Opened,    // a new load: everything kept of the old model is stale
  Saved,     // written into its own files (serials may be renumbered)
  Released,  // let go for a whole-file tool: the model is a fresh, empty one until Reopened
  Reopened,  // read again from the files it let go
  Closed,    // closed: the model is a fresh, empty one
};

class OpenFiles {
public:
  enum class Answer { Save, Discard, Cancel };
  enum class Reason {
    Replace,     // a load, a client folder or a facet replaces the open files
    Close,       // the family (or the program) closes
    ToolWrites,  // a whole-file tool or a save replaces files the family holds
    ToolReads,   // a tool reads the files themselves (Discard: use the saved files)
  };
  class Questions {
  public:
    virtual ~Questions() = default;
    // The families (ids) hold unsaved edits and `why` is about to pass them by. Save: each is
    // saved into its own files first; Discard: they are dropped (for ToolReads: the tool reads
    // the saved files and the edits stay); Cancel: nothing happens.
    virtual Answer unsavedEdits(const std::vector<std::string>& families, Reason why) = 0;
    // What a save made on a "Save" answer reported ("1 MapBlocks patched."), as it happens.
    virtual void said(const std::string& message) { (void)message; }
  };
  // Answers every question the same way (the command line, tests).
  class FixedAnswer : public Questions {
  public:
    explicit FixedAnswer(Answer a) : m_answer(a) {}
    Answer unsavedEdits(const std::vector<std::string>&, Reason) override { return m_answer; }

  private:
    Answer m_answer;
  };

  struct Opened {
    std::vector<std::string> paths;  // as the load named them (a container: its path alone)
    FileForm form = FileForm::Pair;
    OpenSize size;
  };

  explicit OpenFiles(Registry& registry);
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

  // Every family, in the order the user sees them; nullptr for an unknown id.
  static const std::vector<FamilyOps>& families();
  static const FamilyOps* family(const std::string& id);

  // The open record of a family; nullptr when it is not open.
  const Opened* opened(const std::string& id) const;
  bool isOpen(const std::string& id) const { return opened(id) != nullptr; }
  // The ids of the open families, in table order.
  std::vector<std::string> openFamilies() const;
  // The open families whose files another program changed since they were read, each with what
  // happened (see FamilyOps::changedOnDisk), in table order.
  std::vector<std::pair<std::string, std::string>> changedOnDisk() const;

  // Opens the paths in the family's model. When the family is open with unsaved edits, asks
  // first (Reason::Replace); nullopt when the user cancels (nothing changed). Returns what the
  // model said after the load, if anything. Throws on failure: the family keeps what was open.
  struct OpenResult {
    bool opened = false;
    FamilyOps::Message said;
  };
  OpenResult open(const std::string& id, const std::vector<std::string>& paths,
                  const OpenSize& size, Questions& questions);

  // A plan for one step that opens several families and closes others (a client folder, a
  // facet): one question for every family whose unsaved edits the step passes by, then each
  // open or close. Families absent from the plan stay as they are. Returns false when
  // cancelled (nothing changed). A family whose open fails is named in `failed` with the reason
  // and is closed rather than left with another folder's files.
  struct PlanStep {
    std::string id;
    std::vector<std::string> paths;  // empty: close the family
    OpenSize size{};
  };
  struct PlanResult {
    bool ran = false;
    std::vector<std::string> opened;
    std::vector<std::string> closed;
    std::vector<std::pair<std::string, std::string>> failed;  // id, message
    std::vector<std::string> said;                            // what models said after loads
  };
  PlanResult apply(const std::vector<PlanStep>& plan, Questions& questions);

  // Whether the family's model holds edits its files lack: the model's own count where it keeps
  // one, else what its writer would write now against the files (a scratch copy). Throws when
  // that comparison cannot be made.
  bool unsaved(const std::string& id) const;
  // Of the ids, the open ones with unsaved edits (a comparison that fails counts as unsaved).
  std::vector<std::string> unsavedOf(const std::vector<std::string>& ids) const;
  std::vector<std::string> unsavedFamilies() const;

  // Saves the family into the files it was read from. Throws Error when it is not open.
  FamilyOps::Message save(const std::string& id, Progress& progress);
  // Saves the family into explicit targets in the form given (asUop; nullopt: the form it was
  // read in). Its own files in its own form are a save. Targets another open family holds are
  // settled as a tool's targets are (asked, let go, read again afterwards). Files held open are
  // copied to the targets after what waits is written into them. Afterwards the family is bound
  // to the targets, as a document saved under another name is: read again from them, in their
  // form, and its next save goes there. `ran` is false when the user cancelled.
  struct SaveResult {
    bool ran = false;
    FamilyOps::Message said;
  };
  // rebind false (a "Save" to files the user chose): the family stays bound to its own files
  // unless it held a file the save replaced; its own files still lack what was saved elsewhere,
  // and it counts as unsaved until saved there.
  SaveResult saveAs(const std::string& id, const std::vector<std::string>& targets,
                    std::optional<bool> asUop, Questions& questions, Progress& progress,
                    bool rebind = true);

  // Closes a family (asks about unsaved edits, Reason::Close). False when cancelled.
  bool close(const std::string& id, Questions& questions);
  // Closes every family (asks once). False when cancelled.
  bool closeAll(Questions& questions);

  // The open families holding one of the files (by identity: links and other spellings of one
  // file are that file).
  std::vector<std::string> holders(const std::vector<std::string>& files) const;

  // A whole-file tool: the files it reads and the files it writes. Holders of files it reads
  // with unsaved edits are asked (Reason::ToolReads); holders of files it writes are asked
  // (Reason::ToolWrites), let go, and after the tool (whether it ended well or threw) read again
  // from exactly the files they let go, in the same form and size. Returns false when cancelled
  // (the tool did not run); rethrows what the tool threw. A family that cannot be read again is
  // closed and named in `notReopened`.
  struct ToolFiles {
    std::vector<std::string> reads;
    std::vector<std::string> writes;
    // The tool writes the files from the models that hold them (a rebuild of a loaded pair into
    // its own files): the holders stay loaded while it runs, and are read again afterwards.
    bool holdersAreSources = false;
  };
  struct ToolResult {
    bool ran = false;
    std::vector<std::string> notReopened;  // ids
  };
  ToolResult runTool(const ToolFiles& files, Questions& questions,
                     const std::function<void()>& tool);

  // Tells `listener` of every event of every family; returns a token for unsubscribe.
  using Listener = std::function<void(const std::string& id, FileEvent)>;
  int subscribe(Listener listener);
  void unsubscribe(int token);

  // Records a family that was loaded before the owner knew of it (kept for a load made by a
  // model directly, e.g. a tool's own model). Prefer open().
  void adopt(const std::string& id, const std::vector<std::string>& paths, const OpenSize& size);

private:
  const FamilyOps& requireFamily(const std::string& id) const;
  // Asks about the unsaved among ids; Save saves them. False when cancelled or a save failed.
  bool settle(const std::vector<std::string>& ids, Reason why, Questions& questions);
  void releaseFamily(const std::string& id);
  // Whether the files hold exactly what the model's writer would write now (a scratch copy).
  bool holdsWhatFilesHold(const FamilyOps& f, const std::vector<std::string>& paths) const;
  void notify(const std::string& id, FileEvent event);
  FileForm formOf(const FamilyOps& f) const;

  Registry& m_registry;
  std::map<std::string, Opened> m_open;
  // Families saved to other files only: their own files lack edits their model no longer counts.
  std::set<std::string> m_savedElsewhere;
  std::map<int, Listener> m_listeners;
  int m_nextToken = 1;
};

// "map", "map and statics", "art, gumps and statics".
std::string familyNames(const std::vector<std::string>& ids);

}  // namespace quillotide
