// The compiled code page 932 table: some characters pinned, every code
// against its character, and on POSIX hosts the whole table against the C
// library's converter.
#include "output/cp932.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <iconv.h>
#endif

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

std::optional<char32_t> decode(uint16_t code) {
  return code < 0x100 ? decode_cp932_byte(static_cast<uint8_t>(code))
                      : decode_cp932_pair(static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code & 0xFF));
}

TEST(Cp932Test, PinnedCharacters) {
  struct Pin {
    uint16_t code;
    char32_t c;
    uint16_t canonical;  // the code `c` is written with
  };
  const std::vector<Pin> pins = {
      {0x41, U'A', 0x41}, {0x5C, U'\\', 0x5C}, {0x7E, U'~', 0x7E}, {0xA1, U'｡', 0xA1}, {0xDF, U'ﾟ', 0xDF},
      {0x82A0, U'あ', 0x82A0}, {0x815F, U'＼', 0x815F}, {0x8160, U'～', 0x8160}, {0x815C, U'―', 0x815C},
      {0x83CE, U'π', 0x83CE}, {0x8394, U'ヴ', 0x8394}, {0x889F, U'亜', 0x889F}, {0xEAA4, U'熙', 0xEAA4},
      {0x81E0, U'≒', 0x81E0}, {0x8790, U'≒', 0x81E0}, {0x81E6, U'∵', 0x81E6}, {0x879A, U'∵', 0x81E6},
      {0xFA5B, U'∵', 0x81E6}, {0x81CA, U'￢', 0x81CA}, {0xEEF9, U'￢', 0x81CA}, {0xFA54, U'￢', 0x81CA},
      {0x8754, U'Ⅰ', 0x8754}, {0xFA4A, U'Ⅰ', 0x8754}, {0xFA40, U'ⅰ', 0xFA40}, {0xEEEF, U'ⅰ', 0xFA40},
      {0xFA5C, U'纊', 0xFA5C}, {0xED40, U'纊', 0xFA5C}, {0xFC4B, U'黑', 0xFC4B},
      {0xF040, 0xE000, 0xF040}, {0xF07E, 0xE03E, 0xF07E}, {0xF080, 0xE03F, 0xF080}, {0xF9FC, 0xE757, 0xF9FC},
  };
  for (const Pin& p : pins) {
    EXPECT_EQ(decode(p.code), p.c) << std::hex << p.code;
    EXPECT_EQ(encode_cp932(p.c), p.canonical) << std::hex << p.code;
  }
  for (const uint16_t code : {0x80, 0xA0, 0xE0, 0xFD, 0xFF, 0x8540, 0x81AD, 0x817F, 0x81FD, 0x8130, 0xEFFC, 0xFC4C}) {
    EXPECT_EQ(decode(code), std::nullopt) << std::hex << code;
  }
  for (const char32_t c : {0x80u, 0xA5u, 0xE9u, 0x203Eu, 0x2212u, 0x301Cu, 0xD800u, 0xE758u, 0xF8F0u, 0x1F600u}) {
    EXPECT_EQ(encode_cp932(c), std::nullopt) << std::hex << static_cast<uint32_t>(c);
  }
}

TEST(Cp932Test, EveryCodeReadsAsACharacterWrittenWithItsCanonicalCode) {
  size_t canonical = 0;
  std::map<uint16_t, uint16_t> second;  // a character's other code -> its canonical one
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const std::optional<char32_t> c = decode(static_cast<uint16_t>(code));
    if (!c) continue;
    const std::optional<uint16_t> written = encode_cp932(*c);
    ASSERT_TRUE(written) << std::hex << code;
    if (*written == code) {
      ++canonical;
    } else {
      EXPECT_EQ(decode(*written), c) << std::hex << code;
      second[static_cast<uint16_t>(code)] = *written;
    }
  }
  EXPECT_EQ(canonical, 128u + 63 + 7326 + 1880);  // ASCII, katakana, the table, the user-defined area
  // The other codes: NEC's copy of IBM's extension (374 codes), IBM's codes
  // of 13 characters of NEC's row 13, NEC's of 9 of JIS X 0208 (≒, ∵, ...),
  // and IBM's of ∵ and ￢.
  size_t nec_copy = 0;
  for (const auto& [code, written] : second) {
    if (code >= 0xED40 && code <= 0xEEFC) ++nec_copy;
    EXPECT_TRUE((code >= 0xED40 && code <= 0xEEFC) || written < code) << std::hex << code;
  }
  EXPECT_EQ(nec_copy, 374u);
  EXPECT_EQ(second.size(), 374u + 13 + 9 + 2);
  // No code is written for a character it does not read as.
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const std::optional<uint16_t> code = encode_cp932(c);
    if (!code) continue;
    EXPECT_EQ(decode(*code), c) << std::hex << static_cast<uint32_t>(c);
  }
}

#ifndef _WIN32

// One character through iconv: the bytes it turns `in` into, if it takes it
// whole.
std::optional<std::string> iconv_one(const char* to, const char* from, const std::string& in) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  char out[16];
  char* src = const_cast<char*>(in.data());
  char* dst = out;
  size_t src_left = in.size();
  size_t dst_left = sizeof out;
  const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) && src_left == 0;
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return std::string(out, sizeof out - dst_left);
}

std::string utf32(char32_t c) {
  return {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF), static_cast<char>(c >> 16), '\0'};
}

TEST(Cp932Test, ReadsAsTheCLibraryDoes) {
  ASSERT_TRUE(iconv_one("UTF-32LE", "CP932", "A")) << "no CP932 converter";
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    if (code >= 0x100 && code < 0x8000) continue;  // first byte ASCII: two characters
    std::string bytes = code < 0x100 ? std::string(1, static_cast<char>(code))
                                     : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    const std::optional<std::string> theirs = iconv_one("UTF-32LE", "CP932", bytes);
    const std::optional<char32_t> ours = decode(static_cast<uint16_t>(code));
    EXPECT_EQ(theirs && theirs->size() == 4 ? theirs : std::nullopt, ours ? std::optional(utf32(*ours)) : std::nullopt)
        << std::hex << code;
  }
}

TEST(Cp932Test, WritesAsTheCLibraryDoesButForItsOneWayMappings) {
  std::map<char32_t, std::string> differences;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::optional<std::string> theirs = iconv_one("CP932", "UTF-32LE", utf32(c));
    const std::optional<uint16_t> code = encode_cp932(c);
    std::optional<std::string> ours;
    if (code) ours = *code < 0x100 ? std::string(1, static_cast<char>(*code))
                                   : std::string{static_cast<char>(*code >> 8), static_cast<char>(*code & 0xFF)};
    if (theirs != ours) differences[c] = theirs.value_or("none") + (ours ? " vs " + *ours : "");
  }
  // The C library writes these with the code of a similar character.
  const std::map<char32_t, std::string> expected = {
      {U'¢', "\x81\x91"}, {U'£', "\x81\x92"}, {U'¥', "\\"},        {U'¬', "\x81\xCA"},  {U'—', "\x81\x5C"},
      {U'‖', "\x81\x61"}, {U'‾', "~"},        {U'−', "\x81\x7C"}, {U'〜', "\x81\x60"},
  };
  EXPECT_EQ(differences, expected);
}

#endif  // !_WIN32

}  // namespace
}  // namespace tarnwick
