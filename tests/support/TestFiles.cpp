#include "support/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quillotide::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillotide-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders made by tests must not stop the clean-up.
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

Bitmap32 exactPicture(int width, int height, int seed) {
  Bitmap32 b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b.at(x, y) =
          colour16ToPixel(static_cast<Colour16>(0x0421 + (x * 5 + y * 97 + seed * 1013) % 0x7000));
  return b;
}

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path) {
  const Bytes b = readBytes(path);
  return std::string(b.begin(), b.end());
}

void writeText(const std::string& path, const std::string& text) {
  writeBytes(path, Bytes(text.begin(), text.end()));
}

Bytes indexBytes(const std::vector<IndexRecord>& records) {
  ByteWriter w;
  for (const auto& r : records) {
    w.i32(r.lookup);
    w.i32(r.length);
    w.i32(r.extra);
  }
  return w.take();
}

GeneratedPair generatePair(std::int64_t slots, std::size_t slotSize, std::int64_t emptyEvery) {
  GeneratedPair pair;
  ByteWriter index(static_cast<std::size_t>(slots) * 12);
  pair.data.reserve(static_cast<std::size_t>(slots) * slotSize);
  for (std::int64_t i = 0; i < slots; ++i) {
    if (emptyEvery > 0 && i % emptyEvery == 0) {
      index.i32(-1);
      index.i32(-1);
      index.i32(-1);
      continue;
    }
    index.i32(static_cast<std::int32_t>(pair.data.size()));
    index.i32(static_cast<std::int32_t>(slotSize));
    index.i32(static_cast<std::int32_t>(i));
    for (std::size_t b = 0; b < slotSize; ++b)
      pair.data.push_back(static_cast<std::uint8_t>((static_cast<std::size_t>(i) * 31 + b) & 0xFF));
  }
  pair.index = index.take();
  return pair;
}

void writeInterruptedSave(const std::string& indexPath, const Bytes& newIndex,
                          const std::string& dataPath, const Bytes& newData) {
  std::string record = "quillotide pair save\n";
  int n = 0;
  for (const auto& [target, bytes] :
       {std::pair{indexPath, newIndex}, std::pair{dataPath, newData}}) {
    const std::string temp = target + ".tmp" + std::to_string(424242 + n++);
    writeBytes(temp, bytes);
    struct stat st {};
    ::stat(temp.c_str(), &st);
    record += "target " + target + "\ntemp " + temp + "\nbackup \nfile " +
              std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + "\n";
  }
  writeText(indexPath + ".commit", record);
}

}  // namespace quillotide::test
