// Builds volumes and image files in memory for tests, fuzz seeds, benchmarks
// and the sample images.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/host_time.h"
#include "volume/timestamp.h"
#include "support/memory_volume.h"
#include "volume/volume.h"

namespace tarnwick::testing {

using Bytes = std::vector<uint8_t>;

// Bytes 0, 1, 2, ... (mod 251) of the given length: data that shows shifts.
Bytes pattern(size_t length, uint8_t seed = 0);

struct FileOptions {
  uint16_t load_address = 0;
  uint16_t exec_address = 0;
  uint8_t attribute = 0x80;
  TimeStamp stamp = {0x98, 0x96, 0x31, 0xD9};  // 1998-12-31 23:59
};

class VolumeBuilder {
 public:
  // A formatted, empty volume: system record, bitmap, root directory.
  // Reserved blocks default to covering records 0-23.
  VolumeBuilder(uint16_t total_blocks, int records_per_block = 1, int reserved_blocks = -1);

  int records_per_block() const { return rpb_; }
  uint32_t reserved_blocks() const { return reserved_; }

  // Claims `blocks` free blocks (first fit) and returns their first record.
  uint32_t claim_blocks(uint32_t blocks);
  // Marks one block used in the bitmap and the used count.
  void mark_block(uint32_t block);

  // Fills the first free entry of the directory at `dir_record`.
  EntryRef add_entry(uint32_t dir_record, uint8_t mode, const std::string& name, uint16_t size,
                     uint16_t start_record, const FileOptions& opt = {});

  // Files of each layout; each claims its own blocks. Return the entry.
  EntryRef add_contiguous(uint32_t dir, const std::string& name, const Bytes& data,
                          uint8_t mode = 1, const FileOptions& opt = {});
  EntryRef add_bsd(uint32_t dir, const std::string& name, const Bytes& data, const FileOptions& opt = {});
  // `data` is padded to a multiple of 32 bytes (BRD sizes count 32-byte units).
  EntryRef add_brd(uint32_t dir, const std::string& name, const Bytes& data, const FileOptions& opt = {});
  // An entry of a mode the tool does not walk, owning one block.
  EntryRef add_other(uint32_t dir, const std::string& name, uint8_t mode, const FileOptions& opt = {});
  // A subdirectory with its "." and ".." entries; returns its first record.
  uint32_t add_directory(uint32_t parent, const std::string& name, const FileOptions& opt = {});

  MemoryVolume& volume() { return vol_; }
  // The volume's bytes as they are now, and to change in place.
  Bytes bytes() const { return vol_.bytes(); }
  std::span<uint8_t> writable() { return vol_.writable_bytes(0, vol_.size()); }
  Bytes take() const { return vol_.bytes(); }

 private:
  MemoryVolume vol_;
  int rpb_;
  uint32_t reserved_;
  uint32_t total_;
};

// An HDD image: signature, partition 1 at 0x2100 and, when given, partition 2
// at 0x9CC000. The file ends with the last partition.
Bytes make_hdd_image(const Bytes& partition1, const Bytes& partition2 = {});
// A ROM image: the volume and an optional tail of bytes after it.
Bytes make_rom_image(const Bytes& volume, const Bytes& tail = {});

struct D88Options {
  uint8_t disk_type = 0x10;   // 2DD
  int tracks = -1;            // formatted tracks; -1: as many as the volume fills
  bool write_protect = false;
  // R of stored sectors 0-15 of every track; empty: 1 to 16 in stored order.
  std::vector<uint8_t> sector_numbers;
  // Sectors stored after the 16th of every track (R 17, 18, ...), their data
  // `extra_fill`; every sector header then counts 16 + extra_sectors.
  int extra_sectors = 0;
  uint8_t extra_fill = 0x5A;
};
// A D88 image holding the volume (a multiple of 4096 bytes) with every data
// byte inverted, volume track t stored as D88 track t XOR 1. Tracks lie in
// the file in D88 track order, back to back after the header.
Bytes make_d88_image(const Bytes& volume, const D88Options& opt = {});

// The track table entry of D88 track d, read or changed in place.
uint32_t d88_track_offset(const Bytes& image, int d88_track);
void set_d88_track_offset(Bytes& image, int d88_track, uint32_t offset);

// Writes bytes to a host file (throws on failure) and reads one back.
void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);

}  // namespace tarnwick::testing
