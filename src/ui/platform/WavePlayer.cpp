#include "ui/platform/WavePlayer.h"

#include <QSoundEffect>
#include <QUrl>

namespace quillotide::ui {

QtWavePlayer::QtWavePlayer() : m_effect(new QSoundEffect) {}

QtWavePlayer::~QtWavePlayer() { delete m_effect; }

void QtWavePlayer::play(const QString& path) {
  m_effect->stop();
  // The same file name holds a new sound at every play: an unchanged source would replay the
  // samples loaded the time before.
  m_effect->setSource(QUrl());
  m_effect->setSource(QUrl::fromLocalFile(path));
  m_effect->play();
}

}  // namespace quillotide::ui
