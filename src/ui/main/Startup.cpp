#include "ui/main/Startup.h"

#include <cstring>

namespace quillotide::ui {

StartSwitch startSwitch(int argc, const char* const* argv) {
  if (argc < 2 || !argv || !argv[1]) return StartSwitch::None;
  if (std::strcmp(argv[1], "--Worldeditor") == 0) return StartSwitch::Worldeditor;
  if (std::strcmp(argv[1], "--sample") == 0) return StartSwitch::Sample;
  return StartSwitch::None;
}

}  // namespace quillotide::ui
