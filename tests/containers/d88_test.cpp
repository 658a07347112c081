#include "containers/d88.h"

#include <gtest/gtest.h>

#include "containers/d88_disks.h"
#include "containers/raw.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <random>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/memory_volume.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;

using testing::Bytes;
using testing::D88Options;
using testing::MemoryHost;
using testing::VolumeBuilder;

constexpr size_t kHeader = 688;
constexpr size_t kSpan = 272;

// A 2DD volume of 160 tracks (1280 blocks of 2 records) whose free records
// hold a pattern, so that every record differs from its neighbours.
Bytes floppy_volume() {
  VolumeBuilder b(1280, 2);
  b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(1000));
  Bytes v = b.take();
  for (size_t r = 64; r < v.size() / kRecordSize; ++r) {
    const Bytes p = testing::pattern(kRecordSize, static_cast<uint8_t>(r));
    std::copy(p.begin(), p.end(), v.begin() + static_cast<long>(r * kRecordSize));
  }
  return v;
}

// The sector header of stored sector j of D88 track d.
uint8_t* sector_header(Bytes& image, int d, size_t j) {
  return image.data() + testing::d88_track_offset(image, d) + j * kSpan;
}

struct D88Run {
  MemoryHost host;
  std::unique_ptr<File> file;
  Console con;
  D88Header header;
  bool checked = false;
  std::unique_ptr<Pager> pager;
  std::optional<Volume> view;

  explicit D88Run(const Bytes& image) {
    host.files["disk.d88"] = image;
    file = host.open(HostPath::from_argument("disk.d88"), OpenMode::kUpdate, nullptr);
    Report said;
    checked = check_d88_format(*file, said, header);
    con.show(said);
  }
  bool load() {
    pager = load_d88_image(*file, header);
    if (pager) view.emplace(*pager);
    return pager != nullptr;
  }
  bool save() { return save(*pager); }
  bool save(Pager& from) {
    Container d88;
    d88.kind = ContainerKind::kD88;
    d88.d88 = header;
    return testing::save_unjournaled(*file, from, d88);
  }
  Volume& vol() { return *view; }
  // Every byte of the loaded volume, read or written whole.
  Bytes volume_bytes() {
    Bytes b(pager->size());
    pager->read(0, b);
    return b;
  }
  void set_volume_bytes(const Bytes& b) {
    const std::span<uint8_t> to = vol().writable_bytes(0, b.size());
    std::copy(b.begin(), b.end(), to.begin());
  }
  const Bytes& bytes() { return host.files["disk.d88"]; }
};

// --- The check -------------------------------------------------------------

TEST(D88CheckTest, ShortFileShowsNoDiskTypeAndNoLineEnd) {
  D88Run r(Bytes(kHeader - 1, 0));
  EXPECT_FALSE(r.checked);
  EXPECT_EQ(r.con.out_text(), "");
  EXPECT_EQ(r.con.err_text(), msg::kNotD88.bytes);
  EXPECT_NE(r.con.err_text().back(), '\n');
}

TEST(D88CheckTest, AllZeroTrackTablePassesButDoesNotLoad) {
  D88Run r(Bytes(kHeader, 0));
  EXPECT_TRUE(r.checked);
  EXPECT_EQ(r.con.out_text(), "Disk type: 2D\n");
  EXPECT_EQ(r.con.err_text(), "");
  EXPECT_FALSE(r.load());
  EXPECT_FALSE(r.pager);
}

TEST(D88CheckTest, DiskTypeIsPrintedAndRefusesNothing) {
  const Bytes vol = floppy_volume();
  const std::pair<uint8_t, const char*> types[] = {
      {0x00, "2D\n"}, {0x10, "2DD\n"}, {0x20, "2HD\n"}, {0x30, "???\n"}, {0xFF, "???\n"}};
  for (const auto& [type, name] : types) {
    D88Options o;
    o.disk_type = type;
    D88Run r(testing::make_d88_image(vol, o));
    EXPECT_TRUE(r.checked) << int{type};
    EXPECT_EQ(r.con.out_text(), std::string("Disk type: ") + name);
    EXPECT_TRUE(r.load()) << int{type};
  }
}

TEST(D88CheckTest, FormattedTrackAfterAnUnformattedOneNamesTheVolumeTrack) {
  const Bytes good = testing::make_d88_image(floppy_volume());

  // D88 track 1 is volume track 0.
  Bytes image = good;
  testing::set_d88_track_offset(image, 1, 0);
  D88Run first(image);
  EXPECT_FALSE(first.checked);
  EXPECT_EQ(first.con.err_text(), message_text(msg::kTrackUnformatted, 0));

  // D88 track 0 is volume track 1; the fault shows once volume track 2 is
  // reached, before anything of D88 track 3 is examined.
  image = good;
  testing::set_d88_track_offset(image, 0, 0);
  sector_header(image, 3, 0)[d88::kDensity] = 0x40;
  D88Run second(image);
  EXPECT_FALSE(second.checked);
  EXPECT_EQ(second.con.out_text(), "Disk type: 2DD\n");
  EXPECT_EQ(second.con.err_text(), message_text(msg::kTrackUnformatted, 1));

  // The latest gap is named: volume tracks 3 and 4 unformatted, 5 formatted.
  image = good;
  testing::set_d88_track_offset(image, 2, 0);
  testing::set_d88_track_offset(image, 5, 0);
  D88Run third(image);
  EXPECT_EQ(third.con.err_text(), message_text(msg::kTrackUnformatted, 4));
}

TEST(D88CheckTest, SectorCountComesFromTheFirstSectorHeaderOnly) {
  const Bytes vol = floppy_volume();
  Bytes image = testing::make_d88_image(vol);
  sector_header(image, 7, 0)[d88::kSectorCount] = 15;
  D88Run fewer(image);
  EXPECT_FALSE(fewer.checked);
  EXPECT_EQ(fewer.con.err_text(), message_text(msg::kSectorCount, 7, 15));

  image = testing::make_d88_image(vol);
  sector_header(image, 7, 0)[d88::kSectorCount] = 0;
  D88Run none(image);
  EXPECT_EQ(none.con.err_text(), message_text(msg::kSectorCount, 7, 0));

  // The count is 16 bits wide: 0x0100 sectors is more than 16, not 0.
  image = testing::make_d88_image(vol);
  sector_header(image, 7, 0)[d88::kSectorCount] = 0;
  sector_header(image, 7, 0)[d88::kSectorCount + 1] = 1;
  D88Run many(image);
  EXPECT_TRUE(many.checked);
  EXPECT_EQ(many.con.err_text(), message_text(msg::kSectorCount, 7, 256) + msg::kIgnoringSectors.bytes);

  // Later headers may say anything.
  image = testing::make_d88_image(vol);
  for (size_t j = 1; j < 16; ++j) sector_header(image, 7, j)[d88::kSectorCount] = static_cast<uint8_t>(j);
  D88Run later(image);
  EXPECT_TRUE(later.checked);
  EXPECT_EQ(later.con.err_text(), "");
}

TEST(D88CheckTest, SeventeenSectorsWarnOnceAndUseTheFirstSixteen) {
  D88Options o;
  o.extra_sectors = 1;
  const Bytes vol = floppy_volume();
  Bytes image = testing::make_d88_image(vol, o);
  // The file ends with the 16th sector of its last track: the 17th is not
  // needed by the check or the load.
  image.resize(image.size() - kSpan);
  D88Run r(image);
  EXPECT_TRUE(r.checked);
  std::string expected;
  for (int t = 0; t < 160; ++t) expected += message_text(msg::kSectorCount, t ^ 1, 17) + msg::kIgnoringSectors.bytes;
  EXPECT_EQ(r.con.err_text(), expected);
  ASSERT_TRUE(r.load());
  EXPECT_EQ(r.volume_bytes(), vol);
}

TEST(D88CheckTest, SectorFaultsNameTheD88TrackAndTheSectorNumber) {
  D88Options o;
  o.sector_numbers = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};
  const Bytes good = testing::make_d88_image(floppy_volume(), o);
  struct Case {
    uint32_t field;
    uint8_t value;
    const Message<Severity::kFailure, arg::Int, arg::Int>& message;
  };
  const Case cases[] = {
      {d88::kN, 2, msg::kSectorSize},
      {d88::kN, 0, msg::kSectorSize},
      {d88::kDensity, 0x40, msg::kSingleDensity},
      {d88::kDataSize, 0x80, msg::kSectorSize},      // data size 0x0180
      {d88::kDataSize + 1, 0x00, msg::kSectorSize},  // data size 0x0000
      {d88::kDataSize + 1, 0x02, msg::kSectorSize},  // data size 0x0200
  };
  for (const Case& c : cases) {
    Bytes image = good;
    sector_header(image, 40, 3)[c.field] = c.value;  // stored sector 3 has R 10
    D88Run r(image);
    EXPECT_FALSE(r.checked);
    EXPECT_EQ(r.con.err_text(), message_text(c.message, 40, 10)) << c.field;
  }
  // Size code is tested before density, and the first faulty sector counts.
  Bytes image = good;
  sector_header(image, 40, 5)[d88::kDensity] = 0x40;
  sector_header(image, 40, 5)[d88::kN] = 2;
  sector_header(image, 40, 9)[d88::kDensity] = 0x40;
  D88Run r(image);
  EXPECT_EQ(r.con.err_text(), message_text(msg::kSectorSize, 40, 11));
}

TEST(D88CheckTest, TracksReachingPastTheEndOfTheFileAreRefused) {
  const Bytes good = testing::make_d88_image(floppy_volume());

  // The last track in the file, D88 track 159, loses its last byte.
  Bytes image = good;
  image.pop_back();
  D88Run cut(image);
  EXPECT_FALSE(cut.checked);
  EXPECT_EQ(cut.con.err_text(), message_text(msg::kTrackOutsideFile, 159));

  // Offsets at the end of the file, with not even a whole sector header
  // after them, beyond the file, and near the 32-bit limit.
  for (uint32_t offset : {static_cast<uint32_t>(good.size()), static_cast<uint32_t>(good.size() + 1000),
                          0x7FFFFFFFu, 0xFFFFFFFFu}) {
    image = good;
    image.resize(good.size() + 15, 0);
    testing::set_d88_track_offset(image, 21, offset);
    D88Run r(image);
    EXPECT_FALSE(r.checked);
    EXPECT_EQ(r.con.err_text(), message_text(msg::kTrackOutsideFile, 21)) << offset;
  }

  // A track that is too short on the disk is named as such, even when the
  // file also ends inside it.
  image = good;
  sector_header(image, 159, 0)[d88::kSectorCount] = 8;
  image.resize(image.size() - 8 * kSpan);
  D88Run short_track(image);
  EXPECT_EQ(short_track.con.err_text(), message_text(msg::kSectorCount, 159, 8));
}

TEST(D88CheckTest, TracksOverTheHeaderOrOverEachOtherAreRefused) {
  const Bytes good = testing::make_d88_image(floppy_volume());

  // A track read from the wrong place fails its own tests first; their
  // messages are the ones a user sees.
  Bytes image = good;
  testing::set_d88_track_offset(image, 1, kHeader - 1);
  D88Run over_header(image);
  EXPECT_FALSE(over_header.checked);
  EXPECT_EQ(over_header.con.err_text().find(message_text(msg::kTrackBadOffset, 1)), std::string::npos);

  // A disk of another machine: 16 sectors of 128 bytes a track, tracks 2,304
  // bytes apart. Its first sector is named for its size, not its position.
  Bytes small(kHeader + 160 * 2304, 0);
  for (uint32_t d = 0; d < 160; ++d) {
    testing::set_d88_track_offset(small, static_cast<int>(d), static_cast<uint32_t>(kHeader + d * 2304));
    for (uint32_t j = 0; j < 16; ++j) {
      uint8_t* h = small.data() + kHeader + d * 2304 + j * 144;
      h[2] = static_cast<uint8_t>(j + 1);  // R
      h[4] = 16;                           // sectors in the track; N = 0
      h[14] = 128;                         // data size
    }
  }
  D88Run other_machine(small);
  EXPECT_FALSE(other_machine.checked);
  EXPECT_EQ(other_machine.con.err_text(), message_text(msg::kSectorSize, 1, 1));

  // Two tracks at one offset, far apart in the walk: the first one reached
  // is named, and the tracks walked before it passed.
  image = good;
  testing::set_d88_track_offset(image, 150, testing::d88_track_offset(image, 60));
  D88Run twice(image);
  EXPECT_EQ(twice.con.err_text(), message_text(msg::kTrackBadOffset, 60));

  // Tracks back to back, in any order in the file, are fine.
  image = good;
  const uint32_t a = testing::d88_track_offset(image, 10);
  testing::set_d88_track_offset(image, 10, testing::d88_track_offset(image, 90));
  testing::set_d88_track_offset(image, 90, a);
  D88Run swapped(image);
  EXPECT_TRUE(swapped.checked);
  EXPECT_EQ(swapped.con.err_text(), "");
}

TEST(D88CheckTest, EveryTruncationIsRefusedWithoutReadingPastTheFile) {
  // Two tracks: D88 track 0 first in the file, then D88 track 1, which the
  // walk reaches first (volume track 0).
  const Bytes image = testing::make_d88_image(VolumeBuilder(16, 2).take());
  for (size_t length = 0; length < image.size(); ++length) {
    D88Run r(Bytes(image.begin(), image.begin() + static_cast<long>(length)));
    ASSERT_FALSE(r.checked) << length;
    ASSERT_EQ(r.con.err_text(), length < kHeader ? std::string(msg::kNotD88.bytes) : message_text(msg::kTrackOutsideFile, 1))
        << length;
  }
  D88Run whole(image);
  EXPECT_TRUE(whole.checked);
  EXPECT_TRUE(whole.load());
}

// --- Load and save ---------------------------------------------------------

TEST(D88LoadTest, OneHundredSixtyTracksGiveTheWholeVolume) {
  const Bytes vol = floppy_volume();
  const Bytes image = testing::make_d88_image(vol);
  // Data bytes are stored inverted: the root directory's first byte 0x80
  // is the first data byte of D88 track 0.
  ASSERT_EQ(image[testing::d88_track_offset(image, 0) + 16], 0x7F);
  D88Run r(image);
  ASSERT_TRUE(r.checked);
  ASSERT_TRUE(r.load());
  EXPECT_EQ(r.vol().size(), 655360u);
  EXPECT_EQ(r.volume_bytes(), vol);
  EXPECT_EQ(r.vol().geometry().records_per_block, 2);
  EXPECT_EQ(r.vol().geometry().bytes_per_block, 512);
  EXPECT_EQ(r.vol().geometry().total_blocks, 1280);
  EXPECT_EQ(r.vol().geometry().reserved_blocks, 12);
}

TEST(D88LoadTest, RecordsFollowTheStoredOrderNotTheSectorNumbers) {
  D88Options o;
  o.sector_numbers = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};
  const Bytes vol = floppy_volume();
  const Bytes image = testing::make_d88_image(vol, o);
  D88Run r(image);
  ASSERT_TRUE(r.checked);
  ASSERT_TRUE(r.load());
  EXPECT_EQ(r.volume_bytes(), vol);
  // The sector numbered 9 on D88 track 5 (volume track 4) is that track's
  // second record.
  const uint8_t* h = image.data() + testing::d88_track_offset(image, 5) + kSpan;
  ASSERT_EQ(h[d88::kR], 9);
  EXPECT_EQ(static_cast<uint8_t>(~h[16]), r.vol().u8((4 * 16 + 1) * kRecordSize));
}

TEST(D88LoadTest, RefusesVolumesTheTracksCannotHold) {
  const Bytes vol = floppy_volume();
  auto loads = [](const Bytes& image) {
    D88Run r(image);
    EXPECT_TRUE(r.checked);
    const bool ok = r.load();
    EXPECT_EQ(ok, r.pager != nullptr);
    return ok;
  };
  // 150 tracks hold 2400 records; the system record claims 2560.
  D88Options o;
  o.tracks = 150;
  EXPECT_FALSE(loads(testing::make_d88_image(vol, o)));
  // Exactly enough tracks for the claimed blocks.
  EXPECT_TRUE(loads(testing::make_d88_image(VolumeBuilder(1200, 2).take(), o)));
  // One track (D88 track 1): the root directory would lie beyond the volume.
  o.tracks = 2;
  Bytes one = testing::make_d88_image(VolumeBuilder(8, 2, 0).take(), o);
  testing::set_d88_track_offset(one, 0, 0);
  EXPECT_FALSE(loads(one));

  testing::MemoryVolume v(vol);
  v.set_sys8(sys::kReservedBlocks, 255);
  v.set_sys16(sys::kTotalBlocks, 200);  // reserved above total
  EXPECT_FALSE(loads(testing::make_d88_image(v.bytes())));
  v.set_sys16(sys::kTotalBlocks, 2560);  // 2305 data blocks, more than the bitmap holds
  v.set_sys8(sys::kRecordsPerBlockMinusOne, 0);
  EXPECT_FALSE(loads(testing::make_d88_image(v.bytes())));
}

TEST(D88SaveTest, UnchangedVolumeLeavesTheFileByteIdentical) {
  D88Options o;
  o.extra_sectors = 1;
  o.write_protect = true;
  o.disk_type = 0xFF;
  Bytes image = testing::make_d88_image(floppy_volume(), o);
  // Header and sector header bytes the tool does not read, and a tail.
  for (size_t i = 0; i < 0x1A; ++i) image[i] = static_cast<uint8_t>(0xA0 + i);
  for (int d = 0; d < 160; ++d) {
    for (size_t j = 0; j < 17; ++j) {
      uint8_t* h = sector_header(image, d, j);
      for (size_t k = 7; k < 14; ++k) h[k] = static_cast<uint8_t>(d + j + k);
    }
  }
  image.insert(image.end(), {1, 2, 3});
  D88Run r(image);
  ASSERT_TRUE(r.checked);
  ASSERT_TRUE(r.load());
  ASSERT_TRUE(r.save());
  EXPECT_EQ(r.bytes(), image);
}

TEST(D88SaveTest, WritesDataAreasOnlyAndReloadsWhatWasSaved) {
  D88Options o;
  o.extra_sectors = 1;
  const Bytes image = testing::make_d88_image(floppy_volume(), o);
  // Tracks swapped in the file: the save must follow the track table.
  Bytes shuffled = image;
  const uint32_t a = testing::d88_track_offset(shuffled, 0);
  testing::set_d88_track_offset(shuffled, 0, testing::d88_track_offset(shuffled, 100));
  testing::set_d88_track_offset(shuffled, 100, a);
  D88Run r(shuffled);
  ASSERT_TRUE(r.checked);
  ASSERT_TRUE(r.load());
  // Every record changes but the system record.
  Bytes changed = r.volume_bytes();
  for (size_t i = 0; i < changed.size(); ++i) {
    if (i / kRecordSize != kSystemRecord) changed[i] = static_cast<uint8_t>(changed[i] * 7 + 3);
  }
  r.set_volume_bytes(changed);
  ASSERT_TRUE(r.save());

  const Bytes& saved = r.bytes();
  ASSERT_EQ(saved.size(), shuffled.size());
  // Every byte that changed lies in the data of one of a track's first 16
  // sectors.
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved[i] == shuffled[i]) continue;
    ASSERT_GE(i, kHeader);
    const size_t in_track = (i - kHeader) % (17 * kSpan);
    ASSERT_LT(in_track, 16 * kSpan) << i;
    ASSERT_GE(in_track % kSpan, 16u) << i;
  }
  D88Run again(saved);
  ASSERT_TRUE(again.checked);
  ASSERT_TRUE(again.load());
  EXPECT_EQ(again.volume_bytes(), changed);
}

TEST(D88SaveTest, AnyLayoutThatPassesTheCheckSavesWhatItLoaded) {
  // Tracks placed at random sector boundaries of a eight-track file: those
  // that overlap must be refused, and every layout that passes must save
  // each record where it was read from, never over another.
  D88Options eight;
  eight.tracks = 8;
  Bytes image = testing::make_d88_image(VolumeBuilder(32, 2).take(), eight);
  const uint32_t sectors_in_file = 8 * 16;
  // Every sector holds the system record, so that whichever sector becomes
  // record 15 describes a volume of 32 blocks of 2 records.
  const size_t system = testing::d88_track_offset(image, 1) + 15 * kSpan + 16;
  const Bytes system_data(image.begin() + static_cast<long>(system),
                          image.begin() + static_cast<long>(system + kRecordSize));
  for (size_t j = 0; j < sectors_in_file; ++j) {
    std::copy(system_data.begin(), system_data.end(), image.begin() + static_cast<long>(kHeader + j * kSpan + 16));
  }
  std::mt19937 random(2500);
  int passed = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes shaped = image;
    for (int d = 0; d < 8; ++d) testing::set_d88_track_offset(shaped, d, 0);
    const int tracks = 4 + static_cast<int>(random() % 3);
    for (int t = 0; t < tracks; ++t) {
      const uint32_t sector = static_cast<uint32_t>(random() % (sectors_in_file - 15));
      testing::set_d88_track_offset(shaped, t ^ 1, static_cast<uint32_t>(kHeader + sector * kSpan));
    }
    D88Run r(shaped);
    if (!r.checked) {
      bool misplaced = false;
      for (int d = 0; d < 8; ++d) misplaced |= r.con.err_text() == message_text(msg::kTrackBadOffset, d);
      ASSERT_TRUE(misplaced) << round;
      continue;
    }
    ASSERT_TRUE(r.load()) << round;
    ++passed;
    Bytes changed = r.volume_bytes();
    for (size_t i = 0; i < changed.size(); ++i) {
      if (i / kRecordSize != kSystemRecord) changed[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    r.set_volume_bytes(changed);
    ASSERT_TRUE(r.save());
    D88Run again(r.bytes());
    ASSERT_TRUE(again.checked);
    ASSERT_TRUE(again.load());
    ASSERT_EQ(again.volume_bytes(), changed) << round;
  }
  EXPECT_GT(passed, 50) << passed;
}

TEST(D88SaveTest, FailsOnAShortWriteOrAVolumeOfAnotherSize) {
  D88Run r(testing::make_d88_image(floppy_volume()));
  ASSERT_TRUE(r.checked);
  ASSERT_TRUE(r.load());
  r.vol().put8(0x1000, 1);
  r.host.write_budget = 1000;
  EXPECT_FALSE(r.save());

  r.host.write_budget.reset();
  const Bytes before = r.bytes();
  Bytes smaller = r.volume_bytes();
  smaller.resize(smaller.size() - kRecordSize);
  testing::MemoryVolume other(smaller);
  other.put8(0x1000, 1);
  EXPECT_FALSE(r.save(other.pages()));
  EXPECT_EQ(r.bytes(), before);
}

// --- Files of several disks --------------------------------------------------

Bytes joined(const std::vector<Bytes>& disks) {
  Bytes all;
  for (const Bytes& d : disks) all.insert(all.end(), d.begin(), d.end());
  return all;
}

void set_size_field(Bytes& disk, uint32_t size) { store32(disk.data() + D88Header::kDiskSize, size); }

std::vector<DiskSpan> disks_of(const Bytes& file) {
  MemoryHost host;
  host.files["f"] = file;
  return d88_disks(*host.open(HostPath::from_argument("f"), OpenMode::kRead, nullptr), file.size());
}

// The chain follows the size fields while a whole header fits and passes;
// a file whose chain ends after its first disk is one disk owning it all.
TEST(D88DisksTest, TheChainFollowsSizeFieldsWhileAHeaderFitsAndPasses) {
  D88Options two_d;
  two_d.disk_type = 0x00;
  const Bytes a = testing::make_d88_image(VolumeBuilder(160, 1).take());         // 10 tracks, 2DD
  const Bytes b = testing::make_d88_image(VolumeBuilder(320, 2).take(), two_d);  // 40 tracks, 2D
  const Bytes c = testing::make_d88_image(VolumeBuilder(320, 1).take());         // 20 tracks
  const uint64_t A = a.size(), B = b.size(), C = c.size();
  const std::vector<DiskSpan> abc{{0, A}, {A, B}, {A + B, C}};
  Bytes b_bad_type = b, b_no_size = b, b_far_track = b, a_whole = a, c_0xff = c;
  b_bad_type[D88Header::kDiskType] = 0x50;
  set_size_field(b_no_size, 0);
  testing::set_d88_track_offset(b_far_track, 3, static_cast<uint32_t>(B));  // at the disk's end
  set_size_field(a_whole, static_cast<uint32_t>(A + B));
  c_0xff[D88Header::kDiskType] = 0xFF;
  const Bytes torn_c(c.begin(), c.begin() + static_cast<long>(C / 2));
  const struct {
    const char* what;
    Bytes file;
    std::vector<DiskSpan> disks;
  } cases[] = {
      {"three disks", joined({a, b, c}), abc},
      {"trailing bytes", joined({a, b, c, Bytes(100, 0xE5)}), abc},
      {"a header's worth of trailing bytes", joined({a, b, c, Bytes(700, 0)}), abc},
      {"a torn last disk", joined({a, b, torn_c}), {{0, A}, {A, B}}},
      {"an unknown type ends the chain", joined({a, b, c_0xff}), {{0, A}, {A, B}}},
      {"a damaged middle header", joined({a, b_bad_type, c}), {{0, A + B + C}}},
      {"a size field of 0", joined({a, b_no_size, c}), {{0, A + B + C}}},
      {"a track outside its disk", joined({a, b_far_track, c}), {{0, A + B + C}}},
      {"a first size field of the whole file", joined({a_whole, b}), {{0, A + B}}},
      {"one disk", a, {{0, A}}},
      {"shorter than a header", Bytes(100, 0), {{0, 100}}},
  };
  for (const auto& c : cases) EXPECT_EQ(disks_of(c.file), c.disks) << c.what;
}

// --- Raw images ------------------------------------------------------------

std::optional<RawOrder> order_of(const Bytes& file) {
  MemoryHost host;
  host.files["f"] = file;
  return raw_image_order(*host.open(HostPath::from_argument("f"), OpenMode::kRead, nullptr), file.size());
}

// A raw image is taken as on the disk first, then as the volume, when its
// size is an even number of tracks from 70 to 164 and record 15 fits.
TEST(RawImageTest, TheOrderIsTheFirstWhoseSystemRecordFits) {
  const Bytes vol = floppy_volume();  // 160 tracks
  const Bytes on_disk = raw_image_bytes(vol);
  EXPECT_EQ(order_of(on_disk), RawOrder::kAsOnDisk);
  EXPECT_EQ(order_of(vol), RawOrder::kAsVolume);
  EXPECT_EQ(order_of(Bytes(vol.size(), 0)), std::nullopt);
  // 70 tracks hold the volume of the first 70; other sizes are no raw image.
  const Bytes small = VolumeBuilder(1120, 1).take();
  EXPECT_EQ(order_of(raw_image_bytes(small)), RawOrder::kAsOnDisk);
  for (const size_t tracks : {68, 69, 71, 166}) {
    Bytes v = small;
    v.resize(tracks * 4096, 0);
    EXPECT_EQ(order_of(v), std::nullopt) << tracks;
  }
  // The system record names more blocks than the image holds.
  Bytes big = vol;
  store16(big.data() + Volume::kSystemOffset + sys::kTotalBlocks, 1281);
  EXPECT_EQ(order_of(big), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
