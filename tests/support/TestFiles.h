#pragma once
// Helpers that build test files in code: a temporary folder per test, byte builders, and small
// generated index/data pairs.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/IndexedFile.h"

namespace quillotide::test {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
  std::string m_path;
};

void writeBytes(const std::string& path, const Bytes& bytes);
// A picture of colours that survive the 15-bit conversion exactly and are never the transparent
// colour 0; each seed gives another.
Bitmap32 exactPicture(int width, int height, int seed);
Bytes readBytes(const std::string& path);
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// An index file made of the given records.
Bytes indexBytes(const std::vector<IndexRecord>& records);

// A pair of `slots` slots where every slot i with i % emptyEvery != 0 holds `slotSize` bytes of a
// pattern derived from i (emptyEvery 0: every slot full).
struct GeneratedPair {
  Bytes index;
  Bytes data;
};
GeneratedPair generatePair(std::int64_t slots, std::size_t slotSize, std::int64_t emptyEvery);

// Leaves the files of a pair save that was killed after its commit record, before either rename:
// the new contents as finished temporaries beside the targets and the record naming them. The
// targets keep what they hold.
void writeInterruptedSave(const std::string& indexPath, const Bytes& newIndex,
                          const std::string& dataPath, const Bytes& newData);

}  // namespace quillotide::test
