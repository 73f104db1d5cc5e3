#include "core/atomic_file.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace rovena {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::size_t EntriesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  test::ScratchDir scratch_{"rovena_atomic"};
  const fs::path& dir_ = scratch_.Path();
};

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(AtomicFile, ReplacesTheTargetAndLeavesNoTemporaryFile) {
  const std::string target = Path("out.bin");
  WriteText(target, "old content that is longer");
  ::chmod(target.c_str(), 0640);
  EXPECT_EQ(WriteFileAtomically(target, Bytes("new"), IfExists::Replace), "");
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(EntriesInDir(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // a replaced file keeps its permissions
}

TEST_F(AtomicFile, LargeBufferedWritesArriveWhole) {
  const std::string target = Path("big.bin");
  AtomicFileWriter w;
  ASSERT_EQ(w.Open(target, IfExists::Replace), "");
  std::string expected;
  for (int i = 0; i < 200000; ++i) {
    w.Put(static_cast<std::uint8_t>(i * 7));
    expected.push_back(static_cast<char>(i * 7));
  }
  const std::vector<std::uint8_t> block(100000, 0x5A);
  w.Write(block);
  expected.append(100000, 0x5A);
  EXPECT_FALSE(fs::exists(target));  // nothing visible before the commit
  ASSERT_EQ(w.Commit(), "");
  EXPECT_EQ(Read(target), expected);
}

TEST_F(AtomicFile, AbandonedOrFailedWritesKeepTheOldFile) {
  const std::string target = Path("keep.bin");
  WriteText(target, "precious");
  {
    AtomicFileWriter w;
    ASSERT_EQ(w.Open(target, IfExists::Replace), "");
    w.Write(Bytes("half"));
  }  // destroyed without Commit
  EXPECT_EQ(Read(target), "precious");
  EXPECT_EQ(EntriesInDir(), 1u);

  EXPECT_NE(WriteFileAtomically(Path("no/such/folder/x"), Bytes("x"), IfExists::Replace), "");
  EXPECT_NE(WriteFileAtomically("", Bytes("x"), IfExists::Replace), "");
  // A folder in the target's place cannot be replaced by a file.
  fs::create_directory(Path("adir"));
  EXPECT_NE(WriteFileAtomically(Path("adir"), Bytes("x"), IfExists::Replace), "");
  EXPECT_TRUE(fs::is_directory(Path("adir")));
  EXPECT_EQ(EntriesInDir(), 2u);
}

TEST_F(AtomicFile, UnwritableFolderIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  fs::create_directory(Path("ro"));
  WriteText(Path("ro/old.bin"), "old");
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_NE(WriteFileAtomically(Path("ro/old.bin"), Bytes("new"), IfExists::Replace), "");
  fs::permissions(Path("ro"), fs::perms::owner_all);
  EXPECT_EQ(Read(Path("ro/old.bin")), "old");
}

TEST_F(AtomicFile, SymbolicLinkTargetIsFollowed) {
  const std::string real = Path("real.bin");
  const std::string link = Path("link.bin");
  WriteText(real, "old");
  fs::create_symlink(real, link);
  EXPECT_EQ(WriteFileAtomically(link, Bytes("new"), IfExists::Replace), "");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), "new");
}

TEST_F(AtomicFile, SameFileSeesThroughLinksAndSpellings) {
  const std::string a = Path("a.mpg");
  WriteText(a, "x");
  WriteText(Path("b.mpg"), "x");
  fs::create_hard_link(a, Path("hard.mpg"));
  fs::create_symlink(a, Path("soft.mpg"));
  fs::create_directory(Path("sub"));
  EXPECT_TRUE(SameFile(a, Path("hard.mpg")));
  EXPECT_TRUE(SameFile(a, Path("soft.mpg")));
  EXPECT_TRUE(SameFile(a, Path("sub/../a.mpg")));
  EXPECT_TRUE(SameFile(a, Path("./a.mpg")));
  EXPECT_FALSE(SameFile(a, Path("b.mpg")));
  EXPECT_FALSE(SameFile(a, Path("missing.mpg")));
}

}  // namespace
}  // namespace rovena
