// Small volumes that hold a file of every mode and a subdirectory: cheap
// enough to run every command on thousands of damaged copies (corruption
// sweeps, fuzz seeds).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/image_builder.h"

namespace tarnwick::testing {

// A volume of 96 records (a multiple of 16, so it fills whole D88 tracks)
// with records_per_block 1, 2 or 4: OBJ, BTX, BSD, BRD, RB files and the
// subdirectory GAMES holding one OBJ file. It passes the consistency check
// and has room left for a store.
Bytes small_volume(int records_per_block);

// The paths of small_volume's files, the subdirectory included.
const std::vector<std::string>& small_volume_paths();

// An MZT file: mode 1, the name with its 0x0D fill, the body's size and the
// addresses in the header, then the body.
Bytes make_mzt(const std::string& name, const Bytes& body, uint16_t load = 0x1200, uint16_t exec = 0x1200);

}  // namespace tarnwick::testing
