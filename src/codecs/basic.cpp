#include "codecs/basic.h"

#include <algorithm>
#include <array>

#include "output/cp932.h"
#include "output/text.h"
#include "volume/coding.h"

namespace tarnwick {

using basic::kExtended;
using basic::kLineEnd;
using basic::kLineOverhead;
using basic::kMaxBody;
using basic::kQuote;
using basic::kStatement;

namespace {

constexpr BasicKeyword kKeywords[] = {
    {0x83, "><"},         {0x84, "<>"},         {0x85, "=<"},       {0x86, "<="},         {0x87, "=>"},
    {0x88, ">="},         {0x8A, ">"},          {0x8B, "<"},        {0x9E, "TO"},         {0x9F, "STEP"},
    {0xA0, "LEFT$("},     {0xA1, "RIGHT$("},    {0xA2, "MID$("},    {0xA3, "LEN("},       {0xA4, "CHR$("},
    {0xA5, "STR$("},      {0xA6, "ASC("},       {0xA7, "VAL("},     {0xA8, "PEEK("},      {0xA9, "TAB("},
    {0xAA, "SPACE$("},    {0xAB, "SIZE"},       {0xAF, "STRING$("}, {0xB0, "POINT("},     {0xB1, "CHARACTER$("},
    {0xB3, "POS"},        {0xC0, "RND("},       {0xC1, "SIN("},     {0xC2, "COS("},       {0xC3, "TAN("},
    {0xC4, "ATN("},       {0xC5, "EXP("},       {0xC6, "INT("},     {0xC7, "LOG("},       {0xC8, "LN("},
    {0xC9, "ABS("},       {0xCA, "SGN("},       {0xCB, "SQR("},     {0xFF, "\x83\xCE"},  // π
    {0x8080, "REM"},      {0x8081, "DATA"},     {0x8082, "DEF KEY("}, {0x8084, "READ"},   {0x8085, "LIST"},
    {0x8086, "RUN"},      {0x8087, "NEW"},      {0x8088, "PRINT"},  {0x8089, "LET"},      {0x808A, "FOR"},
    {0x808B, "IF"},       {0x808C, "THEN"},     {0x808D, "GOTO"},   {0x808E, "GOSUB"},    {0x808F, "RETURN"},
    {0x8090, "NEXT"},     {0x8091, "STOP"},     {0x8092, "END"},    {0x8094, "ON"},       {0x8095, "LOAD"},
    {0x8096, "SAVE"},     {0x8097, "VERIFY"},   {0x8098, "POKE"},   {0x8099, "DIM"},      {0x809A, "DEF FN"},
    {0x809B, "INPUT"},    {0x809C, "RESTORE"},  {0x809D, "CLR"},    {0x809E, "MUSIC"},    {0x809F, "TEMPO"},
    {0x80A0, "USR("},     {0x80A1, "WOPEN"},    {0x80A2, "ROPEN"},  {0x80A3, "CLOSE"},    {0x80A4, "MON"},
    {0x80A5, "LIMIT"},    {0x80A6, "CONT"},     {0x80A7, "GET"},    {0x80A8, "INP@"},     {0x80A9, "OUT@"},
    {0x80AA, "CURSOR"},   {0x80AB, "SET"},      {0x80AC, "RESET"},  {0x80AD, "LINE"},     {0x80AE, "BLINE"},
    {0x80AF, "CONSOLE"},  {0x80B0, "GRAPH"},    {0x80B1, "POSITION"}, {0x80B2, "PATTERN"}, {0x80B3, "AUTO"},
    {0x80B5, "IMAGE/P"},  {0x80B6, "COPY/P"},   {0x80B7, "PAGE/P"}, {0x80B9, "BOOT"},     {0x80BA, "KLIST"},
    {0x80BB, "CHANGE"},   {0x80BC, "COLOR"},    {0x80BD, "CCOLOR"}, {0x80BE, "REW"},      {0x80BF, "FAST"},
    {0x80E4, "BOX"},      {0x80E5, "PAINT"},    {0x80E6, "CIRCLE"}, {0xB256, "CSRV"},     {0xB2A8, "CSRH"},
};
constexpr int kNoKeyword = -1;

bool is_katakana(uint8_t b) { return is_halfwidth_katakana(b); }
// Printable ASCII and DEL; the brace is not, it starts an escape.
bool is_plain(uint8_t b) { return b >= 0x20 && b <= 0x7F && b != '{'; }

struct Tables {
  // Keyword index for each code: one-byte codes at their byte, 0x80 xx at
  // 256 + xx, 0xB2 xx at 512 + xx.
  std::array<int, 3 * 256> by_code;
  // The keywords whose text starts with each byte.
  std::array<std::vector<uint8_t>, 256> by_first;
};

size_t code_slot(uint16_t code) {
  if (code < 0x100) return code;
  return ((code >> 8) == kStatement ? 256 : 512) + (code & 0xFF);
}

const Tables& tables() {
  static const Tables t = [] {
    Tables made;
    made.by_code.fill(kNoKeyword);
    for (size_t k = 0; k < std::size(kKeywords); ++k) {
      made.by_code[code_slot(kKeywords[k].code)] = static_cast<int>(k);
      made.by_first[static_cast<uint8_t>(kKeywords[k].text[0])].push_back(static_cast<uint8_t>(k));
    }
    return made;
  }();
  return t;
}

// The longest keyword whose text `at(0)`, `at(1)`, ... spell from their
// start (`at` gives -1 past the end of the text), or kNoKeyword.
template <typename At>
int longest_keyword(At at) {
  const int first = at(0);
  if (first < 0) return kNoKeyword;
  int best = kNoKeyword;
  size_t best_length = 0;
  for (const uint8_t k : tables().by_first[static_cast<size_t>(first)]) {
    const std::string_view w = kKeywords[k].text;
    if (w.size() <= best_length) continue;
    size_t j = 1;
    while (j < w.size() && at(j) == static_cast<uint8_t>(w[j])) ++j;
    if (j == w.size()) {
      best = k;
      best_length = w.size();
    }
  }
  return best;
}

enum class Mode { kCode, kQuoted, kTail };

// One piece of a body as the listing shows it: a code (one or two bytes,
// known or not) or a single byte, outside literals (`code`) or inside.
struct Item {
  size_t at;
  size_t length;
  int keyword;
  bool code;
};

std::vector<Item> split_body(std::span<const uint8_t> body) {
  std::vector<Item> items;
  Mode mode = Mode::kCode;
  for (size_t i = 0; i < body.size();) {
    const uint8_t b = body[i];
    if (mode != Mode::kCode) {
      items.push_back({i, 1, kNoKeyword, false});
      if (mode == Mode::kQuoted && b == kQuote) mode = Mode::kCode;
      ++i;
    } else if ((b == kStatement || b == kExtended) && i + 1 < body.size()) {
      const auto code = static_cast<uint16_t>(b << 8 | body[i + 1]);
      items.push_back({i, 2, tables().by_code[code_slot(code)], true});
      if (opens_literal_tail(code)) mode = Mode::kTail;
      i += 2;
    } else {
      // A lone 0x80 or 0xB2 at the body's end finds no keyword.
      items.push_back({i, 1, b >= 0x80 ? tables().by_code[b] : kNoKeyword, true});
      if (b == kQuote) mode = Mode::kQuoted;
      ++i;
    }
  }
  return items;
}

void append_hex(std::string& out, uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

std::string escape(std::span<const uint8_t> bytes) {
  std::string out = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ' ';
    append_hex(out, bytes[i]);
  }
  return out + "}";
}

// A body's text, decided from its end: each piece is written plainly when
// the reader, at that place and with the text already decided after it,
// takes exactly that piece back, and escaped otherwise.
std::string list_body(std::span<const uint8_t> body) {
  const std::vector<Item> items = split_body(body);
  std::string reversed;  // the text decided so far, last character first
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    const std::span<const uint8_t> bytes = body.subspan(it->at, it->length);
    std::string plain;
    if (!it->code) {
      if (is_plain(bytes[0]) || is_katakana(bytes[0])) plain.assign(1, static_cast<char>(bytes[0]));
    } else if (it->keyword != kNoKeyword) {
      plain = kKeywords[it->keyword].text;
    } else if (it->length == 1 && is_plain(bytes[0])) {
      plain.assign(1, static_cast<char>(bytes[0]));
    }
    if (!plain.empty() && it->code) {
      const int read = longest_keyword([&](size_t j) -> int {
        if (j < plain.size()) return static_cast<uint8_t>(plain[j]);
        j -= plain.size();
        return j < reversed.size() ? static_cast<uint8_t>(reversed[reversed.size() - 1 - j]) : -1;
      });
      if (read != it->keyword) plain.clear();
    }
    const std::string text = plain.empty() ? escape(bytes) : plain;
    reversed.append(text.rbegin(), text.rend());
  }
  return {reversed.rbegin(), reversed.rend()};
}

size_t char_length(std::string_view s, size_t i) {
  const auto b = static_cast<uint8_t>(s[i]);
  return is_cp932_lead(b) && i + 1 < s.size() && is_cp932_trail(static_cast<uint8_t>(s[i + 1])) ? 2 : 1;
}

// Reads the escape whose `{` is at `at` into `out`; the place after its `}`,
// or 0 when it is not a proper escape.
size_t read_escape(std::string_view s, size_t at, std::vector<uint8_t>& out) {
  size_t i = at + 1;
  while (true) {
    if (i + 2 > s.size()) return 0;
    const std::optional<uint8_t> high = hex_digit(static_cast<unsigned char>(s[i]));
    const std::optional<uint8_t> low = hex_digit(static_cast<unsigned char>(s[i + 1]));
    if (!high || !low) return 0;
    out.push_back(static_cast<uint8_t>(*high << 4 | *low));
    i += 2;
    if (i < s.size() && s[i] == '}') return i + 1;
    if (i >= s.size() || s[i] != ' ') return 0;
    ++i;
  }
}

// A body's bytes from its text onto `out`; the first fault, on line `line`.
std::optional<ListingError> tokenise(std::string_view body, size_t line, std::vector<uint8_t>& out) {
  Mode mode = Mode::kCode;
  for (size_t i = 0; i < body.size();) {
    const auto c = static_cast<uint8_t>(body[i]);
    if (c == '{') {
      const size_t after = read_escape(body, i, out);
      if (after == 0) {
        size_t end = i + 1;
        while (end < body.size() && body[end] != '}') end += char_length(body, end);
        const size_t length = end < body.size() ? end + 1 - i : std::string_view::npos;
        return ListingError{ListingErrorKind::kBadBrace, line, std::string(body.substr(i, length))};
      }
      i = after;
      continue;
    }
    if (mode == Mode::kCode) {
      const int k = longest_keyword(
          [&](size_t j) -> int { return i + j < body.size() ? static_cast<uint8_t>(body[i + j]) : -1; });
      if (k != kNoKeyword) {
        const uint16_t code = kKeywords[k].code;
        if (code >= 0x100) out.push_back(static_cast<uint8_t>(code >> 8));
        out.push_back(static_cast<uint8_t>(code));
        if (opens_literal_tail(code)) mode = Mode::kTail;
        i += kKeywords[k].text.size();
        continue;
      }
    }
    // The machine has no double-byte characters (π is a keyword, matched
    // above), and a control byte is written as its escape.
    const size_t length = char_length(body, i);
    if (c < 0x20) return ListingError{ListingErrorKind::kControlByte, line, std::string(1, static_cast<char>(c))};
    if (length == 2) return ListingError{ListingErrorKind::kNoMachineCode, line, std::string(body.substr(i, 2))};
    out.push_back(c);
    if (c == kQuote && mode == Mode::kCode) {
      mode = Mode::kQuoted;
    } else if (c == kQuote && mode == Mode::kQuoted) {
      mode = Mode::kCode;
    }
    ++i;
  }
  return std::nullopt;
}

// The length of the line end at `at` in text: 2 for "\r\n", 1 for a lone
// "\r" or "\n", 0 for none. No byte of a double-byte character is either.
size_t line_end_at(std::string_view s, size_t at) {
  if (s[at] == '\n') return 1;
  if (s[at] != '\r') return 0;
  return at + 1 < s.size() && s[at + 1] == '\n' ? 2 : 1;
}

// Code page 932 text in UTF-8. Every character of it decodes: the callers
// made it or checked it (a byte that does not becomes U+FFFD).
std::string utf8_of_cp932(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    std::optional<char32_t> c;
    if (char_length(s, i) == 2) c = decode_cp932_pair(b, static_cast<uint8_t>(s[i + 1]));
    if (c) {
      i += 2;
    } else {
      c = decode_cp932_byte(b);
      ++i;
    }
    append_utf8(out, c.value_or(U'\uFFFD'));
  }
  return out;
}

// UTF-8 text in code page 932, each character by its canonical code, up to
// the first character that has none: that one is the error, and `text` then
// holds the lines before its line, whole.
struct Cp932Text {
  std::string text;
  std::optional<ListingError> error;
};

Cp932Text cp932_of_utf8(std::string_view utf8) {
  Cp932Text r;
  size_t line = 1;
  size_t line_start = 0;
  size_t at = utf8.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a byte-order mark
  while (at < utf8.size()) {
    const size_t from = at;
    const std::optional<char32_t> c = next_utf8(utf8, at);
    const std::optional<uint16_t> code = c ? encode_cp932(*c) : std::nullopt;
    if (!code) {
      std::string what(utf8.substr(from, at - from));
      if (!c) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        const auto b = static_cast<uint8_t>(utf8[from]);
        what = {'%', kDigits[b >> 4], kDigits[b & 15]};
      }
      r.error = ListingError{ListingErrorKind::kNotShiftJis, line, std::move(what)};
      r.text.resize(line_start);
      return r;
    }
    // Lines end as the reader ends them: "\r", "\n" or "\r\n".
    const bool after_cr = !r.text.empty() && r.text.back() == '\r';
    if (*code > 0xFF) r.text += static_cast<char>(*code >> 8);
    r.text += static_cast<char>(*code & 0xFF);
    if (*c == U'\r' || *c == U'\n') {
      if (*c == U'\r' || !after_cr) ++line;
      line_start = r.text.size();
    }
  }
  return r;
}

// Reads text in the encoding: code page 932 text as it stands, UTF-8 text
// turned into it first. A character without a code counts where it stands:
// an error `read` finds on an earlier line comes first.
template <typename Read>
TextRead read_text(std::string_view text, TextEncoding encoding, Read read) {
  if (encoding == TextEncoding::kCp932) return read(text);
  const Cp932Text converted = cp932_of_utf8(text);
  TextRead r = read(converted.text);
  if (r.ok() && converted.error) {
    r.bytes.clear();
    r.error = converted.error;
  }
  return r;
}

// One line of a listing, its number checked, its body tokenised onto `out`.
std::optional<ListingError> read_listing_line(std::string_view line, size_t line_number, std::vector<uint8_t>& out) {
  size_t digits = 0;
  uint32_t number = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
    number = std::min<uint32_t>(number * 10 + static_cast<uint32_t>(line[digits] - '0'), 0x10000);
    ++digits;
  }
  if (digits == 0 || number > 0xFFFF || (digits < line.size() && line[digits] != ' ')) {
    return ListingError{ListingErrorKind::kNoLineNumber, line_number, std::string(line)};
  }
  const std::string_view body = digits < line.size() ? line.substr(digits + 1) : std::string_view();
  const size_t start = out.size();
  out.resize(start + 4);
  if (std::optional<ListingError> error = tokenise(body, line_number, out)) return error;
  if (out.size() - start - 4 > kMaxBody) {
    return ListingError{ListingErrorKind::kLineTooLong, line_number, std::string(line.substr(0, digits))};
  }
  out.push_back(kLineEnd);
  store16(out.data() + start, static_cast<uint16_t>(out.size() - start));
  store16(out.data() + start + 2, static_cast<uint16_t>(number));
  return std::nullopt;
}

TextRead read_cp932_listing(std::string_view text) {
  TextRead result;
  size_t line_number = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end < text.size() ? end + line_end_at(text, end) : end;
    ++line_number;
    if (line.find_first_not_of(' ') == std::string_view::npos) continue;
    if (std::optional<ListingError> error = read_listing_line(line, line_number, result.bytes)) {
      result.bytes.clear();
      result.error = std::move(error);
      return result;
    }
  }
  result.bytes.push_back(0);
  result.bytes.push_back(0);
  return result;
}

// A code page 932 double-byte character written by the code its character
// is written back as.
bool is_canonical_pair(uint8_t lead, uint8_t trail) {
  const std::optional<char32_t> c = decode_cp932_pair(lead, trail);
  return c && encode_cp932(*c) == (lead << 8 | trail);
}

std::string in_form(std::string cp932, TextForm form) {
  return form.encoding == TextEncoding::kUtf8 ? utf8_of_cp932(cp932) : cp932;
}

}  // namespace

std::span<const BasicKeyword> basic_keywords() { return kKeywords; }

bool opens_literal_tail(uint16_t code) { return code == 0x8080 || code == 0x8081 || code == 0x8082; }

std::optional<std::string> list_basic_program(std::span<const uint8_t> program, TextForm form) {
  std::string out;
  size_t at = 0;
  while (true) {
    if (program.size() - at < 2) return std::nullopt;
    const size_t length = load16(program.data() + at);
    if (length == 0) break;
    if (length < kLineOverhead || length > program.size() - at) return std::nullopt;
    if (program[at + length - 1] != kLineEnd) return std::nullopt;
    out += std::to_string(load16(program.data() + at + 2));
    out += ' ';
    out += list_body(program.subspan(at + 4, length - kLineOverhead));
    out += form.line_end;
    at += length;
  }
  if (at + 2 != program.size()) return std::nullopt;
  return in_form(std::move(out), form);
}

TextRead read_basic_listing(std::string_view text, TextEncoding encoding) {
  return read_text(text, encoding, read_cp932_listing);
}

std::optional<std::string> bsd_to_text(std::span<const uint8_t> bytes, TextForm form) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = bytes[i];
    if (b == kLineEnd) {
      out += form.line_end;
    } else if ((b >= 0x20 && b <= 0x7F) || b == '\t' || is_katakana(b)) {
      out += static_cast<char>(b);
    } else if (i + 1 < bytes.size() && is_canonical_pair(b, bytes[i + 1])) {
      out += static_cast<char>(b);
      out += static_cast<char>(bytes[++i]);
    } else {
      return std::nullopt;
    }
  }
  return in_form(std::move(out), form);
}

TextRead text_to_bsd(std::string_view text, TextEncoding encoding) {
  return read_text(text, encoding, [](std::string_view cp932) {
    TextRead r;
    r.bytes.reserve(cp932.size());
    for (size_t i = 0; i < cp932.size(); ++i) {
      if (cp932[i] == '\r' && i + 1 < cp932.size() && cp932[i + 1] == '\n') ++i;
      r.bytes.push_back(cp932[i] == '\n' ? kLineEnd : static_cast<uint8_t>(cp932[i]));
    }
    return r;
  });
}

}  // namespace tarnwick
