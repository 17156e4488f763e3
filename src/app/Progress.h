#pragma once
// The progress window seen from the core: long operations report 0-100 percent through it. The UI
// shows the "Fortschritt" window; the CLI and tests pass a silent one.

namespace quillotide {

class Progress {
public:
  virtual ~Progress() = default;
  virtual void start() {}
  // Percent 0..100. Callers report only changes, so an implementation may let window events run.
  virtual void step(int percent) { (void)percent; }
  virtual void finish() {}
};

// Reports each whole percent once while a loop runs over `total` items.
class ProgressSteps {
public:
  ProgressSteps(Progress& progress, long long total) : m_progress(progress), m_total(total) {
    m_progress.start();
  }
  ~ProgressSteps() { m_progress.finish(); }
  void at(long long done) {
    const int percent = m_total > 0 ? static_cast<int>(done * 100 / m_total) : 100;
    if (percent != m_last) {
      m_last = percent;
      m_progress.step(percent);
    }
  }

private:
  Progress& m_progress;
  long long m_total;
  int m_last = -1;
};

// One part of a longer job: while the part goes from 0 to 100, the job shows `from` .. `to`.
// Starting and finishing are the job's, not the part's.
class ProgressPart : public Progress {
public:
  ProgressPart(Progress& whole, int from, int to) : m_whole(whole), m_from(from), m_to(to) {}
  void step(int percent) override {
    const int p = m_from + (m_to - m_from) * percent / 100;
    if (p != m_last) {
      m_last = p;
      m_whole.step(p);
    }
  }

private:
  Progress& m_whole;
  int m_from;
  int m_to;
  int m_last = -1;
};

}  // namespace quillotide
