// Which bytes of an image file a run may change: the places the volume was
// loaded from. Everything else (an HDD image's signature area and other
// partition, a ROM image's tail, a D88 image's header, sector headers and
// sectors past the 16th) must keep its bytes whatever the run does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/image_builder.h"

namespace tarnwick::testing {

struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

// The ranges a run on `image` (named `image_name`, whose extension picks the
// container as the tool does) may write, for the partition index given.
// Empty when the tool would not load a volume from it. The ranges follow the
// container's layout (the partition offset, the D88 track table); only the
// verdict on whether the volume loads comes from the tool's own loader.
std::vector<ByteRange> writable_ranges(const Bytes& image, const std::string& image_name, int partition_index);

// The first offset at which `after` differs from `before` outside `ranges`
// (or where the sizes differ), or -1 when they agree there.
int64_t first_change_outside(const Bytes& before, const Bytes& after, const std::vector<ByteRange>& ranges);

// A run of a save's journal: where in the image, how long, and whether it
// is fresh (digests of its new sectors kept instead of their bytes) or
// unchanged.
struct JournalStretch {
  uint64_t offset;
  uint64_t length;
  bool fresh;
  bool unchanged;  // not written: digests of its sectors alone
};

// The runs a complete journal lists, read from its bytes.
std::vector<JournalStretch> journal_stretches(const Bytes& journal);

}  // namespace tarnwick::testing
