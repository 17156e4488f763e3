#pragma once
// The one exception family of the core. It carries the text the user sees; the UI shows it in a
// message box at the action boundary, the CLI prints it to stderr.

#include <stdexcept>
#include <string>

namespace quillotide {

class Error : public std::runtime_error {
public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be opened, read or created. The message is the file layer's text.
class FileError : public Error {
public:
  using Error::Error;
};

// Bytes of a file or slot do not follow their format.
class FormatError : public Error {
public:
  using Error::Error;
};

// Runs f and returns what it returns; a FormatError it throws is raised again with `context` before
// its text ("Static 0x2: ..."), so that every format error names the slot it was found in.
template <class F>
auto withContext(const std::string& context, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const FormatError& e) {
    throw FormatError(context + ": " + e.what());
  }
}

}  // namespace quillotide
