#include "operations/store_tree.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "operations/check.h"
#include "operations/extract.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"
#include "volume/path.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::make_mzt;
using testing::message_text;
using testing::pattern;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// A volume with a file, a directory holding a file, and room for about 40
// records more.
testing::VolumeBuilder sample() {
  testing::VolumeBuilder b(24 + 8 + 8 + 2 + 40, 1);
  b.add_contiguous(kRoot, "HELLO", pattern(300));
  const uint32_t games = b.add_directory(kRoot, "GAMES");
  b.add_contiguous(games, "WAR", pattern(10));
  return b;
}

struct TreeRun {
  explicit TreeRun(Volume& v) : vol(v) { host.folders.insert("h"); }
  std::optional<std::vector<std::string>> run(const std::string& path, const std::string& folder = "h") {
    return store_tree(vol, con, host, path, folder, {}, {});
  }
  Volume& vol;
  Report con;
  testing::MemoryHost host;
};

using Lines = std::vector<std::string>;

// A manifest of the top folder's entries, each given as its host name, its
// name's bytes in hexadecimal and its mode.
Bytes manifest(const std::vector<std::tuple<std::string, std::string, int>>& entries, int format = 1) {
  // Appended piece by piece: GCC 12's -O3 takes "text" + std::string for
  // an overlapping copy.
  std::string doc = "{\"format\":";
  doc.append(std::to_string(format)).append(",\"entries\":[");
  for (const auto& [host, name, mode] : entries) {
    if (doc.back() != '[') doc += ',';
    doc.append("{\"host\":\"").append(host).append("\",\"name_bytes\":\"").append(name).append("\",\"mode\":");
    doc.append(std::to_string(mode)).append(",\"attribute\":129,\"load\":0,\"exec\":0,\"stamp\":\"00000000\"}");
  }
  doc += "]}";
  return Bytes(doc.begin(), doc.end());
}

TEST(StoreTreeTest, RefusalsAndNamesOfAWholeFolder) {
  const Bytes mzt = make_mzt("ANY", pattern(20));
  const std::string e9 = "\xC3\xA9";  // é, which code page 932 cannot write
  const struct {
    const char* what;
    std::vector<std::pair<std::string, Bytes>> files;  // below h/
    std::vector<std::string> folders;
    std::string path;
    std::optional<Lines> lines;  // nothing: the command fails
    std::string err;
    std::string folder = "h";
  } cases[] = {
      {"names in byte order, %XX and ~2 kept, others skipped",
       {{"b.mzt", mzt}, {"%41%2f.BSD", pattern(3)}, {"A~2.Mzt", mzt}, {"notes.txt", {}}, {".mzt", mzt},
        {"Z.brd", pattern(64)}},
       {"SUB"},
       "",
       Lines{"A\r", "A~2", "Z", "b"},  // the '/' of a name, as paths hold it
       message_text(msg::kSkipped, "h/.mzt") + message_text(msg::kSkipped, "h/link.mzt") +
           message_text(msg::kSkipped, "h/notes.txt")},
      // X's manifest gives entries their order and names; one that cannot
      // be used is named and left alone.
      {"a manifest's order and names", {{"b.mzt", mzt}, {"A.bsd", {}}, {".tarnwick.json", manifest({{"b.mzt", "5A5A", 1}, {"A.bsd", "41", 3}})}},
       {}, "", Lines{"ZZ", "A"}, message_text(msg::kSkipped, "h/link.mzt")},
      {"a manifest that is no JSON", {{"b.mzt", mzt}, {"A.bsd", {}}, {".tarnwick.json", {'{'}}}, {}, "",
       Lines{"A", "b"}, message_text(msg::kManifestNotJson, "h/.tarnwick.json", 1) + message_text(msg::kSkipped, "h/link.mzt")},
      {"a manifest of another form", {{"b.mzt", mzt}, {"A.bsd", {}}, {".tarnwick.json", manifest({}, 2)}}, {}, "",
       Lines{"A", "b"}, message_text(msg::kManifestNotTree, "h/.tarnwick.json") + message_text(msg::kSkipped, "h/link.mzt")},
      {"a manifest that does not match", {{"b.mzt", mzt}, {"A.bsd", {}}, {".tarnwick.json", manifest({{"A.bsd", "41", 1}})}},
       {}, "", Lines{"A", "b"},
       message_text(msg::kManifestMismatch, "h/.tarnwick.json", "h/A.bsd") + message_text(msg::kSkipped, "h/link.mzt")},
      {"into a new directory, replacing nothing there", {{"SUB/X.mzt", mzt}}, {"SUB"}, "NEW", Lines{"SUB/X"},
       message_text(msg::kSkipped, "h/link.mzt")},
      {"an existing directory filled, a file replaced", {{"HELLO.mzt", mzt}, {"GAMES/WAR.bsd", {}}}, {"GAMES"},
       "/", Lines{"GAMES/WAR", "HELLO"}, message_text(msg::kSkipped, "h/link.mzt")},
      {"host folder missing", {}, {}, "", std::nullopt, message_text(msg::kPathNotFound, "nothere"), "nothere"},
      {"path names a file", {}, {}, "HELLO", std::nullopt, message_text(msg::kNotADirectory, "HELLO")},
      {"path through a missing directory", {}, {}, "NO/NEW", std::nullopt,
       message_text(msg::kDirectoryNotFound, "NO")},
      {"BSD too long", {{"B.bsd", pattern(65536)}}, {}, "", std::nullopt, message_text(msg::kNotBsdFile, "h/B.bsd")},
      {"BRD not whole units", {{"B.brd", pattern(33)}}, {}, "", std::nullopt,
       message_text(msg::kNotBrdFile, "h/B.brd")},
      {"BRD too long", {{"B.brd", pattern(524288 + 32)}}, {}, "", std::nullopt,
       message_text(msg::kNotBrdFile, "h/B.brd")},
      {"name too long", {{"ABCDEFGHIJKLMNOPQ.mzt", mzt}}, {}, "", std::nullopt,
       message_text(msg::kNameTooLong, "h/ABCDEFGHIJKLMNOPQ.mzt")},
      // "." and ".." lead out of the directory they are in: refused as M
      // refuses them, and nothing of the folder is stored.
      {"a folder standing for ..", {{"OK.mzt", mzt}, {".%2E/.%2E/PRECIOUS.mzt", mzt}}, {".%2E", ".%2E/.%2E"},
       "GAMES/DEEP", std::nullopt, message_text(msg::kAlreadyExists, "GAMES/DEEP/..")},
      {"a folder standing for .", {}, {"%2E"}, "", std::nullopt, message_text(msg::kAlreadyExists, ".")},
      {"a file standing for ..", {{"SUB/%2e%2E.mzt", mzt}}, {"SUB"}, "", std::nullopt,
       message_text(msg::kAlreadyExists, "SUB/..")},
      {"name not in code page 932", {{e9 + ".bsd", {}}}, {}, "", std::nullopt,
       message_text(msg::kPathNotShiftJis, ("h/" + e9 + ".bsd").c_str())},
      {"two entries for one name", {{"A.mzt", mzt}, {"A.bsd", {}}}, {}, "SUB", std::nullopt,
       message_text(msg::kAlreadyExists, "SUB/A")},
      {"a folder for a file", {}, {"HELLO"}, "", std::nullopt, message_text(msg::kAlreadyExists, "HELLO")},
      {"a file for a directory", {{"GAMES.mzt", mzt}}, {}, "", std::nullopt,
       message_text(msg::kAlreadyExists, "GAMES")},
      {"MZT shorter than its header", {{"S.mzt", Bytes(100)}}, {}, "", std::nullopt,
       message_text(msg::kReadFailed, "h/S.mzt")},
      {"the volume fills on the last file", {{"A.mzt", mzt}, {"B.bsd", pattern(254 * 46)}, {"C.mzt", mzt}}, {}, "",
       std::nullopt, message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "C", 256u, 0u)},
  };
  for (const auto& c : cases) {
    testing::VolumeBuilder b = sample();
    const Bytes before = b.bytes();
    TreeRun t(b.volume());
    // A link or a pipe is skipped when its turn comes.
    if (c.lines) t.host.others.insert("h/link.mzt");
    for (const std::string& f : c.folders) t.host.folders.insert("h/" + f);
    for (const auto& [name, bytes] : c.files) t.host.files["h/" + name] = bytes;
    const std::optional<Lines> lines = t.run(c.path, c.folder);
    EXPECT_EQ(lines, c.lines) << c.what;
    EXPECT_EQ(testing::err_text(t.con), c.err) << c.what;
    if (!c.lines) {
      // The records in use are as they were; the free ones are no part of
      // the volume (the image file is not written at all: see the end-to-end
      // test).
      const size_t used = (24 + 2 + 8 + 1) * kRecordSize;
      const Bytes after = b.bytes();
      EXPECT_EQ(Bytes(after.begin(), after.begin() + used), Bytes(before.begin(), before.begin() + used))
          << c.what;
    } else {
      EXPECT_TRUE(sanity_check(b.volume()).lines.empty()) << c.what;
    }
  }
}

// The layouts read back as R reads them, for every records-per-block, with
// the mode and time of each host file.
TEST(StoreTreeTest, FilesReadBackWithTheirModesAndTimes) {
  for (int rpb : {1, 2, 4, 32}) {
    testing::VolumeBuilder b(rpb == 32 ? 40 : 600 / rpb, rpb);
    TreeRun t(b.volume());
    Bytes btx = make_mzt("ANY", pattern(700, 1));
    btx[0] = mode::kBtx;
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"E.bsd", {}}, {"S.bsd", pattern(254 * 3 + 1, 2)}, {"R.brd", pattern(4096 + 64, 3)},
        {"N.brd", {}}, {"T.mzt", btx}};
    for (const auto& [name, bytes] : files) {
      t.host.files["h/" + name] = bytes;
      t.host.times["h/" + name] = HostTime{1999, 1, 2, 3, static_cast<int>(bytes.size() % 60)};
    }
    ASSERT_TRUE(t.run("")) << rpb << testing::err_text(t.con);
    EXPECT_TRUE(sanity_check(b.volume()).lines.empty()) << rpb;
    Report check;
    for (const auto& [name, bytes] : files) {
      const std::optional<EntryRef> entry = testing::find_entry(b.volume(), name.substr(0, 1));
      ASSERT_TRUE(entry) << name;
      testing::MemoryHost out;
      std::unique_ptr<File> f = out.open(HostPath::from_argument("x"), OpenMode::kCreate);
      std::vector<uint8_t> buffer;
      ASSERT_EQ(extract_contents(b.volume(), check, {}, *entry, name, *f, buffer), Extraction::kWritten) << name << rpb;
      const Bytes got = out.files["x"];
      if (name.ends_with(".mzt")) {
        EXPECT_EQ(got[0], mode::kBtx);
        EXPECT_EQ(Bytes(got.begin() + 18, got.end()), Bytes(bytes.begin() + 18, bytes.end()));
      } else {
        EXPECT_EQ(got, bytes) << name << rpb;
      }
      EXPECT_EQ(decode_time_stamp(b.volume().time_stamp(*entry)), t.host.times["h/" + name]) << name;
    }
  }
}

}  // namespace
}  // namespace tarnwick
