#pragma once
// Where a tool writes the files it makes (reports, extracted pictures): never the program's own
// folder, which may be read-only and is not where a user looks.

#include <optional>
#include <string>

#include <QString>

namespace quillotide {
class TConfig;
}

namespace quillotide::ui {

class Dialogs;

// Asks for the folder that receives `what`. The folder remembered under the configuration key
// `key` is offered first ("Write Here"); otherwise, or on "Choose Folder...", a folder chooser
// asks, and its answer is remembered. nullopt when the user cancels.
std::optional<std::string> askOutputFolder(Dialogs& dialogs, TConfig& config, const char* key,
                                           const QString& what);

}  // namespace quillotide::ui
