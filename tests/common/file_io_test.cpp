// Whole files written as one: links followed, devices and FIFOs written in place, folders
// refused with the system's reason, and several files replaced together or not at all.
#include "common/file_io.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace velmora;
namespace fs = std::filesystem;

namespace {
struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("velmora-io-" + std::to_string(std::random_device{}()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string operator/(const char* name) const { return (path / name).string(); }
};
std::string contents(const std::string& path) {
  std::string bytes;
  EXPECT_FALSE(readWholeFile(path, bytes).has_value()) << path;
  return bytes;
}
// What the folder holds besides the given names (a half-written or kept-aside file).
std::vector<std::string> leftovers(const TempDir& dir, std::initializer_list<std::string> expected) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir.path)) {
    const std::string name = e.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) out.push_back(name);
  }
  return out;
}
}  // namespace

TEST(FileWrite, ReplacesWholeFilesAndRefusesFoldersWithTheRealCause) {
  TempDir dir;
  ASSERT_FALSE(writeFileAtomically(dir / "a.txt", "first"));
  ASSERT_FALSE(writeFileAtomically(dir / "a.txt", "second"));
  EXPECT_EQ(contents(dir / "a.txt"), "second");
  const auto folder = writeFileAtomically(dir.path.string(), "x");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, "Is a directory");
  std::string bytes;
  EXPECT_EQ(readWholeFile(dir.path.string(), bytes).value_or(""), "Is a directory");
  EXPECT_EQ(readWholeFile(dir / "missing", bytes).value_or(""), "No such file or directory");
  const auto noFolder = writeFileAtomically(dir / "missing/a.txt", "x");
  ASSERT_TRUE(noFolder);
  EXPECT_EQ(*noFolder, "No such file or directory");
  EXPECT_EQ(leftovers(dir, {"a.txt"}), std::vector<std::string>{});
  EXPECT_TRUE(sameExistingFile(dir / "a.txt", (dir.path / "." / "a.txt").string()));
  EXPECT_FALSE(sameExistingFile(dir / "a.txt", dir / "b.txt"));
}

TEST(FileWrite, SeveralFilesAreReplacedTogetherOrNotAtAll) {
  TempDir dir;
  ASSERT_FALSE(writeFilesAtomically({{dir / "r.pdf", "old pdf"}, {dir / "r-points.csv", "old csv"}}));
  // The second cannot take its place (a folder stands there): the first keeps its old text.
  fs::remove(dir / "r-points.csv");
  fs::create_directory(dir / "r-points.csv");
  EXPECT_TRUE(writeFilesAtomically({{dir / "r.pdf", "new pdf"}, {dir / "r-points.csv", "new csv"}}));
  EXPECT_EQ(contents(dir / "r.pdf"), "old pdf");
  EXPECT_EQ(leftovers(dir, {"r.pdf", "r-points.csv"}), std::vector<std::string>{});
  fs::remove(dir / "r-points.csv");
  ASSERT_FALSE(writeFilesAtomically({{dir / "r.pdf", "new pdf"}, {dir / "r-points.csv", "new csv"}}));
  EXPECT_EQ(contents(dir / "r.pdf"), "new pdf");
  EXPECT_EQ(contents(dir / "r-points.csv"), "new csv");
  EXPECT_EQ(leftovers(dir, {"r.pdf", "r-points.csv"}), std::vector<std::string>{});
}

#ifndef _WIN32
TEST(FileWrite, LinksAreFollowedAndDevicesAndFifosWrittenInPlace) {
  TempDir dir;
  ASSERT_FALSE(writeFileAtomically(dir / "data.csv", "old"));
  fs::create_symlink("data.csv", dir / "link.csv");
  ASSERT_FALSE(writeFileAtomically(dir / "link.csv", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));  // the link stays a link
  EXPECT_EQ(contents(dir / "data.csv"), "new");
  // A device behind a link: written where it is, never renamed over; its reason reported.
  fs::create_symlink("/dev/full", dir / "full");
  const auto full = writeFileAtomically(dir / "full", std::string(70000, 'x'));
  ASSERT_TRUE(full);
  EXPECT_EQ(*full, "No space left on device");
  EXPECT_TRUE(fs::is_symlink(dir / "full"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_FALSE(writeFileAtomically("/dev/null", "nothing"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // A FIFO: its reader gets the bytes, and it stays a FIFO.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(dir / "pipe", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    received = s.str();
  });
  EXPECT_FALSE(writeFileAtomically(dir / "pipe", "through the pipe"));
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_EQ(leftovers(dir, {"data.csv", "link.csv", "full", "pipe"}), std::vector<std::string>{});
}
#endif

#ifndef _WIN32
// A file replaced whole — at once or streamed in pieces (exports, the window's background
// save) — keeps the permissions it had: 0640 stays 0640, 0600 stays 0600.
TEST(FileWrite, AReplacedFileKeepsItsPermissionsWhicheverWayItIsWritten) {
  TempDir dir;
  const std::string path = dir / "kept.csv";
  struct Way {
    const char* name;
    std::function<std::optional<std::string>()> write;
  };
  const Way ways[] = {
      {"whole", [&] { return writeFileAtomically(path, "new bytes"); }},
      {"streamed", [&]() -> std::optional<std::string> {
         AtomicFileWriter out;
         if (auto cause = out.open(path)) return cause;
         if (auto cause = out.write("new ")) return cause;
         if (auto cause = out.write("bytes")) return cause;
         return out.commit();
       }},
  };
  for (const Way& way : ways)
    for (const mode_t mode : {mode_t(0640), mode_t(0600), mode_t(0664)}) {
      {
        std::ofstream(path) << "old";
      }
      ASSERT_EQ(::chmod(path.c_str(), mode), 0);
      ASSERT_FALSE(way.write()) << way.name;
      struct stat st {};
      ASSERT_EQ(::stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, mode) << way.name << " " << std::oct << mode;
      EXPECT_EQ(contents(path), "new bytes");
    }
}
#endif
