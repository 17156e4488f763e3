#pragma once
// Text helpers every part of the program shares: the integer text rule, slot labels, message
// formatting, Split, and text files (written with CR LF, read with any line end).

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillotide {

class WriteBatch;

// The integer text rule: leading spaces, an optional sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X"; nothing may follow. Decimal must fit a signed 32-bit
// integer; hexadecimal may use all 32 bits (0xFFFFFFFF reads as -1).
std::optional<std::int32_t> tryParseInt(std::string_view text);
// As tryParseInt; throws Error("'%s' is not a valid integer value") when the text does not parse.
std::int32_t parseInt(std::string_view text);

// "0x%x" with upper-case digits and no leading zeros: 16383 -> "0x3FFF".
std::string hexLabel(std::uint32_t value);
// Upper-case hexadecimal digits without prefix or leading zeros.
std::string hexDigits(std::uint32_t value);

// Replaces each "%s", "%d" or "%x" of a fixed message pattern, in order, with the next argument.
// The arguments are plain text; nothing typed by a user is ever taken as a pattern.
std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

// The pieces of a text between separators, empty pieces included; an empty text gives one piece.
std::vector<std::string> split(std::string_view text, std::string_view separator);

// Text in the game's files is 8-bit Windows-1252. fromWindows1252 gives UTF-8 for every byte
// (the five bytes the code page leaves undefined become U+0081, U+008D, U+008F, U+0090, U+009D,
// so they survive a round trip). toWindows1252 gives the bytes back and throws Error naming the
// first character the code page cannot hold, or saying the text is not UTF-8.
std::string fromWindows1252(std::string_view bytes);
std::string toWindows1252(std::string_view utf8);
// The Unicode code point of one Windows-1252 byte.
char32_t windows1252CodePoint(unsigned char b);
// Appends the UTF-8 bytes of a code point.
void appendUtf8(std::string& out, char32_t c);
// The code point of the well-formed UTF-8 sequence at text[i] (shortest form, no surrogates, at
// most U+10FFFF), advancing i past it; nullopt, i unchanged, when the bytes there are not one.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& i);
// The text with every byte that does not start a well-formed UTF-8 sequence replaced by U+FFFD
// (well-formed: shortest form, no surrogates, at most U+10FFFF).
std::string toValidUtf8(std::string_view text);
// Whether the whole text is well-formed UTF-8 (as nextUtf8 reads it).
bool isUtf8(std::string_view text);
// A code point as the Unicode standard writes it: "U+0041", "U+1F600" (at least four digits).
std::string codePointLabel(char32_t c);

std::string toUpper(std::string_view text);
std::string trim(std::string_view text);

// The line of text that starts at pos, without its end (CR LF, LF or CR); pos moves past the
// end. False, with nothing changed, when pos is at the end of the text.
bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line);
// Splits text into lines at CR LF, LF or CR. A final line end does not start an extra line.
std::vector<std::string> splitLines(std::string_view text);
// Reads a text file line by line; throws FileError "Cannot open file %s" when it cannot be read.
std::vector<std::string> readTextLines(const std::string& path);
// Writes every line followed by CR LF, replacing the file whole (see writeFileAtomic).
void writeTextLines(const std::string& path, const std::vector<std::string>& lines);
// The same as a new file of an export job, flushed with the rest of the job (see WriteBatch).
void writeTextLines(const std::string& path, const std::vector<std::string>& lines,
                    WriteBatch& batch);

}  // namespace quillotide
