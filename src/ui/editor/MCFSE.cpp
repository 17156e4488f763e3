#include "ui/editor/MCFSE.h"

namespace quillotide::ui {

TMCFSE::TMCFSE(const Registry& registry, QWidget* parent)
    : ArtChooser(registry, ArtGrid::Kind::Land, QStringLiteral("MCFSE"), QStringLiteral("Maptiles"),
                 QStringLiteral("dgMaptiles"), parent) {}

}  // namespace quillotide::ui
