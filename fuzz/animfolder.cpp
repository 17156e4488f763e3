// Feeds arbitrary text to the animation folder importer as its "liste.txt" and first palette file
// (the input is split at its first zero byte): bad lines must end in one clear error, never a crash,
// and whatever imports must decode.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "models/AnimExchange.h"

using namespace quillotide;

namespace {

const std::string& folder() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillotide-animfolder-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    Bitmap32 picture(5, 4, 0xFFFFFFFF);
    picture.at(1, 1) = 0xFFF80000;
    picture.at(2, 3) = 0xFF00F800;
    writeBmpFile(pattern + "/0_0.bmp", picture);
    writeBmpFile(pattern + "/1_0.bmp", picture);
    return pattern;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& dir = folder();
  const std::uint8_t* split = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t listSize = split ? static_cast<std::size_t>(split - data) : size;
  writeFileAtomic(dir + "/liste.txt", {data, listSize});
  if (split) writeFileAtomic(dir + "/palette_0.txt", {split + 1, size - listSize - 1});
  else std::filesystem::remove(dir + "/palette_0.txt");
  Progress silent;
  AnimFolderImport result;
  try {
    result = readAnimFolder(dir, 3, size % 2 == 1, AnimTransparency::BlackAndWhite, silent);
  } catch (const Error&) {
    return 0;
  }
  if (result.blocks.size() != 3 || !result.blocks[0] || !result.blocks[1]) std::abort();
  for (const auto& block : result.blocks) {
    if (!block) continue;
    try {
      AnimBlock(*block).frames(0);
    } catch (const FormatError&) {
      std::abort();
    }
  }
  return 0;
}
