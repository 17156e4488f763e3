#pragma once
// The platform's wave player behind a seam: pages ask a WavePlayer to play a wave file and go on
// at once. The program plays through Qt's sound effect (no media framework needed; without an
// audio device it only warns); tests put a recording player in its place and run without audio.

#include <QString>

class QSoundEffect;

namespace quillotide::ui {

class WavePlayer {
public:
  virtual ~WavePlayer() = default;
  // Starts playing the file and returns without waiting for the end; a sound already playing
  // stops. A file that cannot be played is the platform's concern: nothing is reported.
  virtual void play(const QString& path) = 0;
};

class QtWavePlayer : public WavePlayer {
public:
  QtWavePlayer();
  ~QtWavePlayer() override;
  void play(const QString& path) override;

private:
  QSoundEffect* m_effect;
};

}  // namespace quillotide::ui
