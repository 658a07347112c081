// R: a file out of the volume, as bytes and into a host file.
//
// OBJ and BTX files leave the volume as MZT files (codecs/mzt.h), the name
// field copied unchanged from the entry (the name, its 0x0D and whatever
// follows it). BSD and BRD files leave it as their bare data bytes. The
// entry's time stamp becomes the host time, which the host file then gets
// as its last-write time. With -b a BTX file leaves as its listing, with -t
// a BSD file as its text (codecs/text_file.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/text_file.h"
#include "host/file.h"
#include "host/host_time.h"
#include "output/report.h"
#include "volume/pager.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

enum class Extraction {
  kWritten,      // the file's bytes are all there
  kRefused,      // nothing written; the reason has been said
  kWriteFailed,  // a write to the host file failed; not reported yet
  kUnreadable,   // nothing written: the image could not be read, which
                 // its owner tells (see Image::read_failed)
};

// Gathers into `bytes` what R writes of the file an entry describes: OBJ
// and BTX files with their MZT header when `with_header`, else the file's
// bytes alone. Directories and modes whose layout is unknown are refused,
// and so is damage; kWritten when the bytes are all there. `hint` prepares
// the memory of `bytes`.
Extraction gather_contents(const Volume& vol, Report& rep, const MemoryHint& hint, EntryRef e,
                           const std::string& name, std::vector<uint8_t>& bytes, bool with_header);

// Writes the contents of the file an entry describes to `out` from offset
// 0, as R writes them; `name` names it in messages. Refusals as
// gather_contents() makes them, before anything is written. The contents
// are gathered in `buffer`, which a caller writing many files keeps.
Extraction extract_contents(const Volume& vol, Report& rep, const MemoryHint& hint, EntryRef e,
                            const std::string& name, File& out, std::vector<uint8_t>& buffer);

// R's lookup of `path`: the file it names, or nothing after saying that
// there is none.
std::optional<PathResult> find_file(const Volume& vol, Report& rep, std::string_view path);

// A file as R reads it.
struct FileOut {
  Extraction result = Extraction::kRefused;
  std::vector<uint8_t> bytes;  // when kWritten
  std::string name;            // the entry's name and mode, once it was found
  uint8_t mode = 0;            // (operations/tree.h names its host file)
  HostTime time{};             // the entry's time stamp as host time
  AsText as = AsText::kNone;   // the text it became (`kinds`)
};

// Reads the file find_file() found, announcing it as R does: with
// `kinds.any()` as its listing or text in `form`, a file of another mode or
// one that does not convert refused; else its bytes (with the MZT header of
// OBJ and BTX files when `with_header`).
FileOut read_found_file(const Volume& vol, Report& rep, const MemoryHint& hint, const PathResult& found,
                        TextKinds kinds, TextForm form, bool with_header = true);

// R into a host file: looks the path up, gathers the host file's bytes,
// then writes them to a new file beside HOSTFILE that takes its place once
// complete, and sets its last-write time. Standard output ("-"), a FIFO, a
// device or a link is written where it stands; the image file itself
// (`image_name`) never. A refused or failed R leaves an existing HOSTFILE as
// it was; a directory or a mode R does not extract leaves an empty file
// where there was none. With `kinds.any()` a file of another mode, or one
// that does not convert, is refused and no host file made.
void extract_to_host(const Volume& vol, Report& rep, Host& host, const std::string& image_name,
                     std::string_view path, const std::string& host_file, TextKinds kinds, TextForm form);

}  // namespace tarnwick
