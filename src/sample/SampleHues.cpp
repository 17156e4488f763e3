// The sample hues.mul: 3000 entries (375 blocks), as the game's table has. The first entries are
// named ramps of chosen colours; the rest walk round the colour wheel at several saturations.
// Every ramp runs from near black (colour 0) through its colour (about colour 20) to a light tint
// (colour 31).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "app/FileIO.h"
#include "models/Hues.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

struct NamedRamp {
  std::string_view name;
  std::uint8_t r, g, b;
};

constexpr NamedRamp kNamed[] = {
    {"red", 200, 30, 30},        {"dark red", 130, 16, 16}, {"orange", 230, 120, 20},
    {"amber", 240, 170, 40},     {"gold", 220, 180, 60},    {"yellow", 240, 230, 60},
    {"lime", 160, 230, 60},      {"green", 50, 170, 50},    {"forest green", 30, 110, 40},
    {"olive", 120, 130, 50},     {"teal", 30, 140, 140},    {"cyan", 60, 210, 220},
    {"sky blue", 110, 170, 240}, {"blue", 40, 70, 210},     {"navy", 20, 30, 120},
    {"indigo", 70, 40, 150},     {"purple", 130, 50, 170},  {"violet", 170, 100, 220},
    {"magenta", 210, 50, 170},   {"pink", 240, 140, 180},   {"rose", 200, 80, 110},
    {"brown", 120, 75, 35},      {"tan", 200, 160, 110},    {"sand", 220, 200, 150},
    {"bronze", 170, 110, 50},    {"copper", 190, 100, 60},  {"silver", 190, 190, 200},
    {"iron", 110, 110, 115},     {"grey", 128, 128, 128},   {"charcoal", 60, 60, 64},
    {"bone", 230, 225, 200},     {"snow", 245, 245, 250},   {"ice", 180, 220, 250},
    {"fire", 250, 90, 10},       {"blood", 150, 0, 10},     {"moss", 90, 120, 50},
    {"plum", 110, 40, 80},       {"ocean", 20, 90, 140},    {"shadow", 40, 30, 50},
    {"valorite", 60, 90, 140},
};

// Hue 155 (entry 154) outlines the selection in the world editor: a bright yellow-white.
constexpr int kHighlightEntry = 154;
constexpr int kEntryCount = 3000;

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); }

std::array<Colour16, HueEntry::kColourCount> ramp(double r, double g, double b) {
  std::array<Colour16, HueEntry::kColourCount> colours{};
  for (int k = 0; k < HueEntry::kColourCount; ++k) {
    double f;
    double cr, cg, cb;
    if (k <= 20) {
      f = 0.06 + 0.94 * k / 20.0;
      cr = r * f;
      cg = g * f;
      cb = b * f;
    } else {
      f = (k - 20) / 11.0 * 0.6;  // toward white
      cr = r + (255 - r) * f;
      cg = g + (255 - g) * f;
      cb = b + (255 - b) * f;
    }
    colours[static_cast<std::size_t>(k)] =
        rgbToColour16(clampByte(cr), clampByte(cg), clampByte(cb));
  }
  return colours;
}

// A colour on the wheel: hue angle in turns, saturation and value 0..1.
void hsv(double h, double s, double v, double& r, double& g, double& b) {
  const double i = std::floor(h * 6);
  const double f = h * 6 - i;
  const double p = v * (1 - s), q = v * (1 - f * s), t = v * (1 - (1 - f) * s);
  switch (static_cast<int>(i) % 6) {
    case 0:
      r = v, g = t, b = p;
      break;
    case 1:
      r = q, g = v, b = p;
      break;
    case 2:
      r = p, g = v, b = t;
      break;
    case 3:
      r = p, g = q, b = v;
      break;
    case 4:
      r = t, g = p, b = v;
      break;
    default:
      r = v, g = p, b = q;
      break;
  }
  r *= 255, g *= 255, b *= 255;
}

}  // namespace

void writeHues(const std::string& dir) {
  Bytes blank(kEntryCount / THues::kEntriesPerBlock * THues::kBlockSize, 0);
  // Block headers carry a running number, as real files carry non-zero headers.
  for (std::size_t b = 0; b < kEntryCount / THues::kEntriesPerBlock; ++b)
    storeU32(blank.data() + b * THues::kBlockSize, static_cast<std::uint32_t>(0x10000 + b));
  THues hues;
  hues.loadBytes(blank);
  for (int e = 0; e < kEntryCount; ++e) {
    HueEntry entry;
    if (e < static_cast<int>(std::size(kNamed))) {
      const NamedRamp& n = kNamed[e];
      entry.colours = ramp(n.r, n.g, n.b);
      entry.setNameText(std::string(n.name));
    } else if (e == kHighlightEntry) {
      entry.colours = ramp(250, 240, 120);
      entry.setNameText("highlight");
    } else {
      double r, g, b;
      const int step = e - static_cast<int>(std::size(kNamed));
      const double saturations[] = {0.85, 0.6, 0.35, 0.15};
      hsv((step % 90) / 90.0, saturations[(step / 90) % 4], 0.55 + 0.4 * ((step / 360) % 3) / 2.0,
          r, g, b);
      entry.colours = ramp(r, g, b);
    }
    entry.tableStart = entry.colours[0];
    entry.tableEnd = entry.colours[31];
    hues.setEntry(e, entry);
  }
  hues.save(joinPath(dir, "hues.mul"));
}

}  // namespace quillotide::sample
