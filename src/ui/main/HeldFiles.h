#pragma once
// Whole-file tools on files that loaded models hold. A tool that writes game files itself (the
// diff tool's apply, the region patches, the rebuilds and empty sets of the batch tools, the
// world tools of the Features page) first lets the loaded models holding those files go: their
// unsaved changes are saved or discarded as the user answers, the world models close their
// locked files, the tool runs, and every model that was let go is read again from the paths of
// the Settings page. So no model keeps writing into a file the tool replaced by rename, and none
// saves its stale copy over what the tool wrote.

#include <functional>
#include <string>
#include <vector>

#include <QStringList>

namespace quillotide::ui {

class TMainForm;

class HeldFiles {
public:
  explicit HeldFiles(TMainForm& main);

  // The Settings page groups ("Map", "Statics", "Art", ...) whose loaded model holds one of the
  // files, by the paths each model was read from.
  QStringList holders(const std::vector<std::string>& files) const;

  // Runs `tool` (through runAction) on files that loaded models may hold. The holders are
  // settled first: unsaved changes are saved or discarded as the user answers ("Save",
  // "Discard", "Cancel"; each save writes into the files its model loaded), the
  // tool runs, and each holder is loaded again from the Settings page, whether the tool ended
  // well or not; a holder that cannot be loaded again is named, with the advice to load it.
  // Returns whether the tool ran to its end (false also when the user cancelled).
  bool run(const std::vector<std::string>& files, const std::function<void()>& tool);

  // For a tool that reads files itself: when a loaded model holding one of them has unsaved
  // changes, asks whether to save them first ("Save", "Use the saved files", "Cancel"); the
  // models stay loaded. False when the user cancels or a save fails.
  bool readsFrom(const std::vector<std::string>& files);

  // Saves the models of the groups each into the files it was read from (the map its changed
  // blocks, the statics their changes, showing what those report). False when a save failed
  // (its error shown); the groups before it stay saved.
  bool saveToOwnFiles(const QStringList& groups);

private:
  // The groups with unsaved changes (a group that cannot be compared counts as changed).
  QStringList changedOf(const QStringList& groups) const;
  // Asks about unsaved changes of the groups and saves them when told; false when cancelled.
  bool settle(const QStringList& groups);
  bool editorShowsWorld() const;
  void let(const QStringList& groups);
  void reload(const QStringList& groups);
  // The files the group's model was read from, else the paths its fields show.
  std::vector<std::string> loadedPaths(const QString& group) const;
  std::vector<std::string> fieldPaths(const QString& group) const;

  TMainForm& m_main;
};

}  // namespace quillotide::ui
