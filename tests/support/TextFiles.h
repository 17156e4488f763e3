#pragma once
// Byte builders for the text families' files, as their tests write them record by record.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "app/Bytes.h"

namespace quillotide::test {

// One cliloc entry: number, flag, text length, text.
void appendClilocEntry(Bytes& file, std::int32_t number, std::uint8_t flag, std::string_view text);
// One 12-byte skills.idx entry and one skills.mul record (flag, name, the terminating zero).
void appendSkillEntry(Bytes& index, std::int32_t lookup, std::int32_t length, std::uint32_t extra);
void appendSkillRecord(Bytes& data, std::uint8_t flag, std::string_view name);
// One speech.mul entry: big-endian id and length, then the text.
void appendSpeechEntry(Bytes& file, std::uint16_t id, std::string_view text);
// A glyph appended to a Unicode font whose offset table is already in `file`, its table entry
// pointing at it.
void appendUnifontGlyph(Bytes& file, char32_t code, std::int8_t x, std::int8_t y, std::uint8_t w,
                        std::uint8_t h, std::initializer_list<std::uint8_t> bits);

}  // namespace quillotide::test
