#include "output/messages.h"

#include "output/console.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>

namespace tarnwick {
namespace {

// Decodes CP932 bytes to UTF-8 with the C library's converter.
std::string cp932_to_utf8(std::string_view in) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no CP932 converter>";
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<invalid CP932>";
  out.resize(out.size() - dst_left);
  return out;
}

TEST(MessagesTest, EveryEntryDecodesToItsReadableText) {
  ASSERT_GT(all_messages().size(), 70u);
  for (const MessageText* m : all_messages()) {
    const std::string readable(reinterpret_cast<const char*>(m->text.data()), m->text.size());
    EXPECT_EQ(cp932_to_utf8(m->bytes), readable) << m->name;
  }
}

TEST(MessagesTest, NamesAreUnique) {
  std::set<std::string> names;
  for (const MessageText* m : all_messages()) EXPECT_TRUE(names.insert(m->name).second) << m->name;
}

TEST(MessagesTest, KnownBytes) {
  EXPECT_EQ(std::string(msg::kDone.bytes), "\x8a\xae\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\n");
  // The horizontal ellipsis is one double-byte character in CP932.
  const std::string ignoring = msg::kIgnoringSectors.bytes;
  EXPECT_EQ(ignoring.substr(ignoring.size() - 3), "\x81\x63\n");
  // The usage starts with an empty line and has 13 lines after it.
  const std::string usage = msg::kUsage.bytes;
  EXPECT_EQ(usage.rfind("\nTarnwick <COMMAND> <HDDFILE> <1,2> <PATH> <MZTFILE>\n", 0), 0u);
  size_t lines = 0;
  for (char c : usage) lines += c == '\n';
  EXPECT_EQ(lines, 14u);
}

// A call's arguments are checked against its entry's kinds when it is
// compiled, and notices and failures go where they belong.
template <typename M, typename... Args>
concept Reportable = requires(Console& c, const M& m, Args... args) { c.err(m, args...); };
template <typename M, typename... Args>
concept Printable = requires(Console& c, const M& m, Args... args) { c.out(m, args...); };
static_assert(Reportable<decltype(msg::kReadFailed), const char*>);
static_assert(Reportable<decltype(msg::kReadFailed), std::string>);
static_assert(!Reportable<decltype(msg::kReadFailed), int>);
static_assert(!Reportable<decltype(msg::kReadFailed)>);
static_assert(!Reportable<decltype(msg::kSectorCount), const char*, int>);
static_assert(Reportable<decltype(msg::kSectorCount), int, int>);
static_assert(!Reportable<decltype(msg::kPathNotFound), const char*>);  // say which kind
static_assert(Reportable<decltype(msg::kPathNotFound), ShownAs>);
static_assert(Printable<decltype(msg::kListFree), unsigned, unsigned, unsigned>);
static_assert(!Printable<decltype(msg::kListFree), unsigned, unsigned>);

TEST(MessagesTest, SeverityDecidesWhatFailsARun) {
  Console con;
  con.out(msg::kDone);
  con.err(msg::kSkipped, "notes.txt");
  EXPECT_FALSE(con.failure_reported());
  con.out(msg::kCheckFailed);  // on the output stream, and a failure
  EXPECT_TRUE(con.failure_reported());
}

// A console in the UTF-8 mode shows the readable text and the names with
// their escapes, keeping the listing's columns; in the bytes mode a name
// ends at a 0x00 in it.
TEST(MessagesTest, TheUtf8ModeShowsReadableTextAndEscapedNames) {
  Console con;
  con.set_text({TextMode::kUtf8}, {TextMode::kUtf8}, true);
  con.out(msg::kListName, std::string("\x8A\xBF\x8E\x9A", 4));
  con.out(msg::kListName, std::string("A\0/%", 4));
  con.err(msg::kPathNotFound, as_volume_path("\x83Q/X\x80"));
  EXPECT_EQ(con.out_text(), "\"漢字\"            \"A%00%2F%25\"      ");
  EXPECT_EQ(con.err_text(), "'ゲ/X%80' が見つかりません\n");
  Console bytes;
  bytes.out(msg::kListName, std::string("A\0B", 3));
  EXPECT_EQ(bytes.out_text(), "\"A\"               ");
}

}  // namespace
}  // namespace tarnwick
