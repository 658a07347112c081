// A: a whole host folder into a volume directory, the way back from X.
//
// The folder and its subfolders are walked depth first, each folder's
// entries in the byte order of the volume names they map to, links never
// followed. A folder becomes a directory (made as M makes one, or an
// existing directory of its name filled); NAME.mzt is stored as W stores
// it, its mode kept when it is OBJ or BTX; NAME.bsd becomes a BSD file in
// the chained layout and NAME.brd a BRD file in the indexed layout; anything
// else is reported as skipped. With -b NAME.bas, a listing, becomes a BTX
// file (a BTX file it replaces keeps its load and execution addresses,
// which are 0 otherwise), and with -t NAME.txt, a text, a BSD file, both as
// W stores them. Volume names come from host names through
// volume_name(), X's mapping run backwards. A file of the same name is
// replaced as W replaces it; every entry gets its host last-write time.
//
// All or nothing: the first failure is reported and ends the command with
// the volume as it was, so nothing is saved.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "codecs/text_file.h"
#include "host/file.h"
#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// A, up to the save: `path` is the volume directory to fill (made when its
// last component is missing; the root for "" or "/"), `host_folder` the
// folder of `host` to read, or one host file to store there as a folder
// holding it alone would have it stored; `kinds` and `form` say which text
// files are read and how. The paths of the files stored, one each from
// `path`, to say once the volume is saved; nothing after a failure, with
// the volume unchanged.
std::optional<std::vector<std::string>> store_tree(Volume& vol, Report& rep, Host& host, const std::string& path,
                                                   const std::string& host_folder, TextKinds kinds, TextForm form);

// Says what store_tree stored: its lines, then the count.
void report_stored_tree(Report& rep, const std::vector<std::string>& lines);

}  // namespace tarnwick
