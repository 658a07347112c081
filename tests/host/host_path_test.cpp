// Host paths and the folder and file calls on the real host.
#ifndef _WIN32

#include "host/host_path.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "host/file.h"
#include "host/long_path.h"
#include "host/unicode.h"
#include "support/e2e.h"

namespace tarnwick {
namespace {

using testing::ScratchDir;

TEST(HostPathTest, JoinsComponents) {
  EXPECT_EQ(HostPath::from_argument("out").native(), "out");
  EXPECT_EQ((HostPath::from_argument("out") / U"A" / U"ｱ漢").native(), "out/A/ｱ漢");
  EXPECT_EQ((HostPath::from_argument("out/") / U"A").native(), "out/A");
  EXPECT_EQ((HostPath::from_argument("/") / U"A").native(), "/A");
  EXPECT_EQ((HostPath::from_argument("") / U"A").native(), "A");
  EXPECT_EQ((HostPath::from_argument("\x83t") / U"\\").native(), "\x83t/\\");
}

// Text between UTF-8 and UTF-16 (as the Windows host keeps names, units
// in wchar_t): what forms a character goes both ways; what does not makes a
// name nothing, and stands as U+FFFD, one for each byte or unit, in text.
TEST(HostPathTest, TextBetweenUtf8AndUtf16) {
  struct Both {
    const char* utf8;
    std::wstring utf16;
  };
  for (const Both& c : {Both{"", L""}, Both{"A/b", L"A/b"}, Both{"\xEF\xBD\xB1\xE6\xBC\xA2", {0xFF71, 0x6F22}},
                        Both{"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}}, Both{"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}}}) {
    EXPECT_EQ(utf16_of_utf8(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(utf8_of_utf16(c.utf16), c.utf8) << c.utf8;
    EXPECT_TRUE(decode_utf8(c.utf8) && decode_utf16(c.utf16)) << c.utf8;
  }
  struct Broken {
    std::string utf8;
    std::wstring replaced;
  };
  for (const Broken& c : {Broken{"\xFF", {0xFFFD}}, Broken{"a\xE3\x81", {'a', 0xFFFD, 0xFFFD}},
                          Broken{"\xC0\xAF", {0xFFFD, 0xFFFD}}, Broken{"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
                          Broken{"\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}}}) {
    EXPECT_EQ(utf16_of_utf8(c.utf8), c.replaced);
    EXPECT_FALSE(decode_utf8(c.utf8));
  }
  for (const std::wstring& lone : {std::wstring{0xD800, 'A'}, std::wstring{'A', 0xDC00}, std::wstring{0xDBFF}}) {
    EXPECT_FALSE(decode_utf16(lone));
    EXPECT_NE(utf8_of_utf16(lone).find("\xEF\xBF\xBD"), std::string::npos);
  }
  EXPECT_EQ(encode_utf16(U"\U0001F600\xD800"), (std::wstring{0xD83D, 0xDE00, 0xFFFD}));
}

// Windows paths that reach the system past the plain calls' limit.
TEST(HostPathTest, LongPathsOnWindows) {
  const std::wstring dir(kLongPathUnits, L'd');
  const auto full = [](const std::wstring& path) -> std::optional<std::wstring> {
    if (path.rfind(L"fail", 0) == 0) return std::nullopt;
    if (path.rfind(L"\\\\", 0) == 0 || path.rfind(L"C:\\", 0) == 0) return path;
    return L"C:\\cwd\\" + path;
  };
  struct Case {
    std::wstring path;
    std::wstring reaches;
  };
  for (const Case& c : {Case{L"C:\\short", L"C:\\short"}, Case{L"C:\\" + dir, L"\\\\?\\C:\\" + dir},
                        Case{dir, L"\\\\?\\C:\\cwd\\" + dir},
                        Case{L"\\\\server\\share\\" + dir, L"\\\\?\\UNC\\server\\share\\" + dir},
                        Case{L"\\\\?\\C:\\" + dir, L"\\\\?\\C:\\" + dir}, Case{L"\\\\.\\" + dir, L"\\\\.\\" + dir},
                        Case{L"fail" + dir, L"fail" + dir}}) {
    EXPECT_EQ(long_path(c.path, full), c.reaches) << c.path.size();
  }
  EXPECT_EQ(long_path(std::wstring(kLongPathUnits - 1, L'd'), full).size(), kLongPathUnits - 1);
}

TEST(HostPathTest, FoldersAndNewFilesOnTheHost) {
  ScratchDir dir;
  Host& host = native_host();
  const HostPath root = HostPath::from_argument(dir.file("out"));
  EXPECT_EQ(host.path_kind(root), PathKind::kMissing);
  EXPECT_FALSE(host.folder_is_empty(root));
  ASSERT_TRUE(host.make_folder(root));
  EXPECT_FALSE(host.make_folder(root));
  EXPECT_EQ(host.path_kind(root), PathKind::kFolder);
  EXPECT_TRUE(host.folder_is_empty(root));
  EXPECT_FALSE(host.make_folder(root / U"no" / U"parent"));

  const HostPath file = root / U"漢字%2F.mzt";
  std::unique_ptr<File> f = host.create_file(file);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->write_at(0, "abc", 3), 3u);
  EXPECT_EQ(f->write_at(3, "de", 2), 2u);
  EXPECT_TRUE(f->sync());
  EXPECT_TRUE(f->close());
  EXPECT_EQ(std::filesystem::file_size(dir.file("out/漢字%2F.mzt")), 5u);
  EXPECT_EQ(host.path_kind(file), PathKind::kFile);
  EXPECT_FALSE(host.folder_is_empty(root));
  // A file that exists is never created again, nor emptied.
  EXPECT_FALSE(host.create_file(file));
  EXPECT_EQ(std::filesystem::file_size(dir.file("out/漢字%2F.mzt")), 5u);

  // Times of a file and of a folder after its contents.
  const HostTime t{1998, 12, 31, 23, 59};
  ASSERT_TRUE(host.set_time(file, t));
  ASSERT_TRUE(host.set_time(root, t));
  EXPECT_FALSE(host.set_time(root, HostTime{}));
  HostTime back;
  const std::unique_ptr<File> reread = host.open(HostPath::from_argument(dir.file("out/漢字%2F.mzt")), OpenMode::kRead);
  ASSERT_TRUE(reread);
  EXPECT_TRUE(reread->last_write_time(back));
  EXPECT_EQ(back, t);
  EXPECT_EQ(std::filesystem::last_write_time(dir.file("out")),
            std::filesystem::last_write_time(dir.file("out/漢字%2F.mzt")));

  EXPECT_TRUE(host.remove_file(file));
  EXPECT_FALSE(host.remove_file(file));
  EXPECT_TRUE(host.folder_is_empty(root));
  EXPECT_EQ(host.path_kind(HostPath::from_argument("/dev/null")), PathKind::kOther);
}

// Files of the real host: a regular file at any offset, a device and a
// pipe in sequence, each failure kept with the system's text.
TEST(HostPathTest, FilesAtOffsetsOrInSequence) {
  namespace fs = std::filesystem;
  ScratchDir dir;
  Host& host = native_host();
  const HostPath path = HostPath::from_argument(dir.file("image"));
  std::unique_ptr<File> f = host.open(path, OpenMode::kCreate);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->write_at(4, "efgh", 4), 4u);
  EXPECT_EQ(f->write_at(0, "abcd", 4), 4u);
  EXPECT_TRUE(f->sync());
  EXPECT_TRUE(f->close());

  f = host.open(path, OpenMode::kUpdate, nullptr, Lock::kExclusive);
  ASSERT_TRUE(f);
  char buf[16] = {};
  EXPECT_EQ(f->read_at(2, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_EQ(f->read_at(6, buf, sizeof buf), 2u);  // the end of the file is no failure
  EXPECT_FALSE(f->failed());
  EXPECT_EQ(f->failure_text(), "");
  EXPECT_EQ(f->size(), 8u);
  EXPECT_EQ(f->link_count(), 1u);
  fs::create_hard_link(dir.file("image"), dir.file("other"));
  EXPECT_EQ(f->link_count(), 2u);
  fs::create_symlink(dir.file("image"), dir.file("link"));
  EXPECT_EQ(f->real_path(HostPath::from_argument(dir.file("link"))),
            HostPath::from_argument(fs::canonical(dir.file("image")).string()));
  EXPECT_EQ(f->real_path(HostPath::from_argument(dir.file("missing"))), std::nullopt);
  EXPECT_EQ(f->lock_unavailable(), std::nullopt);
  EXPECT_TRUE(f->close());

  f = host.open(path, OpenMode::kRead);
  EXPECT_EQ(f->write_at(0, "x", 1), 0u);
  EXPECT_EQ(f->failure_text(), std::strerror(EBADF));
  EXPECT_FALSE(f->close());  // a write failed

  f = host.open(HostPath::from_argument("/dev/full"), OpenMode::kCreate);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->write_at(0, "x", 1), 0u);
  EXPECT_EQ(f->failure_text(), std::strerror(ENOSPC));
  EXPECT_FALSE(f->sync());

  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "abcdef", 6), 6);
  close(ends[1]);
  f = host.open(HostPath::from_argument("/dev/fd/" + std::to_string(ends[0])), OpenMode::kRead);
  close(ends[0]);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->read_at(0, buf, 2), 2u);
  EXPECT_EQ(f->read_at(2, buf + 2, sizeof buf - 2), 4u);
  EXPECT_EQ(std::string(buf, 6), "abcdef");
  EXPECT_FALSE(f->failed());
  EXPECT_EQ(f->read_at(0, buf, 1), 0u);  // a pipe cannot go back
  EXPECT_EQ(f->failure_text(), std::strerror(ESPIPE));
}

}  // namespace
}  // namespace tarnwick

#endif  // !_WIN32
