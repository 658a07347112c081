// The on-volume layout of the MZ-2500 standard-format file system.
//
// A volume is a run of 256-byte records. Record numbers stored on the volume
// are 16-bit little-endian; 0 means "none" or "end".
//
// System record (record 15, volume bytes 0xF00-0xFFF):
//   OFFSET SIZE DESCRIPTION
//        0    1 volume number (a format writes 1; not read)
//        1    1 reserved blocks: blocks at the start outside the bitmap
//        2    2 used blocks = reserved blocks + set bits of the bitmap
//        4    2 total blocks
//        6  ... allocation bitmap, one bit per data block, LSB first;
//               bit i stands for block (reserved blocks + i)
//      255    1 records per block - 1
//
// Directory: 2048 bytes, 64 entries of 32 bytes in 8 consecutive records.
// The root directory starts at record 16. Entry 0 is the header: its byte 0
// is 0x80 (normal) or 0x81 (holds swapped files). Entries 1-63 describe
// files; mode 0 marks a free entry.
//
// Directory entry:
//   OFFSET SIZE DESCRIPTION
//        0    1 mode (file type, table below)
//        1   17 file name: 1-16 characters, then 0x0D
//       18    1 attribute (bit 0: shown with '*'); stored files get 0x80
//       19    1 unnamed, written 0
//       20    2 file size (bytes; 32-byte units for BRD)
//       22    2 load address
//       24    2 execution address
//       26    4 time stamp, packed BCD, most significant byte first
//       30    2 start record (BRD: index record; DIR: first directory record)
//
// Data layouts:
//   OBJ, BTX  contiguous records from the start record, size bytes
//   BSD       chain: bytes 0-253 data, bytes 254-255 link to the next record
//   BRD       index record of up to 128 run entries (16-bit record numbers,
//             first 0 ends the list); each run is 16 records, 4096 bytes
//   DIR       8 contiguous records
#pragma once

#include <cstdint>

namespace tarnwick {

inline constexpr uint32_t kRecordSize = 256;
inline constexpr uint32_t kSystemRecord = 15;
inline constexpr uint32_t kRootDirectoryRecord = 16;
inline constexpr uint32_t kDirectoryRecords = 8;
inline constexpr uint32_t kDirectorySize = kDirectoryRecords * kRecordSize;  // 2048
inline constexpr uint32_t kEntrySize = 32;
inline constexpr int kEntriesPerDirectory = 64;
inline constexpr int kNameLength = 16;      // characters of a file name
inline constexpr int kNameFieldLength = 17; // name bytes 1-17 with the 0x0D
inline constexpr uint8_t kNameEnd = 0x0D;

// The smallest volume that holds the system record and the root directory.
inline constexpr uint32_t kMinimumRecords = kRootDirectoryRecord + kDirectoryRecords;  // 24
// Bitmap bytes 6-254 hold at most this many data blocks.
inline constexpr uint32_t kMaxDataBlocks = 249 * 8;  // 1992
// Record numbers are 16-bit.
inline constexpr uint32_t kMaxRecords = 65536;
// The consistency check accepts at most this many records per block.
inline constexpr int kMaxRecordsPerBlock = 32;

// System record fields (offsets inside record 15).
namespace sys {
inline constexpr uint32_t kVolumeNumber = 0;
inline constexpr uint32_t kReservedBlocks = 1;   // 1 byte
inline constexpr uint32_t kUsedBlocks = 2;       // 2 bytes LE
inline constexpr uint32_t kTotalBlocks = 4;      // 2 bytes LE
inline constexpr uint32_t kBitmap = 6;           // bitmap start
inline constexpr uint32_t kRecordsPerBlockMinusOne = 255;
}  // namespace sys

// Directory entry fields (offsets inside a 32-byte entry).
namespace entry {
inline constexpr uint32_t kMode = 0;
inline constexpr uint32_t kName = 1;          // 17 bytes
inline constexpr uint32_t kAttribute = 18;
inline constexpr uint32_t kUnnamed = 19;
inline constexpr uint32_t kSize = 20;         // 2 bytes LE
inline constexpr uint32_t kLoadAddress = 22;  // 2 bytes LE
inline constexpr uint32_t kExecAddress = 24;  // 2 bytes LE
inline constexpr uint32_t kTimeStamp = 26;    // 4 bytes, big-endian BCD
inline constexpr uint32_t kStartRecord = 30;  // 2 bytes LE
}  // namespace entry

// The attribute of every file and directory the tool writes.
inline constexpr uint8_t kStoredAttribute = 0x80;

// Directory header entry byte 0.
inline constexpr uint8_t kDirectoryNormal = 0x80;
inline constexpr uint8_t kDirectorySwapped = 0x81;

// File modes.
namespace mode {
inline constexpr uint8_t kFree = 0;
inline constexpr uint8_t kObj = 1;
inline constexpr uint8_t kBtx = 2;
inline constexpr uint8_t kBsd = 3;
inline constexpr uint8_t kBrd = 4;
inline constexpr uint8_t kRb = 5;
inline constexpr uint8_t kLib = 7;
inline constexpr uint8_t kSys = 10;
inline constexpr uint8_t kGr = 11;
inline constexpr uint8_t kDir = 15;
}  // namespace mode

// BSD chain records: 254 data bytes, then the link.
inline constexpr uint32_t kChainData = 254;
inline constexpr uint32_t kChainLink = 254;
// BRD: 128 run entries in the index record, runs of 16 records.
inline constexpr int kIndexSlots = 128;
inline constexpr uint32_t kRunRecords = 16;
inline constexpr uint32_t kRunSize = kRunRecords * kRecordSize;  // 4096
inline constexpr uint32_t kBrdUnit = 32;  // BRD sizes count 32-byte units

// The three-character label the listing prints for a mode ("???" if none).
const char* mode_label(uint8_t mode);

}  // namespace tarnwick
