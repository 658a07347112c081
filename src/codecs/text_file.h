// BASIC programs and BSD files as the host's text files: what -b and -t
// make of a file on its way out of the volume, and of a text file on its way
// in (codecs/basic.h does the converting).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/basic.h"
#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

enum class AsText {
  kNone,
  kBasic,  // a BTX file's program as its listing
  kText,   // a BSD file's bytes as text
};

// Which files move as text: BTX files as listings (-b), BSD files as text
// (-t).
struct TextKinds {
  bool basic = false;
  bool text = false;
  bool any() const { return basic || text; }
};

// What the options make of a file of mode `m`: a BTX file a listing with
// -b, a BSD file text with -t; any other file stays as it is.
AsText as_text_for(uint8_t m, TextKinds kinds);

// The text of a file's bytes, or nothing when they do not convert.
std::optional<std::string> file_as_text(AsText how, std::span<const uint8_t> bytes, TextForm form);

// Reads a whole host file from its start, in sequence, into `out`: kTooLarge
// once it holds more than `limit` bytes.
enum class WholeRead { kRead, kFailed, kTooLarge };
WholeRead read_whole_file(File& file, size_t limit, std::string& out);

// The bytes a host text file in `form` stands for (the program of a
// listing, or a BSD file's bytes), read whole and converted; at most 65,535
// of them. Nothing after reporting why not, the file named `name`; with
// `name_it` a fault on a line of the text is told after a line that names
// the file (one of many a command stores).
std::optional<std::vector<uint8_t>> file_from_text(Report& rep, File& file, std::string_view name, AsText how,
                                                   TextForm form, bool name_it = false);

// Says what is wrong with a listing or a text, and on which line.
void report_text_error(Report& rep, const ListingError& e);

}  // namespace tarnwick
