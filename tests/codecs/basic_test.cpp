#include "codecs/basic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "volume/coding.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::pair<uint16_t, Bytes>>;

Bytes program_of(const Lines& lines) {
  Bytes p;
  for (const auto& [number, body] : lines) {
    p.resize(p.size() + 4);
    store16(&p[p.size() - 4], static_cast<uint16_t>(body.size() + basic::kLineOverhead));
    store16(&p[p.size() - 2], number);
    p.insert(p.end(), body.begin(), body.end());
    p.push_back(basic::kLineEnd);
  }
  p.insert(p.end(), {0, 0});
  return p;
}

constexpr TextForm kCp932{TextEncoding::kCp932, "\n"};
constexpr TextForm kUtf8{TextEncoding::kUtf8, "\n"};

Bytes read_ok(std::string_view text, TextEncoding encoding = TextEncoding::kCp932) {
  const TextRead r = read_basic_listing(text, encoding);
  EXPECT_FALSE(r.error) << text << ": error on line " << (r.error ? r.error->line : 0);
  return r.bytes;
}

std::string repeat(std::string_view s, size_t n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

// Line 10 with each body lists as "10 " + text and reads back from it, in
// code page 932 and, where it differs, in UTF-8.
TEST(BasicTest, LinesListAndReadBack) {
  const struct {
    Bytes body;
    std::string text;
    std::string utf8 = text;
  } cases[] = {
      {{0x80, 0x88, ' ', '1', 0xB2, 0x56, '1', 0x9E, '5', 0x9F, '2'}, "PRINT 1CSRV1TO5STEP2"},
      {{0xB1, 0xFF, 0x80, 0xA8, 0x80, 0x9B}, "CHARACTER$(\x83\xCE" "INP@INPUT", "CHARACTER$(\u03C0INP@INPUT"},
      {{0x80, 0xC0, 0x89, 0xB2, 0x00, 0xD0, 'A', 0x80}, "{80 C0}{89}{B2 00}{D0}A{80}"},  // no keyword
      {{0xB2}, "{B2}"},
      {{0x0D, 0x0A, 0x00, '{', 0x7F, 't', 'o'}, "{0D}{0A}{00}{7B}\x7Fto"},
      {{' ', 'X', ' '}, " X "},
      {{}, ""},
      // Literals: a quote to the next one or the line's end, the tails.
      {{0x80, 0x88, '"', 'T', 'O', 0x9E, 0xB1, 0x80, '"', 0x9E}, "PRINT\"TO{9E}\xB1{80}\"TO", "PRINT\"TO{9E}\uFF71{80}\"TO"},
      {{'"', 'A', 0x80, 0x80}, "\"A{80}{80}"},
      {{0x80, 0x80, '"', 'T', 'O', 0x0D, '{', 0xDF}, "REM\"TO{0D}{7B}\xDF", "REM\"TO{0D}{7B}\uFF9F"},
      {{'"', 0xA1, 0xB2, 0x5C, '~', '"', 0xB2, 0x56}, "\"\xA1\xB2\\~\"CSRV", "\"\uFF61\uFF72\\~\"CSRV"},
      {{0x80, 0x81, ' ', 'T', 'O', '"', 0x80, 0x82, '1', ')', '=', 'R', 'U', 'N'}, "DATA TO\"{80}{82}1)=RUN"},
      {{0x80, 0x82, '1', ')', '=', 'R', 'U', 'N', 0x7F}, "DEF KEY(1)=RUN\x7F"},
      {{0x80, 0x22, 'T', 'O'}, "{80 22}{54}O"},  // a code's second byte opens no quote
      // Text that would read back as another keyword.
      {{'T', 'O', '=', '1', 'S', 'T', 'R', 0x9E}, "{54}O=1STRTO"},
      {{0x8B, '>', 0x8B, 0x8A, 0x8A, 0x8B, '='}, "<{3E}{8B}>>{8B}="},
      {{0xB3, 'I', 'T', 'I', 'O', 'N'}, "POSITI{4F}N"},  // POS, then ON broken
      {{'D', 'E', 'F', ' ', 'K', 'E', 'Y', '(', '1'}, "{44}EF KEY(1"},
  };
  for (const auto& c : cases) {
    const Bytes program = program_of({{10, c.body}});
    EXPECT_EQ(list_basic_program(program, kCp932), "10 " + c.text + "\n") << c.text;
    EXPECT_EQ(read_ok("10 " + c.text), program) << c.text;
    EXPECT_EQ(list_basic_program(program, kUtf8), "10 " + c.utf8 + "\n") << c.utf8;
    EXPECT_EQ(read_ok("10 " + c.utf8, TextEncoding::kUtf8), program) << c.utf8;
  }
}

TEST(BasicTest, ReadingAcceptsWhatListingsDoNotWrite) {
  const struct {
    std::string text;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"10", {{10, {}}}},
      {"010 A\n\n   \r\n00065535 B\n0 C", {{10, {'A'}}, {65535, {'B'}}, {0, {'C'}}}},
      // Order kept; "\r", "\n" and "\r\n" each end a line.
      {"20 A\r\n10 B\r30 C\r\r\n40 D\n\r", {{20, {'A'}}, {10, {'B'}}, {30, {'C'}}, {40, {'D'}}}},
      {"10 {41 42 7b}\"{22}TO\"TO", {{10, {'A', 'B', '{', '"', '"', 'T', 'O', '"', 0x9E}}}},  // closes nothing
      {"10 print><>=<", {{10, {'p', 'r', 'i', 'n', 't', 0x83, 0x88, 0x8B}}}},
  };
  for (const auto& c : cases) EXPECT_EQ(read_ok(c.text), program_of(c.lines)) << c.text;
  // UTF-8: a byte-order mark first is passed over.
  EXPECT_EQ(read_ok("\uFEFF10 \uFF71~\r20 \u03C0", TextEncoding::kUtf8), program_of({{10, {0xB1, '~'}}, {20, {0xFF}}}));
  // The longest body still fits, and the limit is on the bytes, not the text.
  EXPECT_EQ(read_ok("10 " + std::string(basic::kMaxBody, 'A')).size(), basic::kMaxBody + 7);
  EXPECT_EQ(read_ok("10 " + repeat("PRINT", 20000)).size(), 40000u + 7);
}

TEST(BasicTest, ReadingRefusesWithTheLineAndItsText) {
  using enum ListingErrorKind;
  const struct {
    std::string text;
    ListingErrorKind kind;
    size_t line;
    std::string what;
  } cases[] = {
      {"X", kNoLineNumber, 1, "X"},
      {"10 A\n\n  \n65536 A", kNoLineNumber, 4, "65536 A"},
      {"10X", kNoLineNumber, 1, "10X"},
      {" 10 A", kNoLineNumber, 1, " 10 A"},
      {"10\tA\r\n", kNoLineNumber, 1, "10\tA"},
      {"10 A{", kBadBrace, 1, "{"},
      {"10 {4}", kBadBrace, 1, "{4}"},
      {"10 {}", kBadBrace, 1, "{}"},
      {"10 {41  42} B", kBadBrace, 1, "{41  42}"},
      {"10 { 41}{4G}", kBadBrace, 1, "{ 41}"},
      {"1\r\n2 REM{414", kBadBrace, 2, "{414"},
      {"10 " + std::string(basic::kMaxBody + 1, 'A'), kLineTooLong, 1, "10"},
      {"7 " + repeat("{80 88}", basic::kMaxBody / 2 + 1), kLineTooLong, 1, "7"},
      {"10 A\r20 B\x01", kControlByte, 2, "\x01"},
      {"1\r\r\n3 REM\x83\xCE", kNoMachineCode, 3, "\x83\xCE"},  // π is a keyword only outside literals
  };
  for (const auto& c : cases) {
    const TextRead r = read_basic_listing(c.text, TextEncoding::kCp932);
    ASSERT_TRUE(r.error) << c.text;
    EXPECT_EQ(r.error->kind, c.kind) << c.text;
    EXPECT_EQ(r.error->line, c.line) << c.text;
    EXPECT_EQ(r.error->text, c.what) << c.text;
    EXPECT_TRUE(r.bytes.empty());
  }
}

// From UTF-8, a character without a code page 932 code is refused where it
// stands: after the faults of the lines before it, before those after it.
TEST(BasicTest, ReadingUtf8RefusesCharactersWithoutACode) {
  using enum ListingErrorKind;
  const struct {
    std::string text;
    ListingErrorKind kind;
    size_t line;
    std::string what;
  } cases[] = {
      {"10 A\n\n20 PRINT \"\u00E9\"\n30 {", kNotShiftJis, 3, "\u00E9"},
      {"10 {\n20 \U0001F600", kBadBrace, 1, "{"},
      {"10 A\n20 \xFF\xFE", kNotShiftJis, 2, "%FF"},  // no UTF-8
      {"10 \u00A5", kNotShiftJis, 1, "\u00A5"},       // no one-way mappings
      {"1\r\n\uFEFF10 A", kNotShiftJis, 2, "\uFEFF"},
      {"1\r\r\n3 \u00E9", kNotShiftJis, 3, "\u00E9"},
  };
  for (const auto& c : cases) {
    for (const auto& read : {read_basic_listing, text_to_bsd}) {
      const TextRead r = read(c.text, TextEncoding::kUtf8);
      if (read == text_to_bsd && c.kind != kNotShiftJis) continue;
      ASSERT_TRUE(r.error) << c.text;
      EXPECT_EQ(r.error->kind, c.kind) << c.text;
      EXPECT_EQ(r.error->line, c.line) << c.text;
      EXPECT_EQ(r.error->text, c.what) << c.text;
      EXPECT_TRUE(r.bytes.empty());
    }
  }
}

TEST(BasicTest, ListingRefusesBytesThatAreNoProgram) {
  // No end, a byte after it, a length below 5 or past the end, no 0x0D.
  for (const Bytes& c : {Bytes{}, Bytes{0}, Bytes{0, 0, 0}, Bytes{5, 0, 10, 0, 0x0D}, Bytes{4, 0, 10, 0, 0, 0},
                         Bytes{9, 0, 10, 0, 'A', 0x0D, 0, 0}, Bytes{6, 0, 10, 0, 'A', 'B', 0, 0}}) {
    EXPECT_FALSE(list_basic_program(c, kCp932)) << ::testing::PrintToString(c);
  }
  EXPECT_EQ(list_basic_program(Bytes{0, 0}, kCp932), "");
  EXPECT_EQ(list_basic_program(Bytes{5, 0, 0xFF, 0xFF, 0x0D, 0, 0}, TextForm{TextEncoding::kCp932, "\r\n"}),
            "65535 \r\n");
}

// The listing relies on this: no keyword starts with REM, DATA or DEF KEY(,
// so those three are never escaped and the reader enters every tail.
TEST(BasicTest, KeywordTable) {
  std::set<uint16_t> codes;
  std::set<std::string_view> texts;
  for (const BasicKeyword& k : basic_keywords()) {
    EXPECT_TRUE(codes.insert(k.code).second && texts.insert(k.text).second) << k.text;
    for (const BasicKeyword& t : basic_keywords()) {
      EXPECT_FALSE(opens_literal_tail(t.code) && k.code != t.code && k.text.starts_with(t.text)) << k.text;
    }
  }
  EXPECT_EQ(codes.size(), 104u);
}

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A real program (an MZT file: 128-byte header, then the body) and its
// published listing, CRLF ended. The published lines 10-100 spell DEF KEY(
// as DEFKEY; every other line is as the tool lists it.
TEST(BasicTest, RealProgramListsAsPublished) {
  const std::filesystem::path folder = std::filesystem::path(TARNWICK_REALDATA).parent_path() / "basic";
  if (!std::filesystem::exists(folder / "SD_BAS.mzt")) GTEST_SKIP() << "no " << folder;
  const std::string mzt = slurp(folder / "SD_BAS.mzt");
  ASSERT_GE(mzt.size(), 128u);
  const Bytes body(mzt.begin() + 128, mzt.end());
  ASSERT_EQ(body.size(), load16(reinterpret_cast<const uint8_t*>(mzt.data()) + 0x12));

  std::optional<std::string> listing = list_basic_program(body, TextForm{TextEncoding::kCp932, "\r\n"});
  ASSERT_TRUE(listing);
  EXPECT_EQ(read_ok(*listing), body);
  for (size_t at; (at = listing->find("DEF KEY(")) != std::string::npos;) listing->replace(at, 8, "DEFKEY");
  // Compared whole: a difference shows as a diff of the lines.
  EXPECT_EQ(*listing, slurp(folder / "SD_BAS.TXT"));
}

// Programs of random lines whose bodies mix what clashes: codes, the text
// of keywords, letters, quotes, braces, lone 0x80 and 0xB2, any byte.
TEST(BasicTest, EveryProgramReadsBackFromItsListing) {
  static const std::string kLetters = "TOSPIONREMDATKFY <>=({}\"$ ";
  const std::span<const BasicKeyword> keywords = basic_keywords();
  std::mt19937 rng(2500);
  const auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  for (int round = 0; round < 3000; ++round) {
    Lines lines(pick(5));
    for (auto& [number, body] : lines) {
      number = static_cast<uint16_t>(rng());
      for (size_t pieces = pick(12); pieces > 0; --pieces) {
        const BasicKeyword& k = keywords[pick(keywords.size())];
        const size_t kind = pick(6);
        if (kind == 0 && k.code >= 0x100) body.push_back(static_cast<uint8_t>(k.code >> 8));
        if (kind == 0) body.push_back(static_cast<uint8_t>(k.code));
        if (kind == 1) body.insert(body.end(), k.text.begin(), k.text.end());
        if (kind == 2 || kind == 3) body.push_back(static_cast<uint8_t>(kLetters[pick(kLetters.size())]));
        if (kind == 4) body.push_back(pick(2) ? 0x80 : 0xB2);
        if (kind == 5) body.push_back(static_cast<uint8_t>(rng()));
      }
    }
    const Bytes program = program_of(lines);
    const std::optional<std::string> listing =
        list_basic_program(program, TextForm{TextEncoding::kCp932, round % 2 ? "\r\n" : "\n"});
    ASSERT_TRUE(listing);
    ASSERT_EQ(read_ok(*listing), program) << *listing;
    const std::optional<std::string> utf8 = list_basic_program(program, kUtf8);
    ASSERT_TRUE(utf8);
    ASSERT_EQ(read_ok(*utf8, TextEncoding::kUtf8), program) << *utf8;
    // Code page 932 text: ASCII, katakana and π only.
    for (size_t i = 0; i < listing->size(); ++i) {
      const auto b = static_cast<uint8_t>((*listing)[i]);
      const bool pi = b == 0x83 && i + 1 < listing->size() && static_cast<uint8_t>((*listing)[i + 1]) == 0xCE;
      ASSERT_TRUE((b >= 0x20 && b <= 0x7F) || (b >= 0xA1 && b <= 0xDF) || b == '\r' || b == '\n' || pi) << *listing;
      i += pi;
    }
  }
}

// A BSD file as text and back, in both encodings; refused when a byte, or a
// character's code, would not come back the same.
TEST(BasicTest, BsdText) {
  const std::string text = "A\t~{\x7F\xA1\xDF\x81\x40\xFA\x5C\xF0\x40\x9F\x7E";
  const std::string utf8 = "A\t~{\x7F\uFF61\uFF9F\u3000\u7E8A\uE000\u6BEF";
  Bytes file(text.begin(), text.end());
  file.insert(file.end(), {0x0D, 0x0D});
  EXPECT_EQ(bsd_to_text(file, TextForm{TextEncoding::kCp932, "\r\n"}), text + "\r\n\r\n");
  EXPECT_EQ(bsd_to_text(file, kUtf8), utf8 + "\n\n");
  EXPECT_EQ(text_to_bsd(text + "\r\n\n", TextEncoding::kCp932).bytes, file);
  EXPECT_EQ(text_to_bsd(utf8 + "\r\n\n", TextEncoding::kUtf8).bytes, file);
  EXPECT_EQ(text_to_bsd("a\rb\r\r\nc", TextEncoding::kCp932).bytes, (Bytes{'a', 0x0D, 'b', 0x0D, 0x0D, 'c'}));
  // 0xED40 and 0x8790 are second codes of characters written 0xFA5C and
  // 0x81E0; 0x8540 and 0xFCFC stand for no character.
  for (const Bytes& bad : {Bytes{0x00}, Bytes{0x0A}, Bytes{0x80}, Bytes{0xA0}, Bytes{0xE0}, Bytes{0xFD},
                           Bytes{0x81, 0x7F}, Bytes{0x81, 0x3F}, Bytes{0x81, 0xFD}, Bytes{0xED, 0x40},
                           Bytes{0x87, 0x90}, Bytes{0x85, 0x40}, Bytes{0xFC, 0xFC}}) {
    EXPECT_FALSE(bsd_to_text(bad, kCp932)) << ::testing::PrintToString(bad);
  }
}

}  // namespace
}  // namespace tarnwick
