#include "ui/editor/MCFSE.h"

namespace quillotide::ui {

TMCFSE::TMCFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : ArtChooser(registry, dialogs, ArtGrid::Kind::Land, QStringLiteral("MCFSE"),
                 QStringLiteral("Maptiles"), QStringLiteral("dgMaptiles"), parent) {}

}  // namespace quillotide::ui
