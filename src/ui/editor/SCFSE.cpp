#include "ui/editor/SCFSE.h"

namespace quillotide::ui {

TSCFSE::TSCFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : ArtChooser(registry, dialogs, ArtGrid::Kind::Static, QStringLiteral("SCFSE"),
                 QStringLiteral("Statics"), QStringLiteral("dgStatics"), parent) {}

}  // namespace quillotide::ui
