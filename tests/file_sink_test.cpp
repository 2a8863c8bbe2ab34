#include "system/file_sink.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "system/interrupt.h"
#include "test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

TEST(FileSink, ReplacesTheFileWithTheBytesAsTheyStand) {
  const TempDir dir("file_sink");
  const fs::path path = dir.path() / "LOS.TDF";
  std::ofstream(path, std::ios::binary) << std::string(5000, '#');
  OpenedFile file = open_file_sink(path.c_str());
  ASSERT_NE(file.sink, nullptr) << file.error_number;
  const std::string bytes = "a\r\nb\nc";
  EXPECT_EQ(file.sink->write(bytes.data(), bytes.size()), 0);
  EXPECT_EQ(file.sink->close().error_number, 0);
  EXPECT_EQ(read_file(path), bytes);

  // A sink dropped without being closed leaves the old file as it was.
  {
    OpenedFile dropped = open_file_sink(path.c_str());
    ASSERT_NE(dropped.sink, nullptr);
    EXPECT_TRUE(dropped.replaces);
    EXPECT_EQ(dropped.sink->write("xyz", 3), 0);
  }
  EXPECT_EQ(read_file(path), bytes);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FileSink, TellsWhyAFileCannotBeOpened) {
  const TempDir temp("file_sink");
  const fs::path& dir = temp.path();
  struct Case {
    fs::path path;
    int error_number;
  } cases[] = {
      {dir / "no-such-directory" / "LOS.TDF", ENOENT},
      {dir, EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    const OpenedFile file = open_file_sink(c.path.c_str());
    EXPECT_EQ(file.sink, nullptr);
    EXPECT_EQ(file.error_number, c.error_number);
  }
}

TEST(FileSink, OnlyAWatchedFileTellsTheInterruptHandlerWhatBecomesOfIt) {
  const TempDir dir("file_sink");
  const fs::path path = dir.path() / "LOS.TDF";
  std::ofstream(path, std::ios::binary) << "old";
  // A picture, say: replaced as the table file is, but the state never
  // names its new file.
  OpenedFile picture = open_file_sink(path.c_str(), {}, InterruptWatch::kNone);
  ASSERT_NE(picture.sink, nullptr);
  EXPECT_TRUE(picture.replaces);
  EXPECT_STREQ(new_file_path(), "");
  EXPECT_EQ(picture.sink->close().error_number, 0);

  OpenedFile table = open_file_sink(path.c_str(), {}, InterruptWatch::kTableFile);
  ASSERT_NE(table.sink, nullptr);
  EXPECT_EQ(fs::path(new_file_path()).parent_path(), path.parent_path());
  EXPECT_EQ(table.sink->write("new", 3), 0);
  EXPECT_EQ(table.sink->close().error_number, 0);
  EXPECT_EQ(settle(), TableFileState::kComplete);
  EXPECT_EQ(read_file(path), "new");
}

}  // namespace
}  // namespace vantrel
