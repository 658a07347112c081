// S-BASIC listings and BSD text. Byte 0 picks what the rest is:
//   bits 0-1  0 program bytes as they stand
//             1 lines to build a program of: each a body length byte n, a
//               16-bit line number, n body bytes (cut to what is left)
//             2 a listing to read
//             3 a BSD file's bytes (and text to turn into one)
//   bit 2     listings end their lines in "\r\n" (else "\n")
//   bit 3     text is UTF-8 (else code page 932)
// Besides the sanitizers' findings, a run aborts when a program that lists
// does not read back from its listing byte for byte, when a built program
// does not list, when a program read from text does not list or reads back
// differently, or when a BSD file's text does not give back its bytes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "broken_promise.h"
#include "codecs/basic.h"
#include "volume/coding.h"

using namespace tarnwick;

namespace {

using Bytes = std::vector<uint8_t>;

// The program listed and read back; false when it does not list.
bool lists_and_reads_back(const Bytes& program, TextForm form) {
  const std::optional<std::string> listing = list_basic_program(program, form);
  if (!listing) return false;
  const TextRead back = read_basic_listing(*listing, form.encoding);
  if (!back.ok()) broken("a listing reads without error");
  if (back.bytes != program) broken("a listing reads back as its program");
  return true;
}

Bytes build_program(const Bytes& rest) {
  Bytes program;
  for (size_t at = 0; at + 3 <= rest.size();) {
    const size_t n = std::min<size_t>(rest[at], rest.size() - at - 3);
    const size_t line = program.size();
    program.resize(line + 4);
    store16(program.data() + line, static_cast<uint16_t>(n + basic::kLineOverhead));
    program[line + 2] = rest[at + 1];
    program[line + 3] = rest[at + 2];
    program.insert(program.end(), rest.begin() + static_cast<std::ptrdiff_t>(at + 3),
                   rest.begin() + static_cast<std::ptrdiff_t>(at + 3 + n));
    program.push_back(basic::kLineEnd);
    at += 3 + n;
  }
  program.push_back(0);
  program.push_back(0);
  return program;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const TextForm form{data[0] & 8 ? TextEncoding::kUtf8 : TextEncoding::kCp932, data[0] & 4 ? "\r\n" : "\n"};
  const Bytes rest(data + 1, data + size);
  switch (data[0] & 3) {
    case 0:
      lists_and_reads_back(rest, form);
      break;
    case 1:
      if (!lists_and_reads_back(build_program(rest), form)) broken("a built program lists");
      break;
    case 2: {
      const TextRead read = read_basic_listing(std::string(rest.begin(), rest.end()), form.encoding);
      if (!read.ok()) {
        if (!read.bytes.empty() || read.error->line == 0) broken("an error names its line and gives no program");
        break;
      }
      if (!lists_and_reads_back(read.bytes, form)) broken("a program read from text lists");
      break;
    }
    case 3: {
      if (const std::optional<std::string> text = bsd_to_text(rest, form)) {
        const TextRead back = text_to_bsd(*text, form.encoding);
        if (!back.ok() || back.bytes != rest) broken("a BSD file's text gives back its bytes");
      }
      text_to_bsd(std::string(rest.begin(), rest.end()), form.encoding);
      break;
    }
  }
  return 0;
}
