#include "ui/editor/EditorTools.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "registry/Registry.h"
#include "app/Text.h"
#include "world/Items.h"
#include "world/LandBrush.h"
#include "world/Map.h"
#include "world/Selection.h"
#include "models/Tiledata.h"
#include "world/WorldUndo.h"
#include "ui/editor/SEditorForm.h"

namespace quillotide::ui {

namespace {

// The cells between the two corners of a two-click tool, both included.
struct CellRect {
  int x0, y0, x1, y1;
  bool contains(const TItem& it) const {
    return it.x >= x0 && it.x <= x1 && it.y >= y0 && it.y <= y1;
  }
};

// A two-click tool's click on an item: the first keeps its cell as the corner and gives nothing;
// the second gives the rectangle of both corners and forgets the first.
std::optional<CellRect> secondCorner(TSEditorForm::ToolCorner& corner, const TItem& clicked) {
  if (!corner.isSet()) {
    corner = {clicked.x, clicked.y};
    return std::nullopt;
  }
  const CellRect r{std::min<int>(corner.x, clicked.x), std::min<int>(corner.y, clicked.y),
                   std::max<int>(corner.x, clicked.x), std::max<int>(corner.y, clicked.y)};
  corner = {};
  return r;
}

std::int32_t number(const QString& text) { return parseInt(text.toStdString()); }

// The altitude change that keeps z within -128 .. 127, so every owner and the editor's copy land
// on the same clamped altitude.
int clampedDelta(int z, std::int64_t dz) { return clampAltitude(z + dz) - z; }

class EditorTools {
public:
  EditorTools(TSEditorForm& editor, Registry& registry, StaticToolInputs& statics,
              MapToolInputs& map)
      : m_editor(editor), m_registry(registry), m_statics(statics), m_map(map) {}

  void apply(std::int32_t serial) {
    const int tool = m_editor.editorTool();
    // The two-click corners belong to their tool; any other tool forgets them.
    if (tool != 6) m_editor.tileCorner() = {};
    if (tool < 7 || tool > 16) m_editor.moveCorner() = {};
    if (tool != 17) m_editor.nukeCorner() = {};
    if (tool >= 20) {
      applyMapTool(tool, serial);
      return;
    }
    switch (tool) {
      case 1:
        info(serial);
        break;
      case 2:
        remove(serial);
        break;
      case 3:
        add(serial);
        break;
      case 4:
        changeColour(serial);
        break;
      case 5:
        setId(serial);
        break;
      case 6:
        tile(serial);
        break;
      case 17:
        nuke(serial);
        break;
      case 18:
        getId(serial);
        break;
      case 19:
        getColour(serial);
        break;
      default:
        if (tool >= 7 && tool <= 16) move(tool, serial);
        break;
    }
  }

private:
  WorldSources looks() const {
    return WorldSources{m_registry.art.get(), m_registry.tiledata.get(), m_registry.animdata.get(),
                        m_registry.textures.get(), m_registry.radarcol.get()};
  }
  std::vector<TItem>& items() { return m_editor.scene().visibleItems(); }
  // Every edit goes through the session's recorder, so that it can be undone.
  WorldEdits& edits() { return m_editor.worldEdits(); }
  std::string stepName() const { return editorToolStepName(m_editor.editorTool()); }
  std::uint16_t currentId() const { return static_cast<std::uint16_t>(m_statics.currentId()); }
  std::uint16_t currentColour() const {
    return static_cast<std::uint16_t>(m_statics.currentColour());
  }

  // The first static-like copy with the serial, or nullptr.
  TItem* objectWith(std::int32_t serial) {
    for (TItem& it : items())
      if (it.serial == serial && isObjectKind(it.kind)) return &it;
    return nullptr;
  }

  void info(std::int32_t serial) {
    m_editor.endDrag();
    if (const TItem* it = m_editor.findVisibleItem(serial)) m_statics.showInfo(*it);
  }

  void remove(std::int32_t serial) {
    TItem* it = m_editor.findVisibleItem(serial);
    if (!it || isLandKind(it->kind)) return;
    edits().remove(*it, stepName());
    it->deleted = 1;
  }

  // A new world-file item on (x, y) at z, as the editor draws it.
  TItem newItem(std::uint16_t x, std::uint16_t y, std::int8_t z) {
    const std::uint16_t hue = m_statics.useColour() ? currentColour() : 0;
    TItem made;
    made.tileId = currentId();
    made.x = x;
    made.y = y;
    made.z = z;
    made.hue = hue;
    made.serial = edits().add(made.tileId, x, y, z, hue, stepName());
    made.kind = ItemKind::WorldUnwritten;
    applyStaticLook(made, looks());
    return made;
  }

  void add(std::int32_t serial) {
    const TItem* found = m_editor.findVisibleItem(serial);
    if (!found) return;
    const TItem clicked = *found;
    int z = clicked.z;
    // On a static the new item stands on top of it; on the ground at the cell's altitude.
    if (isObjectKind(clicked.kind) && m_registry.tiledata)
      z += m_registry.tiledata->staticHeight(clicked.tileId);
    const TItem made = newItem(clicked.x, clicked.y, clampAltitude(z));
    items().insert(items().begin(), made);
    m_editor.requestResort();
  }

  void changeColour(std::int32_t serial) {
    TItem* it = objectWith(serial);
    if (!it) return;
    edits().setHue(*it, currentColour(), stepName());
    it->hue = currentColour();
  }

  void setId(std::int32_t serial) {
    TItem* it = objectWith(serial);
    if (!it) return;
    edits().setTileId(*it, currentId(), stepName());
    it->tileId = currentId();
    applyStaticLook(*it, looks());
    m_editor.requestResort();
  }

  void tile(std::int32_t serial) {
    const TItem* found = m_editor.findVisibleItem(serial);
    if (!found) return;
    const auto rect = secondCorner(m_editor.tileCorner(), *found);
    if (!rect) return;
    // A field that stops the fill keeps the items made before it; they are drawn either way,
    // and the fill is one undo step.
    struct Resort {
      TSEditorForm& editor;
      ~Resort() { editor.requestResort(); }
    } resortAfter{m_editor};
    const UndoGroup step(edits().stack(), stepName());
    for (int x = rect->x0; x <= rect->x1; ++x)
      for (int y = rect->y0; y <= rect->y1; ++y) {
        const std::int8_t z = clampAltitude(number(m_statics.tileZ()));
        items().push_back(newItem(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), z));
      }
  }

  // Both moves keep to the selection's rule: what would leave the world (or what its owner will
  // not take there) stays where it was, the rest moves, and one message counts what stayed.
  void move(int tool, std::int32_t serial) {
    const MoveStep step = staticToolMove(tool, m_statics);
    const WorldBounds bounds = worldBoundsOf(edits().models());
    if (!m_statics.moveArea()) {
      TItem* it = objectWith(serial);
      if (!it) return;
      const int dz = clampedDelta(it->z, step.dz);
      if (!moveWithin(edits(), *it, step.dx, step.dy, step.dz, bounds, stepName())) {
        m_editor.tellAfterStroke(QString::fromStdString(leftOutMessage(1)));
        return;
      }
      it->x = static_cast<std::uint16_t>(it->x + step.dx);
      it->y = static_cast<std::uint16_t>(it->y + step.dy);
      it->z = static_cast<std::int8_t>(it->z + dz);
      m_editor.requestResort();
      return;
    }
    const TItem* found = m_editor.findVisibleItem(serial);
    if (!found) return;
    const auto rect = secondCorner(m_editor.moveCorner(), *found);
    if (!rect) return;
    const bool testId = m_statics.moveTestId();
    std::size_t leftOut = 0;
    {
      // The copies stay where they were; the rebuild draws the owners' new positions.
      struct Rebuild {
        TSEditorForm& editor;
        ~Rebuild() { editor.requestRebuild(); }
      } rebuildAfter{m_editor};
      const UndoGroup group(edits().stack(), stepName());
      const std::vector<TItem> area = items();
      for (const TItem& it : area) {
        if (!isObjectKind(it.kind) || it.deleted || !rect->contains(it)) continue;
        if (testId && it.tileId != currentId()) continue;
        if (!moveWithin(edits(), it, step.dx, step.dy, step.dz, bounds, stepName())) ++leftOut;
      }
    }
    if (leftOut) m_editor.tellAfterStroke(QString::fromStdString(leftOutMessage(leftOut)));
  }

  void nuke(std::int32_t serial) {
    const TItem* found = m_editor.findVisibleItem(serial);
    if (!found) return;
    const auto rect = secondCorner(m_editor.nukeCorner(), *found);
    if (!rect) return;
    const bool testId = m_statics.nukeTestId();
    const bool testHeight = m_statics.nukeTestHeight();
    const bool setColour = m_statics.nukeSetColour();
    // Both bounds are read before anything changes, so a bad one leaves the rectangle whole.
    int low = 0, high = 0;
    if (testHeight) {
      low = number(m_statics.nukeDown());
      high = number(m_statics.nukeUp());
    }
    const UndoGroup group(edits().stack(), stepName());
    for (TItem& it : items()) {
      if (!isObjectKind(it.kind) || it.deleted || !rect->contains(it)) continue;
      if (testId && it.tileId != currentId()) continue;
      if (testHeight && (it.z < low || it.z > high)) continue;
      if (setColour) {
        edits().setHue(it, currentColour(), stepName());
        it.hue = currentColour();
      } else {
        edits().remove(it, stepName());
        it.deleted = 1;
      }
    }
  }

  void getId(std::int32_t serial) {
    if (const TItem* it = m_editor.findVisibleItem(serial); it && isObjectKind(it->kind))
      m_statics.takeId(it->tileId);
  }

  void getColour(std::int32_t serial) {
    if (const TItem* it = m_editor.findVisibleItem(serial); it && isObjectKind(it->kind))
      m_statics.takeColour(it->hue);
  }

  void applyMapTool(int tool, std::int32_t serial) {
    const TItem* found = m_editor.findVisibleItem(serial);
    if (!found) return;
    if (tool == 20) {
      if (isLandKind(found->kind)) m_map.takeId(found->tileId);
      return;
    }
    TMap* map = m_registry.map.get();
    if (!map) return;
    const int cx = found->x, cy = found->y;
    // A field that stops the loop keeps the cells before it; the view shows them either way.
    struct Rebuild {
      TSEditorForm& editor;
      ~Rebuild() { editor.requestRebuild(); }
    } rebuildAfter{m_editor};
    // Cells outside the map are left alone, so the loop need not visit them: a very large
    // custom cursor costs at most the map itself.
    const std::vector<BrushCell> cells =
        m_editor.landBrush().cells(cx, cy, map->width(), map->height());
    // The cells of one click are one undo step, also when a bad field stops the loop.
    const std::string name = stepName();
    const UndoGroup group(edits().stack(), name);
    if (tool == kSmooth) {
      // Every cell moves towards its neighbours as they were before this step.
      const std::vector<int> z = smoothedAltitudes(
          cells, map->width(), map->height(), [map](int x, int y) { return map->getAltitude(x, y); });
      for (std::size_t i = 0; i < cells.size(); ++i)
        edits().editCell(
            cells[i].x, cells[i].y,
            [&](TMap& m) { m.setAltitude(cells[i].x, cells[i].y, z[i]); }, name);
      return;
    }
    if (tool == kFlatten) {
      // The stroke keeps the altitude of the cell it began on.
      const std::uint64_t stroke = edits().stack().groupSerial();
      if (!m_flattenZ || m_flattenStroke != stroke) {
        m_flattenZ = map->getAltitude(cx, cy);
        m_flattenStroke = stroke;
      }
    }
    for (const BrushCell& c : cells)
      edits().editCell(
          c.x, c.y, [&](TMap& m) { changeCell(m, tool, c.x, c.y); }, name);
  }

  void changeCell(TMap& map, int tool, int x, int y) {
    switch (tool) {
      case 21:
        map.setTileId(x, y, static_cast<std::uint16_t>(pickId(m_map.landIds(), m_registry.random)));
        break;
      case 22:
      case 23: {
        const std::int64_t n = number(m_map.upDownStep());
        map.addAltitude(x, y,
                        static_cast<int>(std::clamp<std::int64_t>(tool == 22 ? n : -n, -256, 256)));
        break;
      }
      case 24:
        map.setAltitude(x, y, number(m_map.upDownStep()));
        break;
      case 25: {
        // Max below Min takes the range between them; equal bounds give Min itself.
        const int a = number(m_map.minZ()), b = number(m_map.maxZ());
        const std::int64_t lo = std::min(a, b), hi = std::max(a, b);
        const std::int64_t r = hi > lo ? m_registry.random.uniform(0, hi - lo - 1) : 0;
        map.setAltitude(x, y, static_cast<int>(std::clamp<std::int64_t>(lo + r, -128, 127)));
        break;
      }
      case kFlatten:
        if (m_flattenZ) map.setAltitude(x, y, *m_flattenZ);
        break;
      default:
        break;
    }
  }

  static constexpr int kSmooth = 26;
  static constexpr int kFlatten = 27;

  TSEditorForm& m_editor;
  Registry& m_registry;
  StaticToolInputs& m_statics;
  MapToolInputs& m_map;
  std::optional<int> m_flattenZ;
  std::uint64_t m_flattenStroke = 0;
};

}  // namespace

MoveStep staticToolMove(int tool, const StaticToolInputs& inputs) {
  if (tool == 15 || tool == 16) {
    const std::int64_t u = number(inputs.upDownStep());
    return {0, 0, static_cast<int>(std::clamp<std::int64_t>(tool == 15 ? u : -u, -256, 256))};
  }
  if (tool < 7 || tool > 14) return {0, 0, 0};
  const int m = number(inputs.moveStep());
  static constexpr int kDirections[8][2] = {{-1, 0}, {-1, -1}, {0, -1}, {1, -1},
                                            {1, 0},  {1, 1},   {0, 1},  {-1, 1}};
  const auto* d = kDirections[tool - 7];
  return {d[0] * m, d[1] * m, 0};
}

std::string editorToolStepName(int tool) {
  switch (tool) {
    case 2:
      return "Delete";
    case 3:
      return "Add";
    case 4:
      return "Colour";
    case 5:
      return "Set Id";
    case 6:
      return "Tile";
    case 17:
      return "Nuke";
    case 21:
      return "Land Id";
    case 22:
      return "Raise";
    case 23:
      return "Lower";
    case 24:
      return "Set Altitude";
    case 25:
      return "Random Altitude";
    case 26:
      return "Smooth";
    case 27:
      return "Flatten";
    default:
      return tool >= 7 && tool <= 16 ? "Move" : "Edit";
  }
}

void installEditorTools(TSEditorForm& editor, Registry& registry, StaticToolInputs& statics,
                        MapToolInputs& map) {
  auto tools = std::make_shared<EditorTools>(editor, registry, statics, map);
  for (int tool = 1; tool < TSEditorForm::kToolCount; ++tool)
    editor.setToolHandler(tool,
                          [tools](TSEditorForm&, std::int32_t serial) { tools->apply(serial); });
}

}  // namespace quillotide::ui
