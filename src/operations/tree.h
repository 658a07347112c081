// X: a whole directory tree out into a host folder.
//
// Every entry of the directory and of its subdirectories, depth first in
// entry order (the directories "." and ".." passed over; a file of those
// names, or of a mode X does not write, skipped with a notice and counted):
// a subdirectory becomes a host folder, OBJ and BTX files NAME.mzt, BSD and
// BRD files NAME.bsd and NAME.brd, each with exactly the bytes R writes and
// the entry's time stamp as its last-write time (a folder's is set once its
// contents are written).
// Host names come from volume names through host_name(); two entries that
// come to one host name are told apart with "~2", "~3", ...
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "codecs/text_file.h"
#include "host/file.h"
#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// What X wrote.
struct ExtractedTree {
  int files = 0;    // files written
  int skipped = 0;  // files of kinds that are not written out
};

// X: `path` is a directory as L takes it, `host_folder` a folder of `host`
// to create or an empty one; with `kinds` BTX and BSD files go out as
// listings and text in `form`. Says one line per file written, its path
// from the volume's root, then the count. Each failure is said and the
// walk goes on; the image is never written.
ExtractedTree extract_tree(const Volume& vol, Report& rep, Host& host, const std::string& path,
                           const std::string& host_folder, TextKinds kinds, TextForm form);

// The host name X gives a file of `mode` named `name`: the name as a host
// name (host/host_name.h) with the extension of its form (`as` the text it
// became, if any): NAME.mzt, NAME.bsd, NAME.brd, NAME.bas or NAME.txt.
std::u32string host_file_name(std::string_view name, uint8_t mode, AsText as);

}  // namespace tarnwick
