// Host paths and the folder and file calls on the real host.
#ifndef _WIN32

#include "host/host_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/file.h"
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

}  // namespace
}  // namespace tarnwick

#endif  // !_WIN32
