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

}  // namespace quillotide
