#pragma once
// The "Art (S)" page: statics 0 ... StaticCount - 1, drawn in the middle of the view, with the
// static-only pop-up entries ("Show Details", "Set Tag", "Load from Directory") and the batch
// tools: filling the index, deleting a range of ids, extracting listed ids to bitmaps, item scripts
// and the free-slot finders.

#include <string>
#include <string_view>
#include <vector>

#include "ui/main/ArtPage.h"

class QListWidget;

namespace quillotide::ui {

// A run of empty slots, both ends included.
struct EmptyRun {
  std::int64_t first = 0;
  std::int64_t last = 0;
  bool operator==(const EmptyRun&) const = default;
};
// The runs of empty slots among 0 ... count - 1 that a full slot follows; empty slots at the very
// end are no hole (the file simply ends there).
std::vector<EmptyRun> emptyRunsBeforeFull(std::int64_t count,
                                          const std::function<bool(std::int64_t)>& full);
// The Wolfpack item definitions of the ids from ... to (none when to < from): per id the lines
// <item id="HEX">, "   <id>0xHEX</id>", "   <category>DESCRIPTION</category>", "</item>" and an
// empty line. Each "%d" of the description is replaced, as plain text, by a counter that starts
// at 0 and counts the items whose description held it; nothing else of the text is interpreted.
std::vector<std::string> wolfpackScript(std::int32_t from, std::int32_t to,
                                        std::string_view description);

class ArtStaticPage : public ArtPage {
  Q_OBJECT
public:
  explicit ArtStaticPage(TMainForm& main, QWidget* parent = nullptr);

  static inline const QString kLoadArtFirst = QStringLiteral("Load Art first.");
  static inline const QString kDone = QStringLiteral("Done.");
  static inline const QString kDirectoryEmpty = QStringLiteral("Your directory is empty.");
  static inline const QString kArtNotLoaded = QStringLiteral("Art not loaded.");
  static inline const QString kNoEmptyIdLeft = QStringLiteral("No empty Id left.");
  static inline const QString kGraphicsPatched = QStringLiteral(" graphics patched.");

protected:
  std::int64_t slotCount() const override;
  PatchedSlots patchedSlots() const override;
  std::int64_t radarEntry(std::int32_t slot) const override;
  void importFile(std::int32_t slot, const std::string& path) override;
  void addPatch(std::int32_t slot, const std::string& path) override;
  void deleteFromFile(std::int32_t slot) override;
  std::optional<Pixel> averageColour(std::int32_t slot) const override;

private:
  void buildTools();
  void showDetails(std::int32_t slot);
  void setTag(std::int32_t slot);
  void loadFromDirectory(std::int32_t slot);
  void fillSlots();
  void deleteIds();
  void extractIds();
  void createScripts();
  void findHoles();
  void findEmptyIds();

  QLineEdit* m_deleteFirst = nullptr;
  QLineEdit* m_deleteLast = nullptr;
  QListWidget* m_scripts = nullptr;
  QLineEdit* m_scriptFrom = nullptr;
  QLineEdit* m_scriptTo = nullptr;
  QLineEdit* m_description = nullptr;
};

}  // namespace quillotide::ui
