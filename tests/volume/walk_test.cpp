#include "volume/walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::VolumeBuilder;

struct Walked {
  std::string pieces;  // "first+records:bytes" for each piece, 'i' marks the index
  WalkEnd end;
};

Walked walk_all(FileWalk w) {
  Walked out{"", WalkEnd::kComplete};
  while (const std::optional<Piece> p = w.next()) {
    out.pieces += std::to_string(p->first) + "+" + std::to_string(p->records) + ":" + std::to_string(p->bytes) +
                  (p->index ? "i " : " ");
  }
  out.end = w.end();
  return out;
}

void link(Volume& v, uint32_t from, uint32_t to) { v.put16(uint64_t{from} * kRecordSize + kChainLink, uint16_t(to)); }
void slot(Volume& v, uint32_t index, int k, uint32_t run) {
  v.put16(uint64_t{index} * kRecordSize + 2u * uint32_t(k), uint16_t(run));
}

// Every layout, its bound, its limit and its loops, on one 100-record volume
// whose bound for the walks is records 24-99.
TEST(FileWalkTest, YieldsPiecesInFileOrderAndEndsWithOneVerdict) {
  VolumeBuilder b(100);
  Volume& v = b.volume();
  const RecordRange bound{24, 100};
  link(v, 30, 40);
  link(v, 40, 35);
  link(v, 35, 0);
  link(v, 50, 51);
  link(v, 51, 50);  // a loop
  link(v, 60, 120);  // leaves the bound
  slot(v, 70, 0, 72);
  slot(v, 70, 1, 80);
  slot(v, 71, 0, 90);  // run 90-105 reaches past the bound
  const struct {
    const char* what;
    FileWalk walk;
    Walked want;
  } cases[] = {
      {"contiguous", FileWalk::contiguous(v, bound, 30, 600), {"30+3:600 ", WalkEnd::kComplete}},
      {"contiguous of 0 bytes", FileWalk::contiguous(v, bound, 0, 0), {"", WalkEnd::kComplete}},
      {"contiguous, records before the bound's end first",
       FileWalk::contiguous(v, bound, 98, 1000), {"98+2:512 ", WalkEnd::kOutside}},
      {"contiguous from a reserved record", FileWalk::contiguous(v, bound, 20, 10), {"", WalkEnd::kOutside}},
      {"chain to its end", FileWalk::chained(v, bound, 30, std::nullopt),
       {"30+1:254 40+1:254 35+1:254 ", WalkEnd::kComplete}},
      {"chain cut at its size", FileWalk::chained(v, bound, 30, 300), {"30+1:254 40+1:46 ", WalkEnd::kComplete}},
      {"chain of start 0", FileWalk::chained(v, bound, 0, std::nullopt), {"", WalkEnd::kComplete}},
      {"chain coming back", FileWalk::chained(v, bound, 50, std::nullopt),
       {"50+1:254 51+1:254 ", WalkEnd::kLoop}},
      {"chain leaving the bound", FileWalk::chained(v, bound, 60, std::nullopt),
       {"60+1:254 ", WalkEnd::kOutside}},
      {"index and its runs", FileWalk::indexed(v, bound, 70, std::nullopt),
       {"70+1:0i 72+16:4096 80+16:4096 ", WalkEnd::kComplete}},
      {"index cut at its size: the last run only as far as needed", FileWalk::indexed(v, bound, 70, 4096 + 300),
       {"70+1:0i 72+16:4096 80+2:300 ", WalkEnd::kComplete}},
      {"a run reaching outside is refused whole", FileWalk::indexed(v, bound, 71, std::nullopt),
       {"71+1:0i ", WalkEnd::kOutside}},
      {"the part a sized run needs may lie inside", FileWalk::indexed(v, bound, 71, 2000),
       {"71+1:0i 90+8:2000 ", WalkEnd::kComplete}},
      {"index outside", FileWalk::indexed(v, bound, 100, 10), {"", WalkEnd::kOutside}},
  };
  for (const auto& c : cases) {
    const Walked got = walk_all(c.walk);
    EXPECT_EQ(got.pieces, c.want.pieces) << c.what;
    EXPECT_EQ(got.end, c.want.end) << c.what;
  }
}

TEST(FileWalkTest, AChainThroughEveryRecordEndsWithinTheBound) {
  VolumeBuilder b(300);
  Volume& v = b.volume();
  for (uint32_t r = 24; r < 300; ++r) link(v, r, r + 1 < 300 ? r + 1 : 24);
  FileWalk w = FileWalk::chained(v, RecordRange{24, 300}, 24, std::nullopt);
  int steps = 0;
  while (w.next()) ++steps;
  EXPECT_EQ(steps, 300 - 24);
  EXPECT_EQ(w.end(), WalkEnd::kLoop);
  EXPECT_EQ(w.loop_record(), 24u);
}

}  // namespace
}  // namespace tarnwick
