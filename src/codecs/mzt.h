// MZT files: the tape-image form in which OBJ and BTX files leave and enter
// the volume. A 128-byte header, then the file's bytes:
//   OFFSET SIZE DESCRIPTION
//        0    1 mode (1 OBJ, 2 BTX)
//        1   17 file name field, as a directory entry holds it
//       18    2 size: number of body bytes
//       20    2 load address
//       22    2 execution address
//       24  104 zero
//      128 size body
// Header bytes 18-23 and directory entry bytes 20-25 hold the same three
// fields in the same order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

namespace mzt {
inline constexpr size_t kHeaderSize = 128;
inline constexpr size_t kMode = 0;
inline constexpr size_t kName = 1;       // 17 bytes
inline constexpr size_t kSize = 18;      // 2 bytes LE
inline constexpr size_t kFields = kSize; // size, load and execution address
inline constexpr size_t kFieldsLength = 6;
}  // namespace mzt

}  // namespace tarnwick
