#pragma once
// The program's side of the open-files owner: its questions asked with dialogs, and whole-file
// tools run through it. A tool that writes game files itself (the diff tool's apply, the region
// patches, the rebuilds and empty sets of the batch tools, the world tools of the Features page)
// names the files it reads and writes; the owner settles the models holding them (their unsaved
// changes saved or discarded as the user answers), lets them go, the tool runs, and each is read
// again from exactly the files it let go.

#include <functional>
#include <string>
#include <vector>

#include <QStringList>

#include "registry/OpenFiles.h"

namespace quillotide::ui {

class Dialogs;
class TMainForm;

// The owner's questions as message boxes with "Save", "Discard" (or "Use the saved files" for a
// tool that only reads, "Don't Save" when closing) and "Cancel"; closing the box cancels.
class DialogQuestions : public OpenFiles::Questions {
public:
  explicit DialogQuestions(Dialogs& dialogs) : m_dialogs(dialogs) {}
  OpenFiles::Answer unsavedEdits(const std::vector<std::string>& families,
                                 OpenFiles::Reason why) override;
  void said(const std::string& message) override;

private:
  Dialogs& m_dialogs;
};

class HeldFiles {
public:
  explicit HeldFiles(TMainForm& main);

  // The Settings page groups ("Map", "Statics", "Art", ...) whose open model holds one of the
  // files.
  QStringList holders(const std::vector<std::string>& files) const;

  // Runs `tool` (through runAction) on the files it writes, which open models may hold, and the
  // files it reads. While the world editor shows a world whose map or statics the tool writes,
  // says to close it first. A holder that cannot be read again is named, with the advice to load
  // it. Returns whether the tool ran to its end (false also when the user cancelled).
  bool run(const std::vector<std::string>& writes, const std::function<void()>& tool,
           const std::vector<std::string>& reads = {});
  // As run, for a tool that writes the files from the models holding them (ReIndex of a loaded
  // pair into its own files): the holders stay loaded while it runs and are read again after.
  bool rewrite(const std::vector<std::string>& writes, const std::function<void()>& tool);

  // For a tool that reads files itself: when an open model holding one of them has unsaved
  // changes, asks whether to save them first ("Save", "Use the saved files", "Cancel"); the
  // models stay loaded. False when the user cancels or a save fails.
  bool readsFrom(const std::vector<std::string>& files);

  // Saves the models of the groups each into the files they were read from, showing what those
  // report. False when a save failed (its error shown); the groups before it stay saved.
  bool saveToOwnFiles(const QStringList& groups);

private:
  bool runTool(const OpenFiles::ToolFiles& files, const std::function<void()>& tool);
  bool editorShowsWorld() const;
  TMainForm& m_main;
};

}  // namespace quillotide::ui
