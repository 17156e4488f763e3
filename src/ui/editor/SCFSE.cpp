#include "ui/editor/SCFSE.h"

namespace quillotide::ui {

TSCFSE::TSCFSE(const Registry& registry, QWidget* parent)
    : ArtChooser(registry, ArtGrid::Kind::Static, QStringLiteral("SCFSE"),
                 QStringLiteral("Statics"), QStringLiteral("dgStatics"), parent) {}

}  // namespace quillotide::ui
