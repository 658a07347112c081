// S-BASIC programs (the BASIC of the MZ-80B and MZ-2000 families) and their
// text listings, and BSD text files and their text.
//
// A program, as a BTX file or an MZT body holds it, is a run of lines and then
// a length of 0 (the bytes 0x00 0x00, the last two of the program). A line:
//   OFFSET SIZE DESCRIPTION
//        0    2 length n of the whole line, these two bytes and the 0x0D
//               included: 5 or more
//        2    2 line number (0-65535)
//        4  n-5 body
//      n-1    1 0x0D
// There is no link to the next line; the lengths alone chain the lines.
//
// A body holds numbers, names and spaces as ASCII text as they were typed
// and the keywords as codes:
//   0x80 xx   a statement (REM is 80 80, PRINT 80 88, ...)
//   0xB2 xx   an extended statement (CSRV is B2 56)
//   0x80-0xFF any other byte of 0x80 or more: an operator or a function
//             (TO is 9E, π is FF)
// Two stretches are literal, their bytes stored as typed: the text between a
// double quote (0x22) and the next one or the line's end, and the rest of the
// line after REM, DATA or DEF KEY(. Inside them, bytes 0xA1-0xDF are
// half-width katakana (as in code page 932) and other bytes of 0x80 or more
// the machine's graphic characters.
//
// A listing shows each line as its number in decimal, one space and the body
// with the keywords spelled out. What would not read back as the same bytes
// is written as an escape: `{XX}` for one byte, `{80 XX}` or `{B2 XX}` for a
// statement code, in hexadecimal. Escaped are control bytes, the brace `{`,
// codes without a keyword, bytes of 0x80 or more inside literals other than
// katakana, and plain characters or keywords that the reader would otherwise
// take for another keyword (a variable TO, `<` followed by the character
// `>`): of such a clash the earlier piece is escaped.
//
// BSD text files are lines of code page 932 text, each ended by 0x0D.
//
// Both kinds of text reach the host in the user's encoding: code page 932
// bytes, or UTF-8 (π is U+03C0, the katakana U+FF61-FF9F), each line ended
// as the host's text files end them; reading takes "\r", "\n" and "\r\n".
// The machine's characters are single bytes: a listing holds no double-byte
// character but the keyword π, while a BSD file may (the MZ-2500's own text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

namespace basic {
inline constexpr uint8_t kStatement = 0x80;  // 0x80 xx
inline constexpr uint8_t kExtended = 0xB2;   // 0xB2 xx
inline constexpr uint8_t kQuote = 0x22;
inline constexpr uint8_t kLineEnd = 0x0D;
inline constexpr size_t kLineOverhead = 5;                  // length, number, 0x0D
inline constexpr size_t kMaxBody = 0xFFFF - kLineOverhead;  // 65,530
// The most a BTX or BSD file holds (its size field).
inline constexpr size_t kMaxFile = 0xFFFF;
}  // namespace basic

// A keyword: `code` is the byte of a one-byte code (0x83-0xFF) or
// first byte << 8 | second byte of a two-byte one (0x80xx, 0xB2xx); `text`
// is how listings spell it, in code page 932.
struct BasicKeyword {
  uint16_t code;
  std::string_view text;
};

// The 104 codes the listing spells out; every other code is escaped.
std::span<const BasicKeyword> basic_keywords();

// True when REM, DATA or DEF KEY(: the rest of the line is literal.
bool opens_literal_tail(uint16_t code);

// How text reaches the host: its encoding and the end of each line.
enum class TextEncoding { kCp932, kUtf8 };
struct TextForm {
  TextEncoding encoding = TextEncoding::kCp932;
  std::string_view line_end = "\n";
};

// The program's listing, or nothing when the bytes are not a program: a
// length below 5 (0 ends the program) or running past the end, a line not
// ended by 0x0D, or bytes left after the final 0x00 0x00 or no such end at
// all. Reading the listing back gives the same bytes.
std::optional<std::string> list_basic_program(std::span<const uint8_t> program, TextForm form);

enum class ListingErrorKind {
  kNoLineNumber,   // no line number (0-65535) followed by a space or the line's end
  kBadBrace,       // a `{` that starts no proper escape
  kLineTooLong,    // a body of more than 65,530 bytes once tokenised
  kNotShiftJis,    // a character without a code page 932 code
  kControlByte,    // a byte 0x00-0x1F that ends no line
  kNoMachineCode,  // a double-byte character: the machine has none
};

struct ListingError {
  ListingErrorKind kind;
  size_t line;       // 1-based, blank lines counted
  std::string text;  // the line (kNoLineNumber), the brace up to its `}` or
                     // the line's end (kBadBrace), the line number as written
                     // (kLineTooLong), the character as UTF-8 or, for a byte
                     // that is no UTF-8, "%XX" (kNotShiftJis), the byte
                     // (kControlByte), the character's two code page 932
                     // bytes (kNoMachineCode)
};

// The bytes read from text, or the first error.
struct TextRead {
  std::vector<uint8_t> bytes;  // empty on error
  std::optional<ListingError> error;
  bool ok() const { return !error; }
};

// Reads a listing: lines ended by "\r", "\n" or "\r\n" (a last line may
// have no end). Blank lines (empty or only spaces) are skipped; any other
// line is a line number in decimal (leading zeros allowed), then one space
// and the body, or the line's end for an empty body. In a body, `{` starts
// an escape: two-digit hexadecimal bytes in either case, separated by single
// spaces, then `}`; the bytes are taken as they are, opening no quote and
// forming no keyword. Outside literals the longest keyword (upper case,
// exactly as spelled) at each place becomes its code. Any other character
// gives its code page 932 byte: as it stands in code page 932 text, by its
// one canonical code from UTF-8 (a byte-order mark at the start is passed
// over). A control byte and a double-byte character are refused: the
// machine has neither in a line. The lines keep their order; numbers are
// neither sorted nor checked for repeats. The program ends with 0x00 0x00.
TextRead read_basic_listing(std::string_view text, TextEncoding encoding);

// A BSD file's bytes as text, each 0x0D a line end; nothing when a byte is
// not printable ASCII (0x20-0x7F), a tab, half-width katakana (0xA1-0xDF),
// 0x0D or part of a code page 932 double-byte character written by its
// canonical code (the one its character is written back as).
std::optional<std::string> bsd_to_text(std::span<const uint8_t> bytes, TextForm form);

// Text back into a BSD file's bytes: "\n" and "\r\n" become 0x0D (a lone
// "\r" is that byte already), every other character its code page 932
// bytes, double-byte ones too; from UTF-8 a character without a code is
// refused (kNotShiftJis).
TextRead text_to_bsd(std::string_view text, TextEncoding encoding);

}  // namespace tarnwick
