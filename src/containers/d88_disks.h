// The disks of a D88 file. A file may hold several disks one after
// another (a game of two or three disks in one file): each is a whole D88
// image, header, track table and tracks, its size field (header bytes
// 0x1C-0x1F) giving where the next one starts, its track offsets counted
// from its own start.
//
// Disk header, as far as the tool reads it:
//   OFFSET SIZE FIELD
//     0x00   17 disk name, ended by the first 0x00
//     0x1A    1 write protect: 0x10 protected (shown, never heeded)
//     0x1B    1 disk type: 0x00 2D, 0x10 2DD, 0x20 2HD, 0x30 1D, 0x40 1DD
//     0x1C    4 size of the disk in the file, header included
//     0x20  656 164 track offsets
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "containers/d88.h"
#include "containers/file_window.h"
#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

// True when `header` is the header of a D88 disk of at most `room` bytes:
// a disk type the format knows, a size field of at least the header's 688
// bytes and at most `room`, and every track offset 0 or inside the disk
// past the header.
bool is_d88_header(const D88Header& header, uint64_t room);

// The disks of a D88 file of `file_size` bytes, in file order, found by
// following the size fields from byte 0 while a whole header fits and
// passes is_d88_header with the room left. A file whose chain ends after
// its first disk (its size field 0, the file's size or beyond, or nothing
// after it that passes) is one disk that owns the whole file. Only the
// headers are read.
std::vector<DiskSpan> d88_disks(File& image, uint64_t file_size);

// The disk's name: header bytes 0x00-0x10 up to the first 0x00.
std::string d88_disk_name(const D88Header& header);

// Reads the header of the disk at `disk`; false when it is not all there.
bool read_d88_header(File& image, const DiskSpan& disk, D88Header& header);

// What a disk's header tells of it.
struct DiskFacts {
  unsigned number = 0;  // from 1, in file order
  std::string name;     // header bytes 0x00-0x10 up to the first 0x00
  uint8_t type = 0;     // header byte 0x1B
  bool write_protected = false;
  uint32_t size = 0;    // the size field
};

// The facts of each disk whose header can be read.
std::vector<DiskFacts> d88_disk_facts(File& image, const std::vector<DiskSpan>& disks);
// The same of one header.
DiskFacts d88_disk_facts(const D88Header& header, unsigned number);

// The disks as a list, a line each: number, disk type, size field, name,
// and whether the disk is marked write-protected.
void report_d88_disks(const std::vector<DiskFacts>& disks, Report& rep);

// The bytes of a D88 file of one disk that make the disk: the span its
// size field gives when that is at least a header, at most the file and
// holds the 16 sectors of every formatted track; else the whole file.
DiskSpan d88_lone_disk_bytes(const D88Header& header, uint64_t file_size);

}  // namespace tarnwick
