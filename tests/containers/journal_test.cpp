// The journal on its own: how a save's stretches become whole sectors, and
// which images a journal left behind fits, sector by sector.
#include "containers/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/memory_host.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::pattern;

struct SectorSpan {
  uint64_t offset, length;
  bool fresh;
  bool operator==(const SectorSpan&) const = default;
};

// The units as (first offset, runs) pairs, for comparing.
std::vector<std::vector<SectorSpan>> runs_of(const std::vector<WriteUnit>& units) {
  std::vector<std::vector<SectorSpan>> out;
  for (const WriteUnit& u : units) {
    out.emplace_back();
    for (const SectorRun& r : u.runs) out.back().push_back({r.offset, r.length, r.fresh});
  }
  return out;
}

TEST(SectorUnitsTest, StretchesBecomeWholeSectorsAndFreshOnlyWhereAllTheirBytesAre) {
  const Bytes data(0x3000, 0x11);
  const auto bytes = [&](uint64_t n) { return std::span<const uint8_t>(data.data(), static_cast<size_t>(n)); };
  const struct {
    const char* what;
    std::vector<Stretch> stretches;
    uint64_t file_size;
    std::optional<std::vector<std::vector<SectorSpan>>> units;
  } cases[] = {
      {"a page 256 bytes into a sector", {{0x2100, bytes(0x1000), false}}, 0x10000, {{{{0x2000, 0x1200, false}}}}},
      {"fresh beside old, meeting inside a sector",
       {{0x2100, bytes(0x1000), true}, {0x3100, bytes(0x1000), false}},
       0x10000,
       {{{{0x2000, 0x1000, true}, {0x3000, 0x1200, false}}}}},
      {"a sector between them untouched: two writes",
       {{0x100, bytes(0x100), false}, {0x500, bytes(0x100), true}},
       0x10000,
       {{{{0x000, 0x200, false}}, {{0x400, 0x200, true}}}}},
      {"in any order", {{0x500, bytes(0x100), true}, {0x100, bytes(0x100), false}}, 0x10000,
       {{{{0x000, 0x200, false}}, {{0x400, 0x200, true}}}}},
      {"the file's last sector short", {{0x2F0, bytes(0x10), false}}, 0x300, {{{{0x200, 0x100, false}}}}},
      {"past the file's end", {{0x2F0, bytes(0x20), false}}, 0x300, std::nullopt},
      {"overlapping", {{0x100, bytes(0x100), false}, {0x1F0, bytes(0x10), false}}, 0x1000, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<std::vector<WriteUnit>> units = sector_units(c.stretches, c.file_size);
    ASSERT_EQ(units.has_value(), c.units.has_value()) << c.what;
    if (units) {
      EXPECT_EQ(runs_of(*units), *c.units) << c.what;
    }
  }
}

// An image of 8 KiB, a save of two stretches (one over data the journal
// keeps, one fresh) binding a sector it leaves as it is, stopped just
// before the journal is deleted.
struct Left {
  Bytes old_image = pattern(0x2000, 3);
  Bytes new_bytes = pattern(0x800, 200);
  Bytes image;
  Bytes journal;
  HostPath journal_path = HostPath::from_argument("img-journal");

  Left() {
    const std::vector<Stretch> stretches = {{0x180, std::span(new_bytes).first(0x200), false},
                                            {0x1000, std::span(new_bytes).subspan(0x200), true}};
    MemoryHost clean = host();
    EXPECT_TRUE(save(clean, stretches));
    MemoryHost stopped = host();
    stopped.crash_after = clean.steps - 2;  // before the removal and its folder sync
    save(stopped, stretches);
    image = stopped.files["img"];
    journal = stopped.files["img-journal"];
  }
  MemoryHost host() const {
    MemoryHost h;
    h.files["img"] = old_image;
    return h;
  }
  bool save(MemoryHost& h, const std::vector<Stretch>& stretches) {
    std::unique_ptr<File> f = h.open(HostPath::from_argument("img"), OpenMode::kUpdate);
    return write_journaled(h, journal_path, *f, stretches, std::vector<FileSpan>{{0x1900, 0x80}});
  }
  // What a run that finds the journal beside `now` does, and the image after.
  std::pair<Recovery, Bytes> recover(const Bytes& now) const {
    MemoryHost h;
    h.files["img"] = now;
    h.files["img-journal"] = journal;
    std::unique_ptr<File> f = h.open(HostPath::from_argument("img"), OpenMode::kUpdate);
    const Recovery r = recover_from_journal(h, journal_path, f, true);
    return {r, h.files["img"]};
  }
};

// A sector is judged whole: wholly as before the save, or wholly as after
// it (for a fresh sector, as its digest says). A journal is played back only
// when every sector passes and the size is the one it gives.
TEST(JournalFitTest, EverySectorMustBeWhollyOldOrWhollyNew) {
  Left left;
  ASSERT_NE(left.image, left.old_image);
  ASSERT_FALSE(left.journal.empty());
  const auto with = [&](uint64_t from, uint64_t to, const Bytes& source) {
    Bytes b = left.image;
    std::copy(source.begin() + static_cast<long>(from), source.begin() + static_cast<long>(to),
              b.begin() + static_cast<long>(from));
    return b;
  };
  Bytes scribbled = left.image;
  scribbled[0x15FF] ^= 1;
  Bytes bound_changed = left.image;
  bound_changed[0x1800] ^= 1;
  Bytes grown = left.image;
  grown.push_back(0);
  const struct {
    const char* what;
    Bytes image;
    Recovery want;
  } cases[] = {
      {"all new", left.image, Recovery::kRestored},
      {"all old", left.old_image, Recovery::kRestored},
      {"first sector old, the rest new", with(0x000, 0x200, left.old_image), Recovery::kRestored},
      {"fresh sectors half written", with(0x1400, 0x1800, left.old_image), Recovery::kRestored},
      {"a sector half old", with(0x200, 0x300, left.old_image), Recovery::kNotThisFile},
      {"a fresh sector holding something else", scribbled, Recovery::kNotThisFile},
      {"a sector it binds changed", bound_changed, Recovery::kNotThisFile},
      {"another size", grown, Recovery::kNotThisFile},
  };
  for (const auto& c : cases) {
    const auto [recovery, after] = left.recover(c.image);
    EXPECT_EQ(recovery, c.want) << c.what;
    EXPECT_EQ(after, c.want == Recovery::kRestored ? left.old_image : c.image) << c.what;
  }
}

// A journal of version 3 keeps no new bytes of a fresh stretch: only its
// old bytes prove it belongs. Stretches of older versions need not be whole
// sectors; each part within one sector is judged on its own.
TEST(JournalFitTest, FormerVersionsAreJudgedByWhatTheyKeep) {
  const Bytes old_image = pattern(0x1000, 7);
  Bytes new_image = old_image;
  for (size_t i = 0x1F0; i < 0x610; ++i) new_image[i] ^= 0x5A;
  // Version 3: one stretch [0x1F0, 0x210) with old and new bytes, one fresh
  // stretch [0x400, 0x610) with old bytes only.
  Bytes journal = {'T', 'W', 'J', 'O', 'U', 'R', 'N', 'L', 3, 0, 0, 0, 2, 0, 0, 0};
  const auto put64 = [&](uint64_t v) {
    for (int k = 0; k < 8; ++k) journal.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  put64(old_image.size());
  put64(0x1F0);
  put64(0x20);
  journal.push_back(0);
  journal.insert(journal.end(), old_image.begin() + 0x1F0, old_image.begin() + 0x210);
  journal.insert(journal.end(), new_image.begin() + 0x1F0, new_image.begin() + 0x210);
  put64(0x400);
  put64(0x210);
  journal.push_back(2);
  journal.insert(journal.end(), old_image.begin() + 0x400, old_image.begin() + 0x610);
  uint32_t crc = 0xFFFFFFFFu;
  for (const uint8_t b : journal) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  for (int k = 0; k < 4; ++k) journal.push_back(static_cast<uint8_t>(~crc >> (8 * k)));

  Bytes split = old_image;  // the first stretch's part in sector 0 new, in sector 1 old
  std::copy(new_image.begin() + 0x1F0, new_image.begin() + 0x200, split.begin() + 0x1F0);
  Bytes fresh_written = old_image;
  std::copy(new_image.begin() + 0x400, new_image.begin() + 0x610, fresh_written.begin() + 0x400);
  const struct {
    const char* what;
    Bytes image;
    Recovery want;
  } cases[] = {
      {"as before the save", old_image, Recovery::kRestored},
      {"parts in two sectors, one new and one old", split, Recovery::kRestored},
      {"a fresh stretch written", fresh_written, Recovery::kNotThisFile},
  };
  for (const auto& c : cases) {
    MemoryHost h;
    h.files["img"] = c.image;
    h.files["img-journal"] = journal;
    std::unique_ptr<File> f = h.open(HostPath::from_argument("img"), OpenMode::kUpdate);
    EXPECT_EQ(recover_from_journal(h, HostPath::from_argument("img-journal"), f, true), c.want) << c.what;
    if (c.want == Recovery::kRestored) {
      EXPECT_EQ(h.files["img"], old_image) << c.what;
    }
  }
}

}  // namespace
}  // namespace tarnwick
