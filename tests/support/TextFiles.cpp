#include "support/TextFiles.h"

namespace quillotide::test {

void appendClilocEntry(Bytes& file, std::int32_t number, std::uint8_t flag, std::string_view text) {
  const std::size_t at = file.size();
  file.resize(at + 7);
  storeU32(file.data() + at, static_cast<std::uint32_t>(number));
  file[at + 4] = flag;
  storeU16(file.data() + at + 5, static_cast<std::uint16_t>(text.size()));
  file.insert(file.end(), text.begin(), text.end());
}

void appendSkillEntry(Bytes& index, std::int32_t lookup, std::int32_t length, std::uint32_t extra) {
  const std::size_t at = index.size();
  index.resize(at + 12);
  storeU32(index.data() + at, static_cast<std::uint32_t>(lookup));
  storeU32(index.data() + at + 4, static_cast<std::uint32_t>(length));
  storeU32(index.data() + at + 8, extra);
}

void appendSkillRecord(Bytes& data, std::uint8_t flag, std::string_view name) {
  data.push_back(flag);
  data.insert(data.end(), name.begin(), name.end());
  data.push_back(0);
}

void appendSpeechEntry(Bytes& file, std::uint16_t id, std::string_view text) {
  file.insert(file.end(),
              {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id),
               static_cast<std::uint8_t>(text.size() >> 8), static_cast<std::uint8_t>(text.size())});
  file.insert(file.end(), text.begin(), text.end());
}

void appendUnifontGlyph(Bytes& file, char32_t code, std::int8_t x, std::int8_t y, std::uint8_t w,
                        std::uint8_t h, std::initializer_list<std::uint8_t> bits) {
  storeU32(file.data() + 4 * code, static_cast<std::uint32_t>(file.size()));
  file.push_back(static_cast<std::uint8_t>(x));
  file.push_back(static_cast<std::uint8_t>(y));
  file.push_back(w);
  file.push_back(h);
  file.insert(file.end(), bits);
}

}  // namespace quillotide::test
