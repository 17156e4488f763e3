#pragma once
// TDiffForm, the "Diff Tool" window: makes map and static diffs by comparing whole files, copies a
// whole map or statics pair into diff form and applies diffs to the original files. Six path
// fields with "..." browse buttons (each stored in its configuration key when chosen or typed), and
// six operation buttons that ask for the diff files through the dialog seam, run with the progress
// window and end with "%d Mapblocks patched." or "%d Staticblocks patched.". A facet choice (0 to
// 5, stored) names the files (Map2.mul, Mapdifl2.mul, ... for facet 2); block numbers follow the
// facet's world size for the original map and statics index, shown beside the choice (the size of
// the settings when the files tell none; map and statics of two worlds are refused). An apply onto the files of the loaded
// map or statics lets those models go first and loads them again afterwards, so they show the
// applied diff and a later save does not write over it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QStringList>
#include <QWidget>

#include "world/DiffFiles.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TgaugeForm;
class TMainForm;

class TDiffForm : public QWidget {
  Q_OBJECT
public:
  explicit TDiffForm(TMainForm& main, QWidget* parent = nullptr);

private:
  enum Field { OrigMap, ChangedMap, OrigStaIdx, OrigStatics, ChangedStaIdx, ChangedStatics };
  void browse(Field field);
  std::string path(Field field) const;
  int facet() const;
  QStringList mapDiffNames() const;
  QStringList staticDiffNames() const;
  // The world of the block numbers; throws Error naming both sizes when the original map and
  // statics index belong to different worlds.
  DiffWorld world() const;
  // Labels and the size shown follow the facet and the files.
  void showFacet();
  // Asks for the files in order with save (create) or open (apply) dialogs, proposing those
  // beside the file of `beside` whatever their case; nothing when one is cancelled.
  std::optional<std::vector<std::string>> askDiffFiles(const QStringList& names, bool save,
                                                       Field beside);
  // Runs the operation and shows its message; `targets` are the files it changes, `sources`
  // the files it reads.
  void run(const std::function<std::string()>& operation,
           const std::vector<std::string>& targets = {},
           const std::vector<std::string>& sources = {});

  void createMapDiff();
  void copyMapDiff();
  void applyMapDiff();
  void createStaticDiff();
  void copyStaticDiff();
  void applyStaticDiff();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  TgaugeForm& m_gauge;
  std::vector<QLineEdit*> m_fields;
  std::vector<QLabel*> m_labels;
  QComboBox* m_facet = nullptr;
  QLabel* m_size = nullptr;
  static constexpr const char* kFacetKey = "DiffFacet";
};

// Shows the one diff tool window of the main window, creating it on first use.
void showDiffTool(TMainForm& main);

}  // namespace quillotide::ui
