// R: extract a file into a host file.
//
// OBJ and BTX files leave the volume as MZT files (codecs/mzt.h), the name
// field copied unchanged from the entry (the name, its 0x0D and whatever
// follows it). BSD and BRD files leave it as their bare data bytes. The entry's time stamp
// becomes the host time, which the host file then gets as its last-write time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/console.h"
#include "operations/run_context.h"
#include "host/file.h"
#include "host/host_time.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

enum class Extraction {
  kWritten,      // the file's bytes are in the host file
  kRefused,      // nothing written; the reason has been printed
  kWriteFailed,  // a write to the host file failed; not reported yet
  kUnreadable,   // nothing written: the image could not be read, which
                 // its owner reports (see Image::read_failed)
};

// Gathers into `bytes` what R writes of the file an entry describes: OBJ
// and BTX files with their MZT header when `with_header`, else the file's
// bytes alone. Refusals as extract_contents() makes them; kWritten when the
// bytes are all there.
Extraction gather_contents(const Volume& vol, Console& con, Host& host, EntryRef e, const std::string& name,
                           std::vector<uint8_t>& bytes, bool with_header);

// Writes the contents of the file an entry describes to `out` from offset
// 0, as R writes them; `name` names it in messages. Directories and modes
// whose layout is unknown are refused, and so is damage, before anything is
// written. The contents are gathered in `buffer`, which a caller writing
// many files keeps; the host prepares its memory.
Extraction extract_contents(const Volume& vol, Console& con, Host& host, EntryRef e, const std::string& name,
                            File& out, std::vector<uint8_t>& buffer);

// The R command as the front end runs it: look the path up, gather the
// host file's bytes, then write them to a new file beside HOSTFILE that
// takes its place once complete, and set its last-write time. Standard
// output, a FIFO, a device or a link is written where it stands. A refused or
// failed R leaves an existing HOSTFILE as it was; a directory or a mode R
// does not extract leaves an empty file where there was none. With -b a
// BTX file goes out as its listing, with -t a BSD file as its text
// (codecs/text_file.h); a file of another mode, or one that does not
// convert, is refused and no host file made.
void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
