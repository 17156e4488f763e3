#pragma once
// SharedSession: one builder's view of a shared world's facet, held in the editor's own map and
// statics models so that every tool works on it as on files. The session remembers what the
// world held when it last agreed with it (the synced state); the editor's edits since then are a
// step, committed as one transaction. Steps of other builders are read and put into the models
// as they arrive. A refused step is taken back in the models, which then catch up with the world.
//
// The statics model reads every block at load, in block order, so its serials follow the order
// the world keeps (the statics' ids): a serial and an id name one static for the whole session.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"
#include "world/Map.h"
#include "world/SharedWorld.h"

namespace quillotide {

class TMap;
class TStatics;

// What a step changed in the models, for a view to redraw: the cells and the statics' serials.
struct SharedTouched {
  std::vector<std::pair<int, int>> cells;
  std::vector<std::int32_t> statics;
  bool empty() const { return cells.empty() && statics.empty(); }
};

class SharedSession {
public:
  SharedSession(std::unique_ptr<SharedWorld> world, int facet);
  ~SharedSession();

  // Starts listening for steps and loads the facet into the models: the map into `mapFile` (a
  // working copy the map model keeps open; replaced whole), the statics from memory. Throws as
  // SharedWorld::facetFiles and TMap::open; the models are then as they were.
  void load(TMap& map, TStatics& statics, const std::string& mapFile, Progress& progress);

  SharedWorld& world() { return *m_world; }
  TStatics* statics() { return m_statics; }
  int facet() const { return m_facet; }
  std::optional<std::int64_t> idOf(std::int32_t serial) const;
  std::optional<std::int32_t> serialOf(std::int64_t id) const;

  // The models' changes since the last agreement with the world, as a step named `name`.
  SharedStep pendingStep(const std::string& name) const;
  // Commits the pending changes as one step. Applied: the synced state follows. Refused (or not
  // known to be applied): the changes are taken back in the models and the steps the world has
  // since are put in; the result carries the refusal. `touched` receives what changed in the
  // models by it. Throws ConnectionLostError with the models put back when the world cannot be
  // reached.
  SharedStepResult commit(const std::string& name, SharedTouched* touched = nullptr);
  // Takes back this builder's own last step (a new step in the world) and puts it in the models.
  SharedStepResult undo(SharedTouched* touched = nullptr);

  // Reads the notifications that arrived and puts every new step into the models; returns what
  // they touched. Throws ConnectionLostError when the connection is gone.
  SharedTouched takeSteps();
  // After the connection came back: the steps missed meanwhile, put into the models.
  SharedTouched catchUp();
  // The number of the newest step the models hold.
  std::int64_t lastStep() const { return m_lastStep; }

private:
  struct Pending {
    SharedStep step;
    std::vector<std::int32_t> serials;  // the serial of each static change
  };
  Pending pending(const std::string& name) const;
  // A cell as the world holds it (as last agreed), and setting it so.
  MapCell syncedCell(int x, int y) const;
  void setSyncedCell(int x, int y, MapCell cell);
  // Puts a committed step into the models and the synced state, once.
  void putStep(std::int64_t step, SharedTouched* touched);
  // Sets the models' cells and statics back to the synced state where `step` changed them.
  void takeBack(const Pending& pending, SharedTouched* touched);
  // A cell and a static of the models set to what the world holds.
  void setLocalCell(int x, int y, MapCell cell);
  void setLocalStatic(std::int32_t serial, const std::optional<SharedStaticState>& state);
  // The statics' blocks the change touched hold what the world holds: nothing to save there.
  void markAgreed(const SharedStaticChange& change);

  std::unique_ptr<SharedWorld> m_world;
  int m_facet = 0;
  TMap* m_map = nullptr;
  TStatics* m_statics = nullptr;
  FacetSize m_size;
  Bytes m_syncedMap;
  // By serial index (serial - base): the static as the world holds it, nullopt when it is not
  // there (deleted, or added here and not committed).
  std::vector<std::optional<SharedStaticState>> m_syncedStatics;
  std::vector<std::int64_t> m_ids;  // by serial index; 0 for a static the world does not know
  std::unordered_map<std::int64_t, std::int32_t> m_serials;
  std::set<std::int64_t> m_applied;
  std::int64_t m_lastStep = 0;
};

}  // namespace quillotide
