// W: store an MZT file, a BASIC listing or a text file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "codecs/text_file.h"
#include "host/file.h"
#include "host/host_time.h"
#include "output/report.h"
#include "volume/edit.h"
#include "volume/path.h"

namespace tarnwick {

// A host file open for an operation, with its name for messages.
struct HostFile {
  File& file;
  const std::string& name;
};

// Stores an MZT file as an OBJ file (as a BTX file when its mode is 2) where
// a resolution points, within `edit`: claims a run of blocks for the header's size, fills the first
// free entry of the path's directory (name from the path, size and
// addresses from the header, the MZT file's last-write time as its time
// stamp) and reads the body into the run. The MZT file is read in
// sequence, so it may be a pipe. True when the whole body was read; false
// after saying why not (the caller rolls the edit back).
bool store_mzt_file(VolumeEdit& edit, Report& rep, const PathResult& target, const HostFile& mzt,
                    const HostTime& host_time);

// A BTX file's load and execution addresses (entry bytes 22-25).
using Addresses = std::array<uint8_t, 4>;

// Stores a host text file in `form` where a resolution points, within
// `edit`: a listing (kBasic) as a BTX file in the contiguous layout, a text
// (kText) as a BSD file in the chained layout, each with `addresses` and
// the host time as its time stamp. False after saying why not.
bool store_text_file(VolumeEdit& edit, Report& rep, const PathResult& target, const HostFile& text, AsText how,
                     TextForm form, const Addresses& addresses, const HostTime& host_time);

// The addresses a program stored as `how` over the file of entry `replaced`
// keeps: a BTX file's own when it replaces one, else 0 and 0.
Addresses kept_addresses(const Volume& vol, std::optional<EntryRef> replaced, AsText how);

// True when a host file's name ends in ".txt", in any case.
bool names_text_file(std::string_view host_file);

// W: deletes a former file of the path and stores the host file (read
// through `host`, "-" standing for standard input): an MZT file (a BASIC
// one, of mode 2, as a BTX file, any other as an OBJ file), or with -b a
// listing and with -t a text in `form` (both: a .txt file as text, any
// other as a listing). True when the volume holds the stored file and must
// be saved; false when the volume is as it was before.
bool store_host_file(Volume& vol, Report& rep, Host& host, const std::string& path, const std::string& host_file,
                     TextKinds kinds, TextForm form);

}  // namespace tarnwick
