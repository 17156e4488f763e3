// The sample soundidx.mul / sound.mul: a bell, footsteps and a chord, made of real tones (decaying
// sines and their overtones) as 16-bit mono samples at 22050 Hz, each entry named in its header.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "models/Sound.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr double kRate = 22050;
constexpr double kTwoPi = 6.28318530717958647692;
constexpr int kSampleSlots = 0x10;

// Samples of the given length from a signal in -1 .. 1, as little-endian 16-bit values.
Bytes render(double seconds, const std::function<double(double)>& signal) {
  const auto count = static_cast<std::size_t>(seconds * kRate);
  ByteWriter w(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = std::clamp(signal(static_cast<double>(i) / kRate), -1.0, 1.0);
    w.i16(static_cast<std::int16_t>(std::lround(v * 30000)));
  }
  return w.data();
}

double tone(double t, double hz) { return std::sin(kTwoPi * hz * t); }

// A struck bell: a fundamental with inharmonic partials, each dying away at its own rate.
Bytes bell() {
  return render(1.2, [](double t) {
    return 0.5 * tone(t, 880) * std::exp(-3 * t) + 0.25 * tone(t, 880 * 2.76) * std::exp(-5 * t) +
           0.15 * tone(t, 880 * 5.4) * std::exp(-8 * t);
  });
}

// Four steps: low thumps with a short knock on top, 0.35 s apart.
Bytes footsteps() {
  return render(1.4, [](double t) {
    const double s = std::fmod(t, 0.35);
    return 0.8 * tone(s, 95) * std::exp(-30 * s) + 0.3 * tone(s, 310) * std::exp(-60 * s);
  });
}

// C major (C4, E4, G4) swelling in and fading out.
Bytes chord() {
  return render(1.5, [](double t) {
    const double envelope = std::min(1.0, t / 0.05) * std::exp(-1.5 * t);
    return envelope * (tone(t, 261.63) + tone(t, 329.63) + tone(t, 392.0)) / 3.2;
  });
}

}  // namespace

void writeSounds(const std::string& dir) {
  using namespace soundlayout;
  struct Entry {
    int slot;
    std::string name;
    Bytes samples;
  };
  const std::vector<Entry> entries = {
      {0x0, "bell", bell()}, {0x1, "footsteps", footsteps()}, {0x2, "chord", chord()}};
  std::vector<IndexRecord> records(kSampleSlots, IndexRecord{-1, -1, -1});
  ByteWriter data;
  for (const Entry& e : entries) {
    Bytes header(kEntryHeader, 0);
    std::copy(e.name.begin(), e.name.end(), header.begin());
    records[static_cast<std::size_t>(e.slot)] = {
        static_cast<std::int32_t>(data.size()),
        static_cast<std::int32_t>(kEntryHeader + e.samples.size()), e.slot + 1};
    data.bytes(header);
    data.bytes(e.samples);
  }
  ByteWriter index(records.size() * kIndexRecordSize);
  for (const IndexRecord& r : records) {
    index.i32(r.lookup);
    index.i32(r.length);
    index.i32(r.extra);
  }
  AtomicFile idx(joinPath(dir, "soundidx.mul"));
  AtomicFile mul(joinPath(dir, "sound.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});
}

}  // namespace quillotide::sample
