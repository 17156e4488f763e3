#pragma once
// The "Sound" page: slots 0 .. 0xFFF of the sound files, the name of the selected sound beside the
// list, and a pop-up menu that plays, exports, imports and deletes the selected slot.

#include <cstdint>
#include <memory>

#include <QWidget>

class QLabel;
class QMenu;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class SlotListView;
class TMainForm;
class WavePlayer;

class SoundPage : public QWidget {
  Q_OBJECT
public:
  SoundPage(TMainForm& main, QWidget* parent = nullptr);
  ~SoundPage() override;

  SlotListView* list() const { return m_list; }
  QMenu* popupMenu() const { return m_menu; }
  // Plays through this player from now on (not owned); by default the platform's wave player,
  // created at the first play.
  void setWavePlayer(WavePlayer* player) { m_player = player; }
  // "play.wav" in the program's directory (the directory of config.xml).
  QString playFilePath() const;

private:
  void showSlot(std::int32_t slot);
  void addEntry(const QString& name, const QString& caption,
                void (SoundPage::*handler)(std::int32_t));
  void play(std::int32_t slot);
  void saveToFile(std::int32_t slot);
  void loadFromFile(std::int32_t slot);
  void deleteSlot(std::int32_t slot);
  void refresh();

  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotListView* m_list;
  QLabel* m_name;
  QMenu* m_menu;
  WavePlayer* m_player = nullptr;
  std::unique_ptr<WavePlayer> m_ownPlayer;
};

// The text shown when "Play Sound" is chosen on an empty slot.
QString emptySoundMessage(std::int32_t slot);
// The text shown when "Save to File" is chosen on an empty slot, or before the files are loaded.
QString emptySoundSaveMessage(std::int32_t slot, bool loaded);

}  // namespace quillotide::ui
