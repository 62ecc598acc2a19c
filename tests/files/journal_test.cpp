#include "files/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "display/reading_list.h"

using namespace velmora;

namespace {
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TempDir {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("velmora-journal-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  TempDir() { std::filesystem::create_directories(path); }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const char* name) const { return (path / name).string(); }
};
}  // namespace

TEST(Journal, AStoppingWriterSyncsWhatItWrote) {
  TempDir dir;
  JournalWriter w(dir.file("j.txt"));
  w.startNew(std::nullopt);
  w.append(0.001, 20.5, "1.44 20.50");
  w.flush();
  EXPECT_EQ(w.syncs(), 0);
  w.stop();  // … and at the end, so that a power cut after a normal stop loses nothing
  EXPECT_EQ(w.syncs(), 1);
  EXPECT_EQ(readJournal(readFile(dir.file("j.txt"))).readings.size(), 1u);
}

TEST(Journal, WhatIsWrittenReadsBackExactly) {
  TempDir dir;
  const std::string path = dir.file("j.txt");
  std::vector<JournalReading> written;
  {
    JournalWriter w(path);
    w.startNew(JournalBase{"/data/run 1.vmd", 12345});
    for (int i = 0; i < 1000; ++i) {
      const double x = i / 3.0 / 86400.0, y = 21.0 + i / 7.0;
      written.push_back({x, y, listLine(x, y)});
      w.append(x, y, written.back().line);
    }
    written.push_back({1e-300, -273.15, "0.00 -273.15 with more text"});
    w.append(1e-300, -273.15, written.back().line);
    w.flush();
    EXPECT_EQ(w.syncs(), 0);  // handed over at once, synced only every few seconds …
    // Handed to the system: readable now, while the writer still runs.
    const JournalContents c = readJournal(readFile(path));
    ASSERT_TRUE(c.valid);
    EXPECT_FALSE(c.damaged);
    ASSERT_TRUE(c.base.has_value());
    EXPECT_EQ(c.base->path, "/data/run 1.vmd");
    EXPECT_EQ(c.base->bytes, 12345u);
    ASSERT_EQ(c.readings.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(c.readings[i].x, written[i].x);  // bit for bit
      EXPECT_EQ(c.readings[i].y, written[i].y);
      EXPECT_EQ(c.readings[i].line, written[i].line);
    }
    // A new journal replaces the old one.
    w.startNew(std::nullopt);
    w.append(0.5, 20, "720.00 20.00");
    w.flush();
    const JournalContents again = readJournal(readFile(path));
    EXPECT_FALSE(again.base.has_value());
    ASSERT_EQ(again.readings.size(), 1u);
    w.remove();
    EXPECT_FALSE(std::filesystem::exists(path));
    w.append(1, 1, "x");  // after removal nothing is written until a new journal starts
    w.flush();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST(Journal, ACutAnywhereInTheLastTwoLinesKeepsEverythingBeforeIt) {
  std::string text = "VELMORA JOURNAL 1\n";
  for (int i = 0; i < 5; ++i) appendJournalReading(text, i * 0.001, 20 + i, listLine(i * 0.001, 20 + i));
  const std::size_t lastTwo = text.rfind('\n', text.rfind('\n', text.size() - 2) - 1) + 1;
  for (std::size_t cut = lastTwo; cut <= text.size(); ++cut) {
    const JournalContents c = readJournal(std::string_view(text).substr(0, cut));
    ASSERT_TRUE(c.valid);
    // Complete lines before the cut, nothing of the cut line.
    std::size_t complete = 0;
    for (std::size_t i = 0; i < cut; ++i)
      if (text[i] == '\n') ++complete;
    const std::size_t expected = complete - 1;  // the header line
    EXPECT_EQ(c.readings.size(), expected) << cut;
    EXPECT_EQ(c.damaged, cut < text.size() && text[cut - 1] != '\n') << cut;
    for (std::size_t i = 0; i < c.readings.size(); ++i) EXPECT_EQ(c.readings[i].y, 20.0 + static_cast<double>(i));
  }
  // Garbage in the middle ends the readings there; no header is no journal.
  EXPECT_EQ(readJournal("VELMORA JOURNAL 1\nR 1 2 a\nxx\nR 3 4 b\n").readings.size(), 1u);
  EXPECT_FALSE(readJournal("something else\n").valid);
  EXPECT_TRUE(readJournal("VELMORA JOURNAL 1\nR 1 1e999 a\n").damaged);  // not a number
}

TEST(Journal, AFolderThatCannotBeWrittenIsReportedAndNothingStops) {
  {
    JournalWriter w("/nonexistent-folder/velmora/j.txt");
    w.startNew(std::nullopt);
    w.append(1, 2, "a");
    w.flush();
    EXPECT_TRUE(w.failing());
    w.append(2, 3, "b");  // recording goes on
    w.flush();
    EXPECT_TRUE(w.failing());
  }
#ifdef __linux__
  {
    JournalWriter w("/dev/full");  // a disk with no space left
    w.startNew(std::nullopt);
    w.append(1, 2, "a");
    w.flush();
    EXPECT_TRUE(w.failing());
  }
#endif
}
