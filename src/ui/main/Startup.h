#pragma once
// The command-line switches of the program. Only the first argument counts, in exactly these
// letters: "--Worldeditor" loads the world editor's files, "--sample" opens the sample set.

namespace quillotide::ui {

enum class StartSwitch { None, Worldeditor, Sample };

StartSwitch startSwitch(int argc, const char* const* argv);

}  // namespace quillotide::ui
