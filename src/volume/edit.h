// Changing a volume's files: the one way every command that writes goes.
//
// An edit claims and releases blocks through the allocation bitmap, fills
// and frees directory entries, makes directories and lays files out in the
// three layouts. It keeps the bytes it changes, so that rollback() puts the
// volume back as the edit found it. Operations return what failed and never
// print: each command says it in its own words and order.
//
// Blocks. A block is free when its bitmap bit is clear and none of its
// records is one of records 0-23 or a record that a file or directory of
// the volume holds, whatever the bitmap says: a bitmap that disagrees with
// the files must not cost a file its data. An allocation takes the first run
// of free blocks long enough, whole blocks, one for nothing; the bitmap bits
// and the used blocks counter (bytes 2-3, changed byte by byte as the
// machine does: the carry from byte 2 goes into byte 3, which wraps on its
// own) change together. What the volume holds is found once, at the first
// allocation, and kept up to date by the edit's own changes. Releasing
// clears a used data block's bit; the records of the blocks themselves are
// never cleared.
//
// Undo. The system record and every entry are kept before their first
// change. Records of blocks the edit claims are new data: nothing of the
// volume as found lies there, unless the edit released them first (a file
// replaced), and only those are kept. So a rolled-back edit leaves every
// byte the volume's files and directories lead to as it was.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

// One step of an allocation or a release, handed to a caller that traces
// them. What a, b and c hold depends on the kind.
struct AllocStep {
  enum class Kind {
    kBlocks,      // a: the blocks the length needs
    kDataBlocks,  // a: total blocks less the reserved ones
    kScan,        // a: the bitmap bit's mask, b: its byte, c: the free run before it
    kReserve,     // a: the block claimed
    kRelease,     // a: the record, b: its block, c: the used blocks left
  };
  Kind kind;
  int64_t a = 0, b = 0, c = 0;
  bool operator==(const AllocStep&) const = default;
};
using AllocTrace = std::function<void(const AllocStep&)>;

// The records of the data blocks that the bitmap can describe: past the
// reserved blocks, before total blocks, within the first 1992 data blocks
// and inside the volume.
RecordRange data_records(const Volume& vol);

// What a save needs to know of the volume as it was loaded, per record:
// `unused`, true when the record lies in a data block whose bitmap bit is
// clear and of which no file or directory holds a record, so that nothing
// of the volume lies there; `held`, true when the record is one of records
// 0-23 or a file or directory reachable from the root holds it;
// `structure`, true for the held records that say where files are:
// records 0-23, every directory's records and every BRD index record.
struct VolumeUse {
  std::vector<bool> unused;
  std::vector<bool> held;
  std::vector<bool> structure;
};
VolumeUse volume_use(const Volume& vol);

// The records a save of `vol` leaves as they are and its journal must bind
// all the same, so that no later state of the volume can pass for one the
// save left: the structure records of the volume as loaded, and the records
// its files held then in every data block whose bitmap bit is clear now
// (the blocks the command freed, which a later command may take again,
// writing from their first record on).
std::vector<bool> bound_records(const Volume& vol, const VolumeUse& loaded);

// What a new directory entry holds: its mode, its name (1-16 bytes, stored
// with its 0x0D fill), the size, load and execution address fields (entry
// bytes 20-25, as an MZT header's bytes 18-23 hold them), its first record
// and its time stamp. Attribute 0x80, byte 19 0.
struct NewEntry {
  uint8_t mode = mode::kObj;
  std::string_view name;
  std::array<uint8_t, 6> fields{};
  uint32_t start = 0;
  TimeStamp stamp{};
};
// The fields of a file of `size` bytes (32-byte units for BRD) with load and
// execution address 0.
std::array<uint8_t, 6> sized_fields(uint32_t size);

// Fills `out` with a file's bytes from `from` on; false when they could not
// all be read.
using ByteSource = std::function<bool(uint64_t from, std::span<uint8_t> out)>;

// Why a layout could not be written.
enum class WriteFault { kNone, kNoSpace, kReadFailed };
struct Written {
  WriteFault fault = WriteFault::kNone;
  uint32_t start = 0;  // the file's first record (index record for BRD)
  explicit operator bool() const { return fault == WriteFault::kNone; }
};

class VolumeEdit {
 public:
  explicit VolumeEdit(Volume& vol, AllocTrace trace = {});
  ~VolumeEdit();
  VolumeEdit(const VolumeEdit&) = delete;
  VolumeEdit& operator=(const VolumeEdit&) = delete;

  Volume& volume() { return vol_; }

  // Claims a run of blocks for `length` bytes and gives its first record;
  // nothing when no run fits (no_space() then tells the sizes).
  std::optional<uint32_t> claim(uint64_t length);
  // Writes `size` bytes from the source into the records from `start` on,
  // claimed for them: kReadFailed when the source came up short.
  WriteFault fill(uint32_t start, uint64_t size, const ByteSource& bytes);
  // After a failed claim: the bytes its blocks needed, and the bytes of all
  // the free blocks (a claim needs one run of them).
  struct NoSpace {
    uint64_t needed = 0;
    uint64_t free = 0;
  };
  const NoSpace& no_space() const { return no_space_; }

  // Releases the blocks of the file or directory an entry describes,
  // walking it to the end of its chain or index, and frees the entry (mode
  // 0; its other bytes and the file's records keep their contents). False
  // when the walk left the data blocks or looped: what came before is
  // released all the same, a BRD run reaching outside not at all.
  bool remove_entry(EntryRef e);

  // Fills entry `e` as `n` says.
  void write_entry(EntryRef e, const NewEntry& n);
  // Gives a written entry another attribute and time stamp (a tree stored
  // back as it was taken out).
  void amend_entry(EntryRef e, uint8_t attribute, const TimeStamp& stamp);

  // A new directory in entry `e` of directory `parent`: its 8 records (a
  // blank directory whose entry 1 is "." and entry 2 "..") and its entry,
  // mode DIR with size and addresses 0. Its first record, or nothing when
  // there is no room.
  std::optional<uint32_t> make_directory(uint32_t parent, EntryRef e, std::string_view name, const TimeStamp& stamp);

  // The layouts of BSD and BRD files, each claiming its blocks and writing
  // the file's data (a contiguous file is claim() and fill()):
  //   chained     the bytes (at most 65,535) as a chain of records, 254
  //               data bytes and a link each, the last linking to 0, one
  //               record for none, taken a block at a time, first fit;
  //   indexed     `size` bytes (at most 128 runs of 4096) as an index
  //               record listing runs of 16 records, each run and the index
  //               on blocks of their own, no run for none.
  // On a failure what was claimed stays claimed until rollback, and
  // no_space() tells the blocks of the whole layout and the free blocks
  // before it.
  Written write_chained(std::span<const uint8_t> bytes);
  // The contiguous layout of OBJ and BTX files: claim() and fill() in one.
  Written write_contiguous(std::span<const uint8_t> bytes);
  Written write_indexed(uint64_t size, const ByteSource& bytes);

  // Mending the bitmap of a damaged volume. mark_used() sets the bit of a
  // data block, leaving the used blocks counter as it is: false when the
  // block has no bit or it was set. recount_used_blocks() sets the counter
  // to the reserved blocks and the bits set.
  bool mark_used(uint32_t block);
  void recount_used_blocks();

  // Copies bytes over the volume from `offset` on, as they are (the
  // system record included); nothing of it is kept for rollback.
  void overwrite(uint64_t offset, std::span<const uint8_t> bytes);

  // Puts back everything the edit changed, the latest change first.
  void rollback();

 private:
  class BlockPool;

  BlockPool& pool();
  std::optional<uint32_t> allocate(uint64_t length);
  void keep(uint64_t offset, uint64_t length);
  void keep_system_record();
  void keep_released(uint64_t offset, uint64_t length);
  bool release(uint32_t record);
  void add_used_block(int by);
  Written out_of_space(uint64_t blocks, uint64_t free_blocks);

  Volume& vol_;
  AllocTrace trace_;
  std::unique_ptr<BlockPool> pool_;
  NoSpace no_space_;
  struct Kept {
    uint64_t offset;
    std::vector<uint8_t> bytes;
  };
  std::vector<Kept> kept_;
  bool system_kept_ = false;
  std::vector<bool> released_;  // per record: released by this edit
};

}  // namespace tarnwick
