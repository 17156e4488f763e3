// The sample anim.idx / anim.mul and anim2 ... anim5: a wolf-like creature (body 0x2), a cat (body
// 0xC9), a person (body 0x190) and the robe the person wears (body 0x1F8), each with a few actions in
// all five directions; the variant files hold one or two recoloured creatures each. Everything is
// drawn by code, so every run writes the same bytes.
#include <algorithm>
#include <cmath>
#include <functional>

#include "app/FileIO.h"
#include "models/AnimExchange.h"
#include "models/AnimFrame.h"
#include "models/Animation.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb scaled(Rgb c, double k) { return {c.r * k, c.g * k, c.b * k}; }

// Colours the animation encoder keeps: black and white are transparent to it, so drawn colours
// stay inside 8 ... 240 per channel.
Pixel solid(Rgb c) {
  auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 8.0, 240.0)); };
  return makePixel(channel(c.r), channel(c.g), channel(c.b));
}

class Canvas {
public:
  Canvas(int w, int h) : pic(w, h, 0xFF000000) {}
  void plot(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < pic.width && y < pic.height) pic.at(x, y) = solid(c);
  }
  // A filled ellipse, shaded darker towards its lower right.
  void ball(double cx, double cy, double rx, double ry, Rgb c) {
    for (int y = static_cast<int>(cy - ry) - 1; y <= static_cast<int>(cy + ry) + 1; ++y)
      for (int x = static_cast<int>(cx - rx) - 1; x <= static_cast<int>(cx + rx) + 1; ++x) {
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        const double d = dx * dx + dy * dy;
        if (d <= 1) plot(x, y, scaled(c, 1.1 - 0.25 * (dx + dy + 1) / 2 - 0.15 * d));
      }
  }
  // A thick line with round ends.
  void line(double x0, double y0, double x1, double y1, double width, Rgb c) {
    const double len2 = (x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0);
    const int minX = static_cast<int>(std::min(x0, x1) - width), maxX = static_cast<int>(std::max(x0, x1) + width);
    const int minY = static_cast<int>(std::min(y0, y1) - width), maxY = static_cast<int>(std::max(y0, y1) + width);
    for (int y = minY; y <= maxY; ++y)
      for (int x = minX; x <= maxX; ++x) {
        const double t = len2 > 0 ? std::clamp(((x + 0.5 - x0) * (x1 - x0) + (y + 0.5 - y0) * (y1 - y0)) / len2, 0.0, 1.0) : 0;
        const double px = x0 + t * (x1 - x0) - (x + 0.5), py = y0 + t * (y1 - y0) - (y + 0.5);
        if (px * px + py * py <= width * width / 4) plot(x, y, scaled(c, 0.9 + 0.2 * t));
      }
  }
  void polygon(const std::vector<std::pair<double, double>>& pts, Rgb c) {
    double minY = 1e9, maxY = -1e9;
    for (const auto& p : pts) minY = std::min(minY, p.second), maxY = std::max(maxY, p.second);
    for (int y = static_cast<int>(minY); y <= static_cast<int>(maxY); ++y) {
      std::vector<double> xs;
      const double sy = y + 0.5;
      for (std::size_t i = 0; i < pts.size(); ++i) {
        const auto& a = pts[i];
        const auto& b = pts[(i + 1) % pts.size()];
        if ((a.second <= sy) != (b.second <= sy))
          xs.push_back(a.first + (sy - a.second) / (b.second - a.second) * (b.first - a.first));
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t i = 0; i + 1 < xs.size(); i += 2)
        for (int x = static_cast<int>(std::ceil(xs[i] - 0.5)); x <= static_cast<int>(xs[i + 1] - 0.5); ++x)
          plot(x, y, scaled(c, 0.95 + 0.1 * std::sin(x * 0.7 + y * 0.3)));
    }
  }
  Bitmap32 pic;
};

// The pose of one frame: the walk phase and how the figure faces. Direction 0 looks away from the
// viewer, 2 to the side, 4 towards the viewer.
struct Pose {
  double phase;    // 0 ... 2 pi over the action
  double swing;    // leg and arm swing in pixels
  double facing;   // -1 (away) ... 1 (towards the viewer)
  double side;     // horizontal lean of the head, -1 ... 1
  bool attack;
};

Pose poseOf(int direction, int frame, int frames, double swing, bool attack) {
  const double phase = 2 * kPi * frame / frames;
  const double side = direction == 0 || direction == 4 ? 0.0 : 1.0 - std::abs(direction - 2) * 0.3;
  return {phase, swing, (direction - 2) / 2.0, side, attack};
}

struct CreatureLook {
  Rgb fur;
  Rgb belly;
  Rgb eye;
  double size;  // 1 = wolf
};

// A four-legged creature seen from the side or diagonally; legs move in pairs.
Bitmap32 creature(const CreatureLook& look, const Pose& p) {
  const double s = look.size;
  const int w = static_cast<int>(64 * s), h = static_cast<int>(48 * s);
  Canvas c(w, h);
  const double cx = w / 2.0, body = h * 0.5;
  const double depth = 1 - 0.5 * std::abs(p.facing);  // body looks shorter when it faces the viewer
  const double len = 20 * s * depth;
  const double bob = std::abs(std::sin(p.phase)) * 1.5 * s;
  // Far legs first, then body, near legs, head.
  for (int pair = 0; pair < 2; ++pair) {
    const double lx = cx + (pair ? len * 0.7 : -len * 0.7);
    const double sw = p.swing * s * std::sin(p.phase + (pair ? kPi : 0));
    c.line(lx + 2 * s, body, lx + 2 * s - sw, h - 2 * s, 4 * s, scaled(look.fur, 0.7));
  }
  c.line(cx - len - 4 * s, body - 2 * s - bob, cx - len - 12 * s, body - 10 * s + 3 * s * std::sin(p.phase * 2), 3.5 * s, look.fur);
  c.ball(cx, body - bob, len + 4 * s, 9 * s, look.fur);
  c.ball(cx, body + 4 * s - bob, len, 4 * s, look.belly);
  for (int pair = 0; pair < 2; ++pair) {
    const double lx = cx + (pair ? len * 0.7 : -len * 0.7);
    const double sw = p.swing * s * std::sin(p.phase + (pair ? 0 : kPi));
    c.line(lx, body + 2 * s, lx + sw, h - 1.5 * s, 4.5 * s, look.fur);
  }
  const double lunge = p.attack ? 5 * s * std::max(0.0, std::sin(p.phase)) : 0;
  const double hx = cx + (len + 6 * s) * p.side * (p.facing >= 0 ? 1 : 0.6) + lunge;
  const double hy = body - 10 * s - bob + (p.facing < 0 ? -2 : 2) * s;
  c.ball(hx, hy, 8 * s, 7 * s, look.fur);
  c.line(hx - 4 * s, hy - 5 * s, hx - 6 * s, hy - 12 * s, 3 * s, scaled(look.fur, 0.8));
  c.line(hx + 4 * s, hy - 5 * s, hx + 5 * s, hy - 12 * s, 3 * s, scaled(look.fur, 0.8));
  if (p.facing >= -0.2) {
    c.ball(hx + 5 * s * p.side, hy + 2 * s, 4 * s, 3 * s, look.belly);  // muzzle
    c.ball(hx - 2.5 * s + 2 * s * p.side, hy - 2 * s, 1.3 * s, 1.3 * s, look.eye);
    c.ball(hx + 2.5 * s + 2 * s * p.side, hy - 2 * s, 1.3 * s, 1.3 * s, look.eye);
  }
  return c.pic;
}

struct PersonLook {
  Rgb skin, hair, shirt, trousers, boots;
};

// The joints of a walking person; the robe uses the same ones so it fits over the person.
struct Joints {
  double cx, headY, shoulderY, hipY, footY;
  double armSwing, legSwing, lean;
};

Joints jointsOf(const Pose& p) {
  const double bob = std::abs(std::sin(p.phase)) * 1.5;
  return {22 + 3 * p.side, 14 + bob, 27 + bob, 50 + bob, 78, p.swing * std::sin(p.phase + kPi),
          p.swing * std::sin(p.phase), 2 * p.side};
}

Bitmap32 person(const PersonLook& look, const Pose& p) {
  Canvas c(44, 80);
  const Joints j = jointsOf(p);
  const double depth = 0.4 + 0.6 * (1 - std::abs(p.facing));  // legs spread sideways when seen from the side
  c.line(j.cx - 3, j.hipY, j.cx - 3 - j.legSwing * depth, j.footY - 4, 5, scaled(look.trousers, 0.8));
  c.line(j.cx - 3 - j.legSwing * depth, j.footY - 4, j.cx - 1 - j.legSwing * depth, j.footY - 1, 5, look.boots);
  c.line(j.cx - 6, j.shoulderY + 1, j.cx - 6 - j.armSwing * depth, j.shoulderY + 19, 4, scaled(look.shirt, 0.8));
  c.polygon({{j.cx - 8, j.shoulderY - 2}, {j.cx + 8, j.shoulderY - 2}, {j.cx + 7, j.hipY}, {j.cx - 7, j.hipY}}, look.shirt);
  c.line(j.cx + 3, j.hipY, j.cx + 3 + j.legSwing * depth, j.footY - 4, 5, look.trousers);
  c.line(j.cx + 3 + j.legSwing * depth, j.footY - 4, j.cx + 5 + j.legSwing * depth, j.footY - 1, 5, look.boots);
  const double strike = p.attack ? 14 * std::max(0.0, std::sin(p.phase)) : 0;
  c.line(j.cx + 6, j.shoulderY + 1, j.cx + 6 + j.armSwing * depth + strike, j.shoulderY + 19 - strike, 4, look.shirt);
  c.ball(j.cx + 6 + j.armSwing * depth + strike, j.shoulderY + 20 - strike, 2.5, 2.5, look.skin);
  c.line(j.cx, j.shoulderY - 4, j.cx, j.shoulderY, 4, look.skin);
  c.ball(j.cx + j.lean, j.headY, 6.5, 7.5, look.skin);
  c.ball(j.cx + j.lean - (p.facing < 0 ? 0 : 1.5 * p.side), j.headY - 4, 7, 4.5, look.hair);
  if (p.facing > -0.2) {
    c.ball(j.cx + j.lean - 2.5 + 2 * p.side, j.headY, 1, 1, Rgb{40, 30, 30});
    c.ball(j.cx + j.lean + 2.5 + 2 * p.side, j.headY, 1, 1, Rgb{40, 30, 30});
  }
  return c.pic;
}

// Only the robe: drawn where the person's torso, arms and upper legs are.
Bitmap32 robe(Rgb cloth, const Pose& p) {
  Canvas c(44, 80);
  const Joints j = jointsOf(p);
  const double depth = 0.4 + 0.6 * (1 - std::abs(p.facing));
  const double hem = j.footY - 12;
  c.line(j.cx - 6, j.shoulderY + 1, j.cx - 6 - j.armSwing * depth * 0.7, j.shoulderY + 14, 6, scaled(cloth, 0.8));
  c.polygon({{j.cx - 9, j.shoulderY - 3}, {j.cx + 9, j.shoulderY - 3}, {j.cx + 12 + j.legSwing * depth * 0.4, hem},
             {j.cx - 12 - j.legSwing * depth * 0.4, hem}},
            cloth);
  c.line(j.cx - 8, j.hipY - 4, j.cx + 8, j.hipY - 4, 2, Rgb{150, 120, 40});  // belt
  const double strike = p.attack ? 14 * std::max(0.0, std::sin(p.phase)) : 0;
  c.line(j.cx + 6, j.shoulderY + 1, j.cx + 6 + (j.armSwing * depth + strike) * 0.7, j.shoulderY + 14 - strike * 0.7, 6, cloth);
  return c.pic;
}

// One action: its number, frame count, swing and whether it strikes.
struct Action {
  int number;
  int frames;
  double swing;
  bool attack;
};

using Drawer = std::function<Bitmap32(const Pose&)>;

// The frame blocks of a body: every listed action in all five directions.
std::vector<std::pair<int, Bytes>> bodyBlocks(const std::vector<Action>& actions, const Drawer& draw) {
  std::vector<std::pair<int, Bytes>> out;
  for (const auto& a : actions)
    for (int d = 0; d < kAnimDirections; ++d) {
      AnimPaletteBuilder palette;
      std::vector<Bytes> frames;
      for (int f = 0; f < a.frames; ++f) {
        const Bitmap32 pic = draw(poseOf(d, f, a.frames, a.swing, a.attack));
        frames.push_back(encodeAnimFrame(pic, pic.width / 2, -2, palette, AnimTransparency::BlackAndWhite,
                                         "sample frame"));
      }
      out.emplace_back(a.number * kAnimDirections + d, buildAnimBlock(palette.palette(), frames));
    }
  return out;
}

struct SampleBody {
  int body;
  std::vector<Action> actions;
  Drawer draw;
};

// Writes one index/data pair holding the bodies; every other slot up to the last body's end is
// empty.
void writePair(const std::string& dir, const std::string& name, AnimKind kind,
               const std::vector<SampleBody>& bodies) {
  const AnimSlotTable& table = animSlotTable(kind);
  std::int64_t records = 0;
  for (const auto& b : bodies) records = std::max(records, table.firstSlot(b.body) + table.slotsPerBody(b.body));
  std::vector<IndexRecord> index(static_cast<std::size_t>(records), IndexRecord{-1, -1, -1});
  ByteWriter data;
  for (const auto& b : bodies)
    for (const auto& [offset, block] : bodyBlocks(b.actions, b.draw)) {
      index[static_cast<std::size_t>(table.firstSlot(b.body) + offset)] = {
          static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(block.size()), 0};
      data.bytes(block);
    }
  ByteWriter idx(index.size() * kIndexRecordSize);
  for (const auto& r : index) {
    idx.i32(r.lookup);
    idx.i32(r.length);
    idx.i32(r.extra);
  }
  AtomicFile idxFile(joinPath(dir, name + ".idx"));
  AtomicFile mulFile(joinPath(dir, name + ".mul"));
  idxFile.write(idx.data());
  mulFile.write(data.data());
  commitAll({&idxFile, &mulFile});
}

const CreatureLook kWolf{{120, 110, 100}, {190, 180, 160}, {230, 200, 40}, 1.0};
const CreatureLook kCat{{200, 130, 60}, {230, 200, 160}, {60, 200, 80}, 0.6};
const CreatureLook kBear{{100, 65, 35}, {140, 100, 60}, {30, 30, 30}, 1.2};
const CreatureLook kGhostWolf{{150, 170, 200}, {200, 210, 230}, {60, 120, 230}, 1.0};
const CreatureLook kRat{{110, 100, 95}, {170, 150, 140}, {200, 40, 40}, 0.5};
const PersonLook kPerson{{225, 180, 140}, {110, 70, 30}, {60, 90, 150}, {90, 80, 60}, {60, 40, 25}};

// Creature actions: walk, run, idle, attack.
const std::vector<Action> kCreatureActions{{0, 8, 5, false}, {1, 8, 9, false}, {2, 4, 1, false}, {4, 6, 2, true}};
// Person actions: walk, run, stand, strike.
const std::vector<Action> kPersonActions{{0, 8, 7, false}, {2, 8, 11, false}, {4, 4, 0.5, false}, {9, 6, 1, true}};

Drawer creatureDrawer(const CreatureLook& look) {
  return [look](const Pose& p) { return creature(look, p); };
}

}  // namespace

void writeAnimations(const std::string& dir) {
  writePair(dir, "anim", AnimKind::Anim,
            {{0x02, kCreatureActions, creatureDrawer(kWolf)},
             {0xC9, {{0, 6, 4, false}, {1, 6, 7, false}}, creatureDrawer(kCat)},
             {0x190, kPersonActions, [](const Pose& p) { return person(kPerson, p); }},
             {0x1F8, kPersonActions, [](const Pose& p) { return robe(Rgb{130, 40, 50}, p); }}});
  writePair(dir, "anim2", AnimKind::Anim2, {{0x01, {kCreatureActions[0], kCreatureActions[3]}, creatureDrawer(kGhostWolf)}});
  writePair(dir, "anim3", AnimKind::Anim3, {{0x03, {kCreatureActions[0]}, creatureDrawer(kBear)}});
  writePair(dir, "anim4", AnimKind::Anim4, {{0x04, {kCreatureActions[0], kCreatureActions[2]}, creatureDrawer(kRat)}});
  writePair(dir, "anim5", AnimKind::Anim5, {{0x05, {kCreatureActions[0]}, creatureDrawer(kCat)}});
}

}  // namespace quillotide::sample
