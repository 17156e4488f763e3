#pragma once
// The rebuild of an index/data pair as a page runs it: the model's rebuild and, when that meets a
// damaged slot, the offer to rebuild without the damaged slots.

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>

#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

// The button of the question that a damaged slot raises.
inline const QString kRebuildWithoutDamaged = QStringLiteral("Rebuild without damaged slots");

// Runs rebuild(false). When it stops at a damaged slot, asks with the slot's message whether to
// rebuild without the damaged slots ("Rebuild without damaged slots" or "Cancel"); the first runs
// rebuild(true) and then names the slots left out (through `name`). Every other failure is shown
// as runAction shows it. Returns true when a rebuilt pair was written.
bool runPairRebuild(Dialogs& dialogs,
                    const std::function<std::vector<std::int64_t>(bool skipDamaged)>& rebuild,
                    const std::function<QString(std::int64_t)>& name);

}  // namespace quillotide::ui
