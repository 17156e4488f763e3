#pragma once
// "Merge Tiledata to Cliloc" of the features page: writes the names of the static tiles of the
// tile data file named on the Settings page into a chosen cliloc file (an existing one, or a new
// one named in the save dialog) as the texts 1020000 + id, and says how many names it added and
// replaced. The tile data file is read on its own, so the loaded tile data stays as it is; when
// it has unsaved changes the user is asked first whether to save them, so the names typed reach
// the cliloc. Every cliloc entry that no name replaces is written back as it was.

class QWidget;

namespace quillotide::ui {

class TMainForm;

// The button `btnMergeCliloc`, owned by parent.
QWidget* createClilocMergeButton(TMainForm& main, QWidget* parent);

}  // namespace quillotide::ui
