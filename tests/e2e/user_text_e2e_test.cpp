// The same runs under the C locale (the code page 932 bytes as they are)
// and a UTF-8 locale (text in UTF-8, names escaped, PATH typed as UTF-8).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/sample_volumes.h"
#include "volume/format.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::read_file;
using testing::RunOptions;
using testing::ScratchDir;
using testing::ToolRun;
using testing::write_file;

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

ToolRun run_in(const std::string& locale, const std::vector<std::string>& args, const ScratchDir& dir) {
  RunOptions opt;
  opt.env = {{"LC_ALL", locale}};
  return testing::run_tool_with(args, dir, opt);
}
ToolRun run_utf8(const std::vector<std::string>& args, const ScratchDir& dir) { return run_in("C.UTF-8", args, dir); }

class UserTextE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::runs_under_wine()) GTEST_SKIP() << "a redirected Windows stream always gets the bytes";
  }
  ScratchDir dir_;
};

TEST_F(UserTextE2eTest, TheListingShowsNamesInTheLocalesEncodingAndKeepsItsColumns) {
  struct Name {
    std::string cp932;
    const char8_t* shown;  // between the quotes
    size_t columns;        // on the screen, quotes included
  };
  const std::vector<Name> names = {
      {"\x8A\xBF\x8E\x9A", u8"漢字", 6},  {"\xB1\xB2\xB3", u8"ｱｲｳ", 5},
      {"A\\B~", u8"A\\B~", 6},             {"X\x80Y", u8"X%80Y", 7},
      {"\x1B[31mRED", u8"%1B[31mRED", 12}, {"100%", u8"100%25", 8},
  };
  testing::VolumeBuilder b(24 + 40, 1);
  for (const Name& n : names) b.add_contiguous(kRootDirectoryRecord, n.cp932, testing::pattern(10));
  const std::string image = utf8(u8"ディスク.rom");  // a host name: shown as it is
  write_file(dir_.file(image), testing::make_rom_image(b.take()));

  std::string bytes_listing = image + " is ROM image\n";
  std::string utf8_listing = bytes_listing;
  for (const Name& n : names) {
    std::string quoted = "\"" + n.cp932 + "\"";
    quoted.resize(18, ' ');
    bytes_listing += " OBJ  " + quoted + "'98/12/31 23:59\n";
    utf8_listing += " OBJ  \"" + utf8(n.shown) + "\"" + std::string(18 - n.columns, ' ') + "'98/12/31 23:59\n";
  }
  ToolRun r = run_in("C", {"L", image}, dir_);
  EXPECT_EQ(r.out, bytes_listing + testing::done_line());
  EXPECT_EQ(r.err, "");
  r = run_utf8({"L", image}, dir_);
  EXPECT_EQ(r.out, utf8_listing + utf8(u8"完了しました\n"));
  EXPECT_EQ(r.err, "");
  // The code table is the tool's own: no converter of the system's is needed.
  RunOptions no_converters;
  no_converters.env = {{"LC_ALL", "C.UTF-8"}, {"GCONV_PATH", "/nonexistent"}};
  EXPECT_EQ(testing::run_tool_with({"L", image}, dir_, no_converters).out, r.out);

  // Volume paths in messages are escaped too.
  r = run_utf8({"R", image, "1", "X%80Y/%1b", "out.mzt"}, dir_);
  EXPECT_EQ(r.err, utf8(u8"ディレクトリ 'X%80Y' が見つかりません\n'X%80Y/%1B' が見つかりません\n")) << r.out;
  // Every text of the catalogue is its readable form.
  r = run_utf8({}, dir_);
  EXPECT_EQ(r.out, std::string(reinterpret_cast<const char*>(msg::kUsage.text.data()), msg::kUsage.text.size()));
}

TEST_F(UserTextE2eTest, NamesTypedInUtf8AndAsEscapesGoInAndComeBack) {
  write_file(dir_.file("disk.rom"), testing::make_rom_image(testing::VolumeBuilder(24 + 40, 1).take()));
  struct Case {
    std::string typed;     // W's PATH in the UTF-8 locale
    std::string stored;    // the name in the volume
    std::string listed;    // L's name in the UTF-8 locale
    std::string read_as;   // R's PATH in the UTF-8 locale
  };
  const std::vector<Case> cases = {
      {utf8(u8"ゲーム"), "\x83Q\x81[\x83\x80", utf8(u8"\"ゲーム\""), utf8(u8"ゲーム")},
      {"%e9%25", "\xE9%", "\"%E9%25\"", "%E9%25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    const Bytes mzt = testing::make_mzt(c.stored, testing::pattern(100, 3));
    write_file(dir_.file("in.mzt"), mzt);
    ToolRun r = run_utf8({"W", "disk.rom", "1", c.typed, "in.mzt"}, dir_);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(run_in("C", {"L", "disk.rom"}, dir_).out.find("\"" + c.stored + "\""), std::string::npos);
    EXPECT_NE(run_utf8({"L", "disk.rom"}, dir_).out.find(c.listed), std::string::npos);
    r = run_utf8({"R", "disk.rom", "1", c.read_as, c.listed + ".mzt"}, dir_);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read_file(dir_.file(c.listed + ".mzt")) == mzt);
  }
}

// A name holding '/' is listed with %2F, and that text reaches it: %2F is a
// byte of the name, '/' the separator between names.
TEST_F(UserTextE2eTest, ANameHoldingASlashIsReachedByTheTextTheListingShows) {
  write_file(dir_.file("disk.rom"), testing::make_rom_image(testing::VolumeBuilder(24 + 40, 1).take()));
  std::filesystem::create_directories(dir_.path() / "in" / "S%2FT");
  write_file(dir_.file("in/A%2FB.bsd"), testing::pattern(300, 1));
  write_file(dir_.file("in/S%2FT/X.bsd"), testing::pattern(20, 2));
  ToolRun r = run_utf8({"A", "disk.rom", "1", "/", "in"}, dir_);
  EXPECT_EQ(r.out, utf8(u8"disk.rom is ROM image\nA%2FB\nS%2FT/X\n2 個のファイルを書き込みました\n完了しました\n"));
  EXPECT_NE(run_utf8({"L", "disk.rom"}, dir_).out.find("\"A%2FB\""), std::string::npos);
  EXPECT_NE(run_utf8({"L", "disk.rom", "1", "S%2FT"}, dir_).out.find("\"X\""), std::string::npos);
  for (const auto& [path, bytes] : {std::pair{"A%2FB", testing::pattern(300, 1)}, {"S%2fT/X", testing::pattern(20, 2)}}) {
    r = run_utf8({"R", "disk.rom", "1", path, "out.bsd"}, dir_);
    EXPECT_EQ(r.err, "") << path;
    EXPECT_TRUE(read_file(dir_.file("out.bsd")) == bytes) << path;
  }
  EXPECT_EQ(run_utf8({"R", "disk.rom", "1", "A/B", "out.bsd"}, dir_).err,
            utf8(u8"ディレクトリ 'A' が見つかりません\n'A/B' が見つかりません\n"));
  r = run_utf8({"D", "disk.rom", "1", "A%2fB"}, dir_);
  EXPECT_EQ(r.out, utf8(u8"disk.rom is ROM image\n'A%2FB' を削除しました\n完了しました\n"));
  EXPECT_EQ(run_utf8({"L", "disk.rom"}, dir_).out.find("A%2FB"), std::string::npos);
}

TEST_F(UserTextE2eTest, APathCodePage932CannotHoldIsRefusedBeforeTheImageOpens) {
  write_file(dir_.file("disk.rom"), testing::make_rom_image(testing::VolumeBuilder(24 + 40, 1).take()));
  write_file(dir_.file("in.mzt"), testing::make_mzt("E", testing::pattern(10)));
  const Bytes before = read_file(dir_.file("disk.rom"));
  for (const std::string& path : {utf8(u8"GAMES/é"), std::string("A\xFF")}) {
    const ToolRun r = run_utf8({"W", "disk.rom", "1", path, "in.mzt"}, dir_);
    EXPECT_EQ(r.err, utf8(u8"パス '") + path + utf8(u8"' は Shift_JIS に変換できません\n"));
    EXPECT_EQ(r.out, utf8(u8"完了しました\n"));
    EXPECT_TRUE(read_file(dir_.file("disk.rom")) == before);
  }
  // L's path fits its buffer by the bytes it becomes: 200 here, 300 as typed.
  std::string kanji;
  for (int i = 0; i < 100; ++i) kanji += utf8(u8"漢");
  EXPECT_NE(run_utf8({"L", "disk.rom", "1", kanji}, dir_).out.find("disk.rom is ROM image"), std::string::npos);
  // In the C locale the bytes go in as they are, as they always did.
  run_in("C", {"W", "disk.rom", "1", utf8(u8"é"), "in.mzt"}, dir_);
  EXPECT_NE(run_in("C", {"L", "disk.rom"}, dir_).out.find("\"\xC3\xA9\""), std::string::npos);
}

// The UTF-8 mode follows the encoding the user named: the first of LC_ALL,
// LC_CTYPE and LANG that is set and not empty, a name ending in .UTF-8 or
// .utf8 meaning UTF-8 whether or not the system has that locale.
TEST_F(UserTextE2eTest, TheUtf8ModeFollowsTheEncodingTheUserNamed) {
  testing::VolumeBuilder b(24 + 8, 1);
  b.add_contiguous(kRootDirectoryRecord, "\x8A\xBF\x8E\x9A", testing::pattern(10));
  write_file(dir_.file("disk.rom"), testing::make_rom_image(b.take()));
  using Env = std::vector<std::pair<std::string, std::string>>;
  const Env unset = {{"LC_ALL", ""}, {"LC_CTYPE", ""}, {"LANG", ""}};
  const auto with = [&](Env more) {
    Env env = unset;
    env.insert(env.end(), more.begin(), more.end());
    return env;
  };
  const struct {
    Env env;
    bool utf8;
  } cases[] = {
      {{{"LC_ALL", "C.UTF-8"}}, true},
      {with({{"LANG", "C.UTF-8"}, {"LC_TIME", "en_GB.UTF-8"}}), true},
      {with({{"LANG", "ja_JP.UTF-8"}}), true},
      {with({{"LANG", "xx_YY.utf8@euro"}}), true},
      {with({{"LC_CTYPE", "C"}, {"LANG", "C.UTF-8"}}), false},
      {{{"LC_ALL", "C"}, {"LANG", "C.UTF-8"}}, false},
      {unset, false},
  };
  for (const auto& c : cases) {
    RunOptions opt;
    opt.env = c.env;
    const std::string out = testing::run_tool_with({"L", "disk.rom"}, dir_, opt).out;
    const std::string want = c.utf8 ? utf8(u8"\"漢字\"") : std::string("\"\x8A\xBF\x8E\x9A\"");
    EXPECT_NE(out.find(want), std::string::npos) << c.env.back().first << "=" << c.env.back().second;
  }
}

// A name field ends at its first 0x0D, so every command refuses a PATH
// holding one (typed %0D, or the byte itself in the C locale) before it
// opens the image. A 0x00 in a name shows as %00 in UTF-8 (L's and X's
// lines), and is typed so; the C locale keeps the bytes, a name ending at
// its 0x00.
TEST_F(UserTextE2eTest, CarriageReturnsAreRefusedAndNulsShowAsEscapes) {
  write_file(dir_.file("disk.rom"), testing::make_rom_image(testing::small_volume(1)));
  const Bytes mzt = testing::make_mzt("E", testing::pattern(10));
  write_file(dir_.file("in.mzt"), mzt);
  std::filesystem::create_directories(dir_.path() / "tree");
  write_file(dir_.file("tree/F.mzt"), mzt);
  const Bytes before = read_file(dir_.file("disk.rom"));
  for (const auto& [locale, path] :
       {std::pair<std::string, std::string>{"C.UTF-8", "GAMES%0DX"}, {"C", "GAMES\rX"}, {"C.UTF-8", "N/%0d"}}) {
    const std::string refused = locale == "C" ? msg::kPathNotShiftJis.bytes : utf8(msg::kPathNotShiftJis.text.data());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"W", "disk.rom", "1", path, "in.mzt"},
                                                 {"M", "disk.rom", "1", path},
                                                 {"A", "disk.rom", "1", path, "tree"},
                                                 {"L", "disk.rom", "1", path},
                                                 {"D", "disk.rom", "1", path},
                                                 {"R", "disk.rom", "1", path, "out.mzt"}}) {
      const ToolRun r = run_in(locale, args, dir_);
      EXPECT_EQ(r.err, std::string(refused).replace(refused.find("%s"), 2, path)) << args[0] << " " << locale;
      EXPECT_TRUE(read_file(dir_.file("disk.rom")) == before) << args[0] << " " << locale;
    }
  }
  EXPECT_EQ(run_utf8({"W", "disk.rom", "1", "A%00B", "in.mzt"}, dir_).err, "");
  EXPECT_EQ(run_utf8({"W", "disk.rom", "1", "A", "in.mzt"}, dir_).err, "");
  const std::string listed = run_utf8({"L", "disk.rom"}, dir_).out;
  EXPECT_NE(listed.find(" OBJ  \"A%00B\"  "), std::string::npos) << listed;
  EXPECT_NE(listed.find(" OBJ  \"A\"      "), std::string::npos) << listed;
  EXPECT_NE(run_utf8({"X", "disk.rom", "1", "/", "x"}, dir_).out.find("\nA%00B\n"), std::string::npos);  // as L
  const std::string bytes = run_in("C", {"L", "disk.rom"}, dir_).out;
  EXPECT_NE(bytes.find(" OBJ  \"A\""), bytes.rfind(" OBJ  \"A\"")) << bytes;
  EXPECT_EQ(run_utf8({"R", "disk.rom", "1", "A%00B", "out.mzt"}, dir_).err, "");
  EXPECT_EQ(read_file(dir_.file("out.mzt")).at(2), 0);  // the name field: 'A', 0x00, 'B'
}

// Windows reads its command line as wide text: PATH goes into code page 932
// whatever the console's code page, and host names reach the files through
// the wide calls, whatever the ANSI code page can spell.
TEST(UserTextWineE2eTest, WideArgumentsGiveCodePage932PathsAndWideHostNames) {
  if (!testing::runs_under_wine()) GTEST_SKIP() << "only the Windows build reads wide arguments";
  ScratchDir dir;
  write_file(dir.file("disk.rom"), testing::make_rom_image(testing::VolumeBuilder(24 + 40, 1).take()));
  const Bytes mzt = testing::make_mzt("\x83Q\x81[\x83\x80", testing::pattern(100, 3));  // its header names it
  const std::string host = utf8(u8"ゲーム.mzt");
  write_file(dir.file(host), mzt);
  for (const auto& [typed, stored] : {std::pair<std::string, std::string>{utf8(u8"ゲーム"), "\x83Q\x81[\x83\x80"},
                                      {"%e9%25", "\xE9%"}}) {
    SCOPED_TRACE(stored);
    EXPECT_EQ(run_utf8({"W", "disk.rom", "1", typed, host}, dir).err, "");
    EXPECT_NE(run_in("C", {"L", "disk.rom"}, dir).out.find("\"" + stored + "\""), std::string::npos);
  }
  EXPECT_EQ(run_utf8({"R", "disk.rom", "1", utf8(u8"ゲーム"), utf8(u8"戻り.mzt")}, dir).err, "");
  EXPECT_TRUE(read_file(dir.file(utf8(u8"戻り.mzt"))) == mzt);

  const Bytes before = read_file(dir.file("disk.rom"));
  const ToolRun r = run_utf8({"W", "disk.rom", "1", utf8(u8"é"), host}, dir);
  // The text in code page 932 on a redirected stream; PATH as typed, in
  // the ANSI code page.
  const std::string text = msg::kPathNotShiftJis.bytes;
  const size_t arg = text.find("%s");
  EXPECT_TRUE(r.err.starts_with(text.substr(0, arg)) && r.err.ends_with(text.substr(arg + 2))) << r.err;
  EXPECT_TRUE(read_file(dir.file("disk.rom")) == before);
}

}  // namespace
}  // namespace tarnwick
