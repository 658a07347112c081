#include "operations/list.h"

#include "codecs/json.h"
#include "app/listing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "support/image_builder.h"
#include "support/json_check.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::FileOptions;
using testing::message_text;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

FileOptions opts(uint8_t attribute, TimeStamp stamp = {0x98, 0x96, 0x31, 0xD9}) {
  FileOptions o;
  o.attribute = attribute;
  o.stamp = stamp;
  return o;
}

// The lines L prints for the path.
void list_directory(const Volume& vol, Console& con, std::string_view path, bool long_listing = false,
                    bool recursive = false) {
  const Listing l = list_entries(vol, path, recursive);
  con.show(l.lines);
  Report lines(con.verbose);
  report_listing(l, long_listing, lines);
  con.show(lines);
}

class ListTest : public ::testing::Test {
 protected:
  ListTest() : b_(400) {}

  std::string list(std::string_view path, bool verbose = false, bool listing = false) {
    con_.clear();
    con_.verbose = verbose;
    list_directory(b_.volume(), con_, path, listing);
    return con_.out_text();
  }

  VolumeBuilder b_;
  Console con_;
};

TEST_F(ListTest, PrintsTheDocumentedLineByteForByte) {
  b_.add_contiguous(kRoot, "GAME", pattern(10), mode::kObj, opts(0x80));
  const std::string line = " OBJ  \"GAME\"            '98/12/31 23:59";
  ASSERT_EQ(line.size(), 39u);
  EXPECT_EQ(list("/"), line + "\n");
  EXPECT_EQ(con_.err_text(), "");
  // The stamp takes the raw bit groups: BCD digits show as decimal, and a
  // nibble above 9 as a hexadecimal letter.
  b_.add_contiguous(kRoot, "A", pattern(10), mode::kObj, opts(0x80, encode_time_stamp({2004, 1, 5, 6, 7})));
  b_.add_contiguous(kRoot, "B", pattern(10), mode::kObj, opts(0x80, {0xAB, 0xFF, 0xFF, 0xFF}));
  b_.add_contiguous(kRoot, "C", pattern(10), mode::kObj, opts(0x80, {0x84, 0x08, 0x20, 0x00}));
  EXPECT_EQ(list("/"), line + "\n" +
                           " OBJ  \"A\"               '04/01/05 06:07\n"
                           " OBJ  \"B\"               'AB/1F/3F 3F:7F\n"
                           " OBJ  \"C\"               '84/01/01 00:00\n");
}

TEST_F(ListTest, LabelsEveryModeAndMarksAttributeBit0) {
  const std::pair<uint8_t, const char*> modes[] = {
      {1, "OBJ"}, {2, "BTX"}, {3, "BSD"}, {4, "BRD"}, {5, "RB "}, {6, "???"}, {7, "LIB"}, {8, "???"},
      {10, "SYS"}, {11, "GR "}, {12, "???"}, {15, "DIR"}, {0x80, "???"}, {0xFF, "???"}};
  std::string expected;
  for (const auto& [m, label] : modes) {
    b_.add_entry(kRoot, m, "M", 0, 0, opts(0x80));
    expected += std::string(" ") + label + "  \"M\"               '98/12/31 23:59\n";
  }
  EXPECT_EQ(list("/"), expected);

  // Only bit 0 of the attribute counts.
  VolumeBuilder b(100);
  const uint8_t attributes[] = {0x00, 0x01, 0x80, 0x81, 0xFE, 0xFF};
  for (uint8_t a : attributes) b.add_entry(kRoot, mode::kBtx, "T", 0, 0, opts(a));
  Console con;
  list_directory(b.volume(), con, "/");
  const std::string plain = " BTX  \"T\"               '98/12/31 23:59\n";
  const std::string marked = " BTX* \"T\"               '98/12/31 23:59\n";
  EXPECT_EQ(con.out_text(), plain + marked + plain + marked + plain + marked);
}

TEST_F(ListTest, NamesArePaddedTo18BytesAndLongOnesRunIntoTheDate) {
  b_.add_contiguous(kRoot, "ABCDEFGHIJKLMNOP", pattern(10));
  b_.add_contiguous(kRoot, "ABCDEFGHIJKLMNO", pattern(10));
  // Shift_JIS bytes count one column each: "ゲーム" is 6 bytes.
  b_.add_contiguous(kRoot, "\x83Q\x81[\x83\x80", pattern(10));
  const EntryRef bad = b_.add_contiguous(kRoot, "BAD", pattern(10));
  const EntryRef nul = b_.add_contiguous(kRoot, "AB", pattern(10));
  Volume& v = b_.volume();
  for (uint32_t k = 0; k < 17; ++k) v.set_field8(bad, entry::kName + k, 'Z');
  v.set_field8(nul, entry::kName + 1, 0x00);  // a NUL ends the text
  v.set_field8(nul, entry::kName + 2, 'C');
  EXPECT_EQ(list("/"),
            " OBJ  \"ABCDEFGHIJKLMNOP\"'98/12/31 23:59\n"
            " OBJ  \"ABCDEFGHIJKLMNO\" '98/12/31 23:59\n"
            " OBJ  \"\x83Q\x81[\x83\x80\"          '98/12/31 23:59\n"
            " OBJ  \"<error>\"         '98/12/31 23:59\n"
            " OBJ  \"A\"               '98/12/31 23:59\n");
  EXPECT_EQ(message_text(msg::kListName, "<error>"), "\"<error>\"         ");
}

TEST_F(ListTest, VerboseModeAddsTheStartRecord) {
  const EntryRef e = b_.add_contiguous(kRoot, "GAME", pattern(10));
  b_.volume().set_field16(e, entry::kStartRecord, 0x1A0);
  b_.add_entry(kRoot, mode::kLib, "LIB", 0, 0xFFFF);
  EXPECT_EQ(list("/", true),
            " OBJ  \"GAME\"            '98/12/31 23:59 01A0\n"
            " LIB  \"LIB\"             '98/12/31 23:59 FFFF\n");
}

// The long listing adds the size (a BRD file's in 32-byte units, a
// directory's its 8 records) and an OBJ or BTX file's addresses after the
// start record of verbose mode, and the free space after the last line.
TEST_F(ListTest, TheLongListingAddsSizesAddressesAndTheFreeSpace) {
  const std::tuple<uint8_t, const char*, const char*> modes[] = {
      {mode::kObj, "OBJ", "     4660 2000 2003"}, {mode::kBtx, "BTX", "     4660 2000 2003"},
      {mode::kBsd, "BSD", "     4660"},           {mode::kBrd, "BRD", "   149120"},
      {mode::kDir, "DIR", "     2048"},           {mode::kRb, "RB ", "     4660"},
      {0x80, "???", "     4660"}};
  std::string verbose;
  std::string plain;
  for (const auto& [m, label, additions] : modes) {
    const EntryRef e = b_.add_entry(kRoot, m, "M", 0x1234, 0x1A0, opts(0x80));
    b_.volume().set_field16(e, entry::kLoadAddress, 0x2000);
    b_.volume().set_field16(e, entry::kExecAddress, 0x2003);
    const std::string start = std::string(" ") + label + "  \"M\"               '98/12/31 23:59";
    verbose += start + " 01A0" + additions + "\n";
    plain += start + additions + "\n";
  }
  b_.volume().set_sys16(sys::kUsedBlocks, 100);
  const std::string free_space = message_text(msg::kListFree, 76800u, 300u, 400u);
  EXPECT_EQ(list("/", true, true), verbose + free_space);
  EXPECT_EQ(list("/", false, true), plain + free_space);

  // Blocks of 4 records; an empty directory shows the free space alone, and
  // a used count beyond the total leaves none.
  VolumeBuilder b(100, 4);
  b.volume().set_sys16(sys::kUsedBlocks, 40);
  Console con;
  list_directory(b.volume(), con, "/", true);
  EXPECT_EQ(con.out_text(), message_text(msg::kListFree, 61440u, 60u, 100u));
  b.volume().set_sys16(sys::kUsedBlocks, 0xFFFF);
  con.clear();
  list_directory(b.volume(), con, "/", true);
  EXPECT_EQ(con.out_text(), message_text(msg::kListFree, 0u, 0u, 100u));
}

TEST_F(ListTest, SkipsFreeEntriesAndTheHeaderAndPrintsNothingForAnEmptyDirectory) {
  EXPECT_EQ(list("/"), "");
  const EntryRef gone = b_.add_contiguous(kRoot, "GONE", pattern(10));
  b_.add_contiguous(kRoot, "KEPT", pattern(10));
  b_.volume().set_field8(gone, entry::kMode, mode::kFree);
  // The last entry is listed too.
  const EntryRef last = Volume::entry_at(kRoot, 63);
  Volume& v = b_.volume();
  v.set_field8(last, entry::kMode, mode::kSys);
  for (uint32_t k = 0; k < 17; ++k) v.set_field8(last, entry::kName + k, k < 4 ? "LAST"[k] : kNameEnd);
  EXPECT_EQ(list("/"),
            " OBJ  \"KEPT\"            '98/12/31 23:59\n"
            " SYS  \"LAST\"            '00/00/00 00:00\n");
}

TEST_F(ListTest, ListsTheDirectoryThePathEndsInOrTheDeepestOneEntered) {
  const uint32_t games = b_.add_directory(kRoot, "GAMES", opts(0x80, encode_time_stamp({2024, 10, 9, 8, 7})));
  b_.add_contiguous(games, "SPACE WAR", pattern(10));
  const uint32_t tools = b_.add_directory(games, "TOOLS");
  b_.add_contiguous(tools, "EDITOR", pattern(10));
  const uint32_t a = b_.add_directory(kRoot, "A");
  b_.add_contiguous(a, "IN A", pattern(10));
  b_.add_contiguous(kRoot, "TOP", pattern(10));

  const std::string root =
      " DIR  \"GAMES\"           '24/10/09 08:07\n"
      " DIR  \"A\"               '98/12/31 23:59\n"
      " OBJ  \"TOP\"             '98/12/31 23:59\n";
  // The builder stamps "." and ".." like the directory's own entry.
  const std::string in_games =
      " DIR  \".\"               '24/10/09 08:07\n"
      " DIR  \"..\"              '24/10/09 08:07\n"
      " OBJ  \"SPACE WAR\"       '98/12/31 23:59\n"
      " DIR  \"TOOLS\"           '98/12/31 23:59\n";
  const std::string in_tools =
      " DIR  \".\"               '98/12/31 23:59\n"
      " DIR  \"..\"              '98/12/31 23:59\n"
      " OBJ  \"EDITOR\"          '98/12/31 23:59\n";
  const std::string in_a =
      " DIR  \".\"               '98/12/31 23:59\n"
      " DIR  \"..\"              '98/12/31 23:59\n"
      " OBJ  \"IN A\"            '98/12/31 23:59\n";

  EXPECT_EQ(list("/"), root);
  EXPECT_EQ(list(""), root);
  EXPECT_EQ(list("GAMES/"), in_games);
  EXPECT_EQ(list("/GAMES/"), in_games);
  EXPECT_EQ(list("GAMES/TOOLS/"), in_tools);
  EXPECT_EQ(list("GAMES//TOOLS/"), in_tools);
  EXPECT_EQ(list("GAMES/TOOLS/../"), in_games);
  EXPECT_EQ(list("A/"), in_a);
  // Without the trailing '/', the path names an entry of its directory.
  EXPECT_EQ(list("GAMES/TOOLS"), in_games);
  EXPECT_EQ(list("A"), root);
  EXPECT_EQ(con_.err_text(), "");

  // A failed path lists the deepest directory entered.
  EXPECT_EQ(list("GAMES/NOSUCH/"), in_games);
  EXPECT_EQ(con_.err_text(), message_text(msg::kDirectoryNotFound, "NOSUCH"));
  EXPECT_EQ(list("NOSUCH/TOOLS/"), root);
  EXPECT_EQ(con_.err_text(), message_text(msg::kDirectoryNotFound, "NOSUCH"));
  EXPECT_EQ(list("TOP/"), root);  // a file is no directory
  EXPECT_EQ(con_.err_text(), message_text(msg::kDirectoryNotFound, "TOP"));
  // Over-long and empty components fail silently.
  EXPECT_EQ(list("GAMES/ABCDEFGHIJKLMNOPQ/"), in_games);
  EXPECT_EQ(list("GAMES///TOOLS/"), in_games);
  EXPECT_EQ(con_.err_text(), "");
}

TEST_F(ListTest, ChangesNothingInTheVolume) {
  b_.add_directory(kRoot, "GAMES");
  b_.add_contiguous(kRoot, "TOP", pattern(10));
  const testing::Bytes before = b_.volume().bytes();
  list("/", true);
  list("GAMES/", true);
  list("NOSUCH/", true);
  EXPECT_EQ(b_.volume().bytes(), before);
}

// A recursive listing adds each directory below, depth first, after an
// empty line and its path from the root; one met again (a loop) or lying
// outside the volume is named with the check's message instead; the free
// space comes once, at the end. The listed path is the directories
// entered, joined by one '/' each.
TEST_F(ListTest, ARecursiveListingWalksTheTreeOnceDepthFirst) {
  const uint32_t games = b_.add_directory(kRoot, "GAMES", opts(0x80));
  const uint32_t tools = b_.add_directory(games, "A/B", opts(0x80));
  b_.add_entry(tools, mode::kDir, "LOOP", 0, static_cast<uint16_t>(games), opts(0x80));
  b_.add_directory(kRoot, "EMPTY", opts(0x80));
  b_.add_entry(kRoot, mode::kDir, "FAR", 0, 0xFFF0, opts(0x80));
  const Listing l = list_entries(b_.volume(), "/", true);
  std::vector<std::string> paths;
  for (const ListedDirectory& d : l.directories) paths.push_back(d.path + (d.refused ? " refused" : ""));
  EXPECT_EQ(paths, (std::vector<std::string>{"/", "/GAMES", "/GAMES/A\rB", "/GAMES/A\rB/LOOP refused", "/EMPTY",
                                              "/FAR refused"}));
  EXPECT_EQ(l.directories[0].entries[0].listing, 1);
  EXPECT_EQ(l.directories[0].entries[2].listing, 5);

  const std::string dir = " DIR  ";
  const auto line = [&](const char* name) { return dir + message_text(msg::kListName, name) + "'98/12/31 23:59\n"; };
  const std::string dots = line(".") + line("..");
  Console con;
  list_directory(b_.volume(), con, "/", false, true);
  EXPECT_EQ(con.out_text(), line("GAMES") + line("EMPTY") + line("FAR") + message_text(msg::kListHeading, "/GAMES") +
                                dots + line("A/B") + message_text(msg::kListHeading, "/GAMES/A/B") + dots + line("LOOP") +
                                message_text(msg::kListHeading, "/EMPTY") + dots);
  EXPECT_EQ(con.err_text(), message_text(msg::kSubdirectoryError, "/GAMES/A/B/LOOP") +
                                message_text(msg::kSubdirectoryError, "/FAR"));

  const std::pair<const char*, const char*> entered[] = {
      {"/", "/"}, {"GAMES/", "/GAMES"}, {"/GAMES//", "/GAMES"}, {"//GAMES/", "/"}, {"GAMES/A%2FB/", "/GAMES"}, {"GAMES/NOSUCH/", "/GAMES"},
      {"GAMES/A\rB/..", "/GAMES/A\rB"}};
  for (const auto& [path, listed] : entered) EXPECT_EQ(list_entries(b_.volume(), path).directories[0].path, listed) << path;
}

// Whatever the names and stamps hold, the document is UTF-8 JSON: names as
// the UTF-8 mode shows them, their bytes and stamps in hexadecimal, a date
// only where the stamp names one.
TEST_F(ListTest, TheJsonDocumentHoldsEveryNameAsText) {
  b_.add_contiguous(kRoot, std::string("A\0\"\\\x81", 5), pattern(10), mode::kObj, opts(0x81, {0, 0, 0, 0}));
  b_.add_entry(kRoot, mode::kRb, "Q/", 0, 0, opts(0x80, {0x99, 0x58, 0x20, 0}));
  b_.add_entry(kRoot, mode::kObj, "BAD", 10, 0);
  Container hdd;
  hdd.index = 1;
  const CheckReport check = sanity_check(b_.volume());
  const std::string doc = listing_document("d\xFF.hdd", hdd, check, list_entries(b_.volume(), "/"));
  EXPECT_TRUE(testing::is_json_document(doc)) << doc;
  for (const char* bad : {"{\"a\":1,}", "[01]", "\"\x81\"", "{} {}", "[\"\t\"]"}) {
    EXPECT_FALSE(testing::is_json_document(bad)) << bad;
  }
  EXPECT_EQ(doc.back(), '\n');
  for (const char* part : {"\"path\":\"d\xEF\xBF\xBD.hdd\",\"container\":\"HDD\",\"part\":2,\"disk\":null}",
                           R"("name":"A%00\"\\%81","name_bytes":"4100225C81","type":"OBJ","mode":1)",
                           R"("date":null,"stamp":"00000000")", R"("name":"Q%2F","name_bytes":"512F","type":"RB")",
                           R"("check":{"ok":false,"messages":["OBJファイル BAD でエラー","Sanity check: エラー"],"free_in_bitmap":[]})"}) {
    EXPECT_NE(doc.find(part), std::string::npos) << part << "\n" << doc;
  }
  JsonWriter w;
  w.begin_array().text("\x01\x1F\x7F\xC3").number(-3).boolean(true).null().end_array();
  EXPECT_EQ(w.finish(), "[\"\\u0001\\u001f\x7F\xEF\xBF\xBD\",-3,true,null]\n");
}

// The reader takes back what the writer writes and refuses anything loose,
// within its bounds.
TEST_F(ListTest, TheJsonReaderIsStrictAndBounded) {
  const std::optional<JsonValue> doc =
      read_json(listing_document("d.hdd", Container{}, sanity_check(b_.volume()), list_entries(b_.volume(), "/")));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->member("image")->member("path")->text, "d.hdd");
  const std::optional<JsonValue> v = read_json(R"( {"a":[-9223372036854775808,1e2,"\u00e9\ud83d\ude00\/"]} )");
  ASSERT_TRUE(v);
  const std::vector<JsonValue>& a = v->member("a")->items;
  EXPECT_EQ(a[0].integer(INT64_MIN, 0), INT64_MIN);
  EXPECT_FALSE(a[1].integer(0, 1000));  // no integer as written
  EXPECT_EQ(a[2].text, "\xC3\xA9\xF0\x9F\x98\x80/");
  const std::string deep = std::string(kJsonMaxDepth + 1, '[') + std::string(kJsonMaxDepth + 1, ']');
  for (const char* bad : {"", "{\"a\":1,}", "[01]", "[1.]", "[-]", "\"\x81\"", "{} {}", "[\"\t\"]",
                           "{\"a\":1,\"a\":2}", R"(["\ud800"])", R"(["\x"])", "[tru]", "[9223372036854775808",
                           "{1:2}", deep.c_str()}) {
    EXPECT_FALSE(read_json(bad)) << bad;
  }
  JsonFault fault;
  EXPECT_FALSE(read_json("[1,\n2,\n}", &fault));
  EXPECT_EQ(fault.line, 3u);
  EXPECT_TRUE(read_json(std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']')));
}

}  // namespace
}  // namespace tarnwick
