#include "output/messages.h"

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
  for (const Message* m : all_messages()) {
    const std::string readable(reinterpret_cast<const char*>(m->text.data()), m->text.size());
    EXPECT_EQ(cp932_to_utf8(m->bytes), readable) << m->name;
  }
}

TEST(MessagesTest, NamesAreUnique) {
  std::set<std::string> names;
  for (const Message* m : all_messages()) EXPECT_TRUE(names.insert(m->name).second) << m->name;
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

}  // namespace
}  // namespace tarnwick
