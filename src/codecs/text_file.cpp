#include "codecs/text_file.h"

#include <algorithm>

#include "volume/format.h"

namespace tarnwick {

namespace {

// The most a text file may hold: far more than any listing of a program or
// text of a file that fits the volume's 65,535 bytes, blank lines aside.
constexpr size_t kMaxTextFile = size_t{16} << 20;
constexpr size_t kReadChunk = size_t{64} << 10;

}  // namespace

AsText as_text_for(uint8_t m, TextKinds kinds) {
  if (kinds.basic && m == mode::kBtx) return AsText::kBasic;
  if (kinds.text && m == mode::kBsd) return AsText::kText;
  return AsText::kNone;
}

std::optional<std::string> file_as_text(AsText how, std::span<const uint8_t> bytes, TextForm form) {
  switch (how) {
    case AsText::kBasic: return list_basic_program(bytes, form);
    case AsText::kText: return bsd_to_text(bytes, form);
    case AsText::kNone: break;
  }
  return std::nullopt;
}

WholeRead read_whole_file(File& file, size_t limit, std::string& out) {
  out.clear();
  while (true) {
    const size_t at = out.size();
    out.resize(at + kReadChunk);
    const size_t got = file.read_at(at, out.data() + at, kReadChunk);
    out.resize(at + got);
    if (file.failed()) return WholeRead::kFailed;
    if (out.size() > limit) return WholeRead::kTooLarge;
    if (got == 0) return WholeRead::kRead;
  }
}

std::optional<std::vector<uint8_t>> file_from_text(Report& rep, File& file, std::string_view name, AsText how,
                                                   TextForm form, bool name_it) {
  std::string text;
  switch (read_whole_file(file, kMaxTextFile, text)) {
    case WholeRead::kFailed: rep.err(msg::kReadFailed, name); return std::nullopt;
    case WholeRead::kTooLarge: rep.err(msg::kTooLarge, name); return std::nullopt;
    case WholeRead::kRead: break;
  }
  const TextEncoding encoding = form.encoding;
  TextRead read = how == AsText::kBasic ? read_basic_listing(text, encoding) : text_to_bsd(text, encoding);
  if (read.error) {
    if (name_it && how == AsText::kBasic) rep.err(msg::kNotBasicProgram, as_host_text(name));
    if (name_it && how == AsText::kText) rep.err(msg::kNotBsdFile, name);
    report_text_error(rep, *read.error);
    return std::nullopt;
  }
  if (read.bytes.size() > basic::kMaxFile) {
    rep.err(msg::kTooLarge, name);
    return std::nullopt;
  }
  return std::move(read.bytes);
}

void report_text_error(Report& rep, const ListingError& e) {
  const auto line = static_cast<unsigned>(std::min<size_t>(e.line, 0xFFFFFFFFu));
  switch (e.kind) {
    case ListingErrorKind::kNoLineNumber: rep.err(msg::kNoLineNumber, line); break;
    case ListingErrorKind::kBadBrace: rep.err(msg::kBadBrace, line); break;
    case ListingErrorKind::kLineTooLong: rep.err(msg::kLineTooLong, line); break;
    case ListingErrorKind::kNotShiftJis: rep.err(msg::kCharNotShiftJis, line, e.text); break;
    case ListingErrorKind::kControlByte: rep.err(msg::kControlByteInLine, line, static_cast<uint8_t>(e.text[0])); break;
    // The character's code page 932 bytes, shown as a volume's text is.
    case ListingErrorKind::kNoMachineCode: rep.err(msg::kCharNotInBasic, line, e.text); break;
  }
}

}  // namespace tarnwick
