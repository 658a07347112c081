#include "volume/volume.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarnwick {
namespace {

// Pages of byte value (offset / 256) & 0xFF, recording which were asked for;
// pages from `fail_from` on cannot be read.
class CountingPages final : public PageSource {
 public:
  CountingPages(std::vector<uint64_t>& asked, uint64_t fail_from) : asked_(asked), fail_from_(fail_from) {}
  bool fill(uint64_t offset, std::span<uint8_t> out) override {
    asked_.push_back(offset);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>((offset + i) / kRecordSize);
    return offset < fail_from_;
  }

 private:
  std::vector<uint64_t>& asked_;
  uint64_t fail_from_;
};

// A volume's pages: each read from its source the first time an accessor
// touches it, pages next to each other with one read.
TEST(PagerTest, ReadsEachPageOnceWhenAnAccessorFirstTouchesIt) {
  std::vector<uint64_t> asked;
  // Two whole pages and a last one of two records.
  Pager pager(2 * Pager::kPageSize + 512, std::make_unique<CountingPages>(asked, UINT64_MAX));
  const Volume v(pager);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(v.u8(4095), 15);
  EXPECT_EQ(asked, (std::vector<uint64_t>{0}));
  EXPECT_EQ(v.le16(4095), 0x100F);  // the last byte of page 0 and the first of page 1
  EXPECT_EQ(v.u8(2 * 4096 + 511), 33);
  EXPECT_EQ(v.u8(2 * 4096 + 512), 0);  // past the end: nothing read
  EXPECT_EQ(v.bytes(4000, 200).size(), 200u);
  EXPECT_EQ(asked, (std::vector<uint64_t>{0, 4096, 8192}));
  EXPECT_TRUE(pager.changed_runs().empty());
  EXPECT_FALSE(v.read_failed());
}

TEST(PagerTest, ChangedPagesMakeRunsAndAFailedReadIsRemembered) {
  std::vector<uint64_t> asked;
  Pager pager(4 * Pager::kPageSize, std::make_unique<CountingPages>(asked, 3 * Pager::kPageSize));
  Volume v(pager);
  v.put16(4095, 0xBEEF);  // pages 0 and 1, read with one read
  v.put8(3 * 4096, 1);    // page 3, which cannot be read
  const std::vector<Pager::Run> runs = pager.changed_runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].offset, 0u);
  EXPECT_EQ(runs[0].length, 2 * 4096u);
  EXPECT_EQ(runs[1].offset, 3 * 4096u);
  EXPECT_EQ(runs[1].length, 4096u);
  EXPECT_TRUE(v.read_failed());
  EXPECT_EQ(asked, (std::vector<uint64_t>{0, 3 * 4096}));
  // Pages overwritten whole are not read first.
  std::fill_n(v.overwritten_bytes(2 * 4096, 4096).begin(), 4096, uint8_t{7});
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(pager.changed_runs().size(), 1u);
}

// A read copies what is in memory and reads the rest straight into its
// buffer, whole pages in one go, without keeping them.
TEST(PagerTest, AReadKeepsNothingItReads) {
  std::vector<uint64_t> asked;
  Pager pager(3 * Pager::kPageSize + 512, std::make_unique<CountingPages>(asked, UINT64_MAX));
  const Volume v(pager);
  EXPECT_EQ(v.u8(4096), 16);
  std::vector<uint8_t> out(3 * 4096 + 512 - 100);
  ASSERT_TRUE(v.read(100, out));
  EXPECT_EQ(asked, (std::vector<uint64_t>{4096, 0, 2 * 4096}));
  for (size_t i = 0; i < out.size(); i += 97) EXPECT_EQ(out[i], static_cast<uint8_t>((100 + i) / 256)) << i;
  EXPECT_EQ(out.back(), 49);
  EXPECT_EQ(v.u8(0), 0);
  EXPECT_EQ(asked.size(), 4u);  // page 0 was not kept
  EXPECT_FALSE(v.read(200, out));  // past the end
}

TEST(CodingTest, SixtyFourBitFieldsAreLittleEndian) {
  uint8_t b[8] = {};
  store64(b, 0x0102030405060708ull);
  EXPECT_EQ(b[0], 0x08);
  EXPECT_EQ(b[7], 0x01);
  EXPECT_EQ(load64(b), 0x0102030405060708ull);
  store64(b, UINT64_MAX);
  EXPECT_EQ(load64(b), UINT64_MAX);
}

}  // namespace
}  // namespace tarnwick
