#include "operations/import.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::err_text;
using testing::message_text;
using testing::out_text;

using testing::Bytes;
using testing::MemoryHost;

// A volume of 0x200 records with a pattern in every byte, and a host.
struct ImportRun {
  testing::MemoryVolume vol{testing::pattern(0x200 * kRecordSize, 17)};
  MemoryHost host;
  Report con;

  bool run(const std::string& record, const std::string& file = "raw.bin") {
    con.drop_from(0);
    return import_records(vol, con, host, record, file);
  }
};

TEST(ImportTest, RecordNumberIsHexadecimalInEitherCase) {
  for (const char* record : {"1a0", "1A0", "01a0", "00000000000000000000000001A0"}) {
    ImportRun r;
    const Bytes before = r.vol.bytes();
    r.host.files["raw.bin"] = testing::pattern(10, 99);
    EXPECT_TRUE(r.run(record)) << record;
    EXPECT_EQ(err_text(r.con), "");
    Bytes expected = before;
    std::copy_n(r.host.files["raw.bin"].begin(), 10, expected.begin() + 0x1A0 * kRecordSize);
    EXPECT_EQ(r.vol.bytes(), expected) << record;
  }
  // The empty text is record 0.
  ImportRun r;
  r.host.files["raw.bin"] = {1, 2, 3};
  EXPECT_TRUE(r.run(""));
  EXPECT_EQ(r.vol.u8(0), 1);
  EXPECT_EQ(r.vol.u8(2), 3);
}

TEST(ImportTest, AnyOtherCharacterIsRefusedBeforeTheFileIsOpened) {
  for (const char* record : {"0x10", "10h", " 10", "+10", "-1", "1g", "\x82\x50"}) {
    ImportRun r;
    const Bytes before = r.vol.bytes();
    // The host file does not exist: only the record number is reported.
    EXPECT_FALSE(r.run(record, "missing.bin")) << record;
    EXPECT_EQ(err_text(r.con), msg::kBadRecordNumber.bytes) << record;
    EXPECT_EQ(out_text(r.con), "");
    EXPECT_EQ(r.vol.bytes(), before);
  }
}

TEST(ImportTest, CopiesThreeHundredBytesOverOneAndAPartRecord) {
  ImportRun r;
  const Bytes before = r.vol.bytes();
  const Bytes data = testing::pattern(300, 5);
  r.host.files["raw.bin"] = data;
  EXPECT_TRUE(r.run("20"));
  const size_t at = 0x20 * kRecordSize;
  for (size_t i = 0; i < r.vol.size(); ++i) {
    const uint8_t want = (i >= at && i < at + 300) ? data[i - at] : before[i];
    ASSERT_EQ(r.vol.u8(i), want) << i;
  }
}

TEST(ImportTest, EmptyFileChangesNothingAndSucceeds) {
  for (const char* record : {"0", "1FF", "200"}) {  // 0x200: just past the end
    ImportRun r;
    const Bytes before = r.vol.bytes();
    r.host.files["raw.bin"] = {};
    EXPECT_TRUE(r.run(record)) << record;
    EXPECT_EQ(err_text(r.con), "");
    EXPECT_EQ(r.vol.bytes(), before);
  }
}

TEST(ImportTest, NeverWritesPastTheVolume) {
  struct Case {
    const char* record;
    size_t length;
    bool fits;
    bool record_past_end;
  };
  const Case cases[] = {
      {"1FF", 256, true, false},  // the last record exactly
      {"0", 0x200 * kRecordSize, true, false},  // the whole volume
      {"1FF", 257, false, false},
      {"0", 0x200 * kRecordSize + 1, false, false},
      {"200", 1, false, true},
      {"201", 0, false, true},
      {"FFFF", 0, false, true},
      // Numbers that wrap round to small records in 32 or 64 bits.
      {"100000000", 1, false, true},
      {"1000000000000001F", 1, false, true},
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 1, false, true},
  };
  for (const Case& c : cases) {
    ImportRun r;
    const Bytes before = r.vol.bytes();
    r.host.files["raw.bin"] = testing::pattern(c.length, 1);
    EXPECT_EQ(r.run(c.record), c.fits) << c.record << " " << c.length;
    if (c.fits) {
      EXPECT_EQ(err_text(r.con), "");
      continue;
    }
    EXPECT_EQ(err_text(r.con),
              c.record_past_end ? std::string(msg::kBadRecordNumber.bytes) : message_text(msg::kDoesNotFit, "raw.bin"))
        << c.record << " " << c.length;
    EXPECT_EQ(r.vol.bytes(), before);
  }
}

TEST(ImportTest, HostFileFaultsLeaveTheVolumeUnchanged) {
  ImportRun r;
  const Bytes before = r.vol.bytes();
  EXPECT_FALSE(r.run("20", "missing.bin"));
  EXPECT_EQ(err_text(r.con), message_text(msg::kHostFileNotFound, "missing.bin"));

  // A read that comes up short copies nothing, not even what arrived.
  r.host.files["raw.bin"] = testing::pattern(1000, 3);
  r.host.fault_name = "raw.bin";
  r.host.read_budget = 999;
  EXPECT_FALSE(r.run("20"));
  EXPECT_EQ(err_text(r.con), message_text(msg::kReadFailed, "raw.bin"));
  EXPECT_EQ(r.vol.bytes(), before);
}

// A pipe has no length: it is read in sequence, and what fits is copied.
TEST(ImportTest, APipeIsCopiedWhenItFits) {
  for (const auto& [length, fits] : {std::pair{size_t{0}, true}, {300, true}, {0x10 * kRecordSize, true},
                                     {0x10 * kRecordSize + 1, false}, {0x10 * kRecordSize + 70000, false}}) {
    ImportRun r;
    const Bytes before = r.vol.bytes();
    const Bytes data = testing::pattern(length, 4);
    r.host.files["pipe"] = data;
    r.host.pipes.push_back("pipe");
    EXPECT_EQ(r.run("1F0", "pipe"), fits) << length;
    EXPECT_EQ(err_text(r.con), fits ? "" : message_text(msg::kDoesNotFit, "pipe")) << length;
    Bytes expected = before;
    if (fits) std::copy(data.begin(), data.end(), expected.begin() + 0x1F0 * kRecordSize);
    EXPECT_EQ(r.vol.bytes(), expected) << length;
  }
}

}  // namespace
}  // namespace tarnwick
