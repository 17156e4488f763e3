#include "world/SharedSession.h"

#include <algorithm>

#include "app/FileIO.h"
#include "world/Item.h"
#include "world/Map.h"
#include "world/Statics.h"

namespace quillotide {

namespace {

SharedStaticState stateOf(const TItem& item) {
  return {item.x, item.y, item.z, item.tileId, item.hue};
}

std::size_t indexOf(std::int32_t serial) {
  return static_cast<std::size_t>(serial - kStaticSerialBase);
}

std::int32_t serialAt(std::size_t index) {
  return kStaticSerialBase + static_cast<std::int32_t>(index);
}

}  // namespace

SharedSession::SharedSession(std::unique_ptr<SharedWorld> world, int facet)
    : m_world(std::move(world)), m_facet(facet) {}

SharedSession::~SharedSession() = default;

void SharedSession::load(TMap& map, TStatics& statics, const std::string& mapFile,
                         Progress& progress) {
  // Listening first: a step committed while the files are read is then either in them or
  // announced afterwards.
  m_world->listen();
  ProgressSteps steps(progress, 100);
  ProgressPart reading(progress, 0, 80);
  SharedFacetFiles files = m_world->facetFiles(m_facet, reading, true);
  {
    AtomicFile out(mapFile);
    out.write(files.map);
    out.commit();
  }
  if (const auto problem = map.open(mapFile, files.size.width, files.size.height);
      problem && !map.isLoaded())
    throw Error(*problem);
  statics.openBytes(files.staticIndex, files.statics, files.size.width, files.size.height);
  // Every block in block order: the statics are then numbered as the world orders them.
  for (int bx = 0; bx < files.size.width / 8; ++bx) {
    steps.at(80 + bx * 20 / (files.size.width / 8));
    for (int by = 0; by < files.size.height / 8; ++by) statics.itemsAt(bx * 8, by * 8);
  }
  if (statics.itemCount() != files.staticIds.size())
    throw Error("The statics of facet " + std::to_string(m_facet) +
                " were not read as the shared world holds them.");
  m_map = &map;
  m_statics = &statics;
  m_size = files.size;
  m_syncedMap = std::move(files.map);
  m_ids = std::move(files.staticIds);
  m_serials.clear();
  m_syncedStatics.assign(m_ids.size(), std::nullopt);
  for (std::size_t i = 0; i < m_ids.size(); ++i) {
    m_serials[m_ids[i]] = serialAt(i);
    m_syncedStatics[i] = stateOf(*statics.item(serialAt(i)));
  }
  m_applied = std::set<std::int64_t>(files.recentSteps.begin(), files.recentSteps.end());
  m_lastStep = files.lastStep;
  steps.at(100);
}

std::optional<std::int64_t> SharedSession::idOf(std::int32_t serial) const {
  const std::size_t i = indexOf(serial);
  if (serial < kStaticSerialBase || i >= m_ids.size() || m_ids[i] == 0) return std::nullopt;
  return m_ids[i];
}

std::optional<std::int32_t> SharedSession::serialOf(std::int64_t id) const {
  const auto it = m_serials.find(id);
  if (it == m_serials.end()) return std::nullopt;
  return it->second;
}

SharedSession::Pending SharedSession::pending(const std::string& name) const {
  Pending p;
  p.step.facet = m_facet;
  p.step.name = name;
  if (!m_map) return p;
  const std::int64_t blocks = m_map->blockCount();
  const int rows = m_size.height / 8;
  for (std::int64_t b = 0; b < blocks; ++b) {
    if (!m_map->blockChanged(b)) continue;
    const int x0 = static_cast<int>(b / rows) * 8;
    const int y0 = static_cast<int>(b % rows) * 8;
    for (int y = y0; y < y0 + 8; ++y)
      for (int x = x0; x < x0 + 8; ++x) {
        const MapCell synced = syncedCell(x, y);
        const MapCell now = *m_map->cell(x, y);
        if (now != synced) p.step.cells.push_back({x, y, synced, now});
      }
  }
  // Only the blocks an edit marked hold statics that may differ: every change of a static marks
  // the blocks it leaves and enters, and the marks are cleared once the world agrees.
  for (std::int64_t b = 0; b < blocks; ++b) {
    if (!m_statics->blockChanged(b)) continue;
    for (const std::int32_t serial : m_statics->serialsInBlock(b)) {
      const std::size_t i = indexOf(serial);
      const std::optional<TItem> item = m_statics->item(serial);
      const std::optional<SharedStaticState> now =
          !item || item->deleted ? std::nullopt : std::optional(stateOf(*item));
      const std::optional<SharedStaticState> synced =
          i < m_syncedStatics.size() ? m_syncedStatics[i] : std::nullopt;
      if (now == synced) continue;
      p.step.statics.push_back({i < m_ids.size() ? m_ids[i] : 0, synced, now});
      p.serials.push_back(serial);
    }
  }
  return p;
}

SharedStep SharedSession::pendingStep(const std::string& name) const { return pending(name).step; }

MapCell SharedSession::syncedCell(int x, int y) const {
  return loadMapCell(&m_syncedMap[mapCellOffset(m_size.height, x, y)]);
}

void SharedSession::setSyncedCell(int x, int y, MapCell cell) {
  storeMapCell(&m_syncedMap[mapCellOffset(m_size.height, x, y)], cell);
}

void SharedSession::setLocalCell(int x, int y, MapCell cell) {
  m_map->setTileId(x, y, cell.tileId);
  m_map->setAltitude(x, y, cell.z);
  // The world holds this cell now: nothing of it is left to send.
  m_map->restoreMarks(m_map->blockOf(x, y), false, false);
}

SharedStepResult SharedSession::commit(const std::string& name, SharedTouched* touched) {
  const Pending p = pending(name);
  if (p.step.empty()) return {};
  SharedStepResult result;
  try {
    result = m_world->apply(p.step);
  } catch (const ConnectionLostError&) {
    takeBack(p, touched);
    throw;
  }
  if (!result.applied) {
    takeBack(p, touched);
    const SharedTouched more = catchUp();
    if (touched) {
      touched->cells.insert(touched->cells.end(), more.cells.begin(), more.cells.end());
      touched->statics.insert(touched->statics.end(), more.statics.begin(), more.statics.end());
    }
    return result;
  }
  for (const SharedCellChange& c : p.step.cells) {
    setSyncedCell(c.x, c.y, c.after);
    m_map->restoreMarks(m_map->blockOf(c.x, c.y), false, false);
    if (touched) touched->cells.emplace_back(c.x, c.y);
  }
  std::size_t fresh = 0;
  for (std::size_t k = 0; k < p.step.statics.size(); ++k) {
    const std::size_t i = indexOf(p.serials[k]);
    if (m_syncedStatics.size() <= i) m_syncedStatics.resize(i + 1);
    if (m_ids.size() <= i) m_ids.resize(i + 1, 0);
    m_syncedStatics[i] = p.step.statics[k].after;
    if (p.step.statics[k].id == 0 && p.step.statics[k].after) {
      m_ids[i] = result.newStatics.at(fresh++);
      m_serials[m_ids[i]] = p.serials[k];
    }
    markAgreed(p.step.statics[k]);
    if (touched) touched->statics.push_back(p.serials[k]);
  }
  m_applied.insert(result.step);
  m_lastStep = std::max(m_lastStep, result.step);
  return result;
}

void SharedSession::markAgreed(const SharedStaticChange& change) {
  for (const auto& s : {change.before, change.after})
    if (s) m_statics->setBlockChanged(m_statics->blockOf(s->x, s->y), false);
}

SharedStepResult SharedSession::undo(SharedTouched* touched) {
  const SharedStepResult result = m_world->undoOwnLast(m_facet);
  if (result.applied) putStep(result.step, touched);
  return result;
}

void SharedSession::setLocalStatic(std::int32_t serial,
                                   const std::optional<SharedStaticState>& state) {
  const std::optional<TItem> item = m_statics->item(serial);
  if (!item) return;
  if (!state) {
    if (!item->deleted) m_statics->remove(serial);
    return;
  }
  if (item->deleted) m_statics->restore(serial);
  if (item->x != state->x || item->y != state->y || item->z != state->z)
    m_statics->move(serial, state->x - item->x, state->y - item->y, state->z - item->z);
  if (item->hue != state->hue) m_statics->setHue(serial, state->hue);
  if (item->tileId != state->tileId) m_statics->setTileId(serial, state->tileId);
}

void SharedSession::takeBack(const Pending& p, SharedTouched* touched) {
  for (const SharedCellChange& c : p.step.cells) {
    setLocalCell(c.x, c.y, c.before);
    if (touched) touched->cells.emplace_back(c.x, c.y);
  }
  for (std::size_t k = 0; k < p.step.statics.size(); ++k) {
    setLocalStatic(p.serials[k], p.step.statics[k].before);
    markAgreed(p.step.statics[k]);
    if (touched) touched->statics.push_back(p.serials[k]);
  }
}

void SharedSession::putStep(std::int64_t step, SharedTouched* touched) {
  if (!m_applied.insert(step).second) return;
  m_lastStep = std::max(m_lastStep, step);
  const SharedStep changes = m_world->stepChanges(step);
  if (changes.facet != m_facet) return;
  for (const SharedCellChange& c : changes.cells) {
    setLocalCell(c.x, c.y, c.after);
    setSyncedCell(c.x, c.y, c.after);
    if (touched) touched->cells.emplace_back(c.x, c.y);
  }
  for (const SharedStaticChange& c : changes.statics) {
    std::optional<std::int32_t> serial = serialOf(c.id);
    if (!serial) {
      if (!c.after) continue;
      serial = m_statics->add(c.after->tileId, c.after->x, c.after->y, c.after->z, c.after->hue);
      const std::size_t i = indexOf(*serial);
      if (m_ids.size() <= i) m_ids.resize(i + 1, 0);
      m_ids[i] = c.id;
      m_serials[c.id] = *serial;
    } else {
      setLocalStatic(*serial, c.after);
    }
    const std::size_t i = indexOf(*serial);
    if (m_syncedStatics.size() <= i) m_syncedStatics.resize(i + 1);
    m_syncedStatics[i] = c.after;
    markAgreed(c);
    if (touched) touched->statics.push_back(*serial);
  }
}

SharedTouched SharedSession::takeSteps() {
  SharedTouched touched;
  for (const PgNotification& n : m_world->connection().takeNotifications()) {
    if (n.channel != SharedWorld::kStepChannel) continue;
    const std::size_t space = n.payload.find(' ');
    if (space == std::string::npos) continue;
    try {
      if (std::stoi(n.payload.substr(0, space)) != m_facet) continue;
      putStep(std::stoll(n.payload.substr(space + 1)), &touched);
    } catch (const std::logic_error&) {
      // Not a payload of ours; someone else notifies on the channel.
    }
  }
  return touched;
}

SharedTouched SharedSession::catchUp() {
  SharedTouched touched;
  SharedLogFilter filter;
  filter.facet = m_facet;
  filter.after = m_lastStep - SharedWorld::kStepWindow;
  for (const SharedStepInfo& s : m_world->log(filter)) putStep(s.id, &touched);
  return touched;
}

}  // namespace quillotide
