#include "file_sink.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileSink, CreatesOrTruncatesAndWritesBytesAsTheyStand) {
  const fs::path path = fs::path(testing::TempDir()) / "file_sink_test.tdf";
  std::ofstream(path, std::ios::binary) << std::string(5000, '#');
  OpenedFile file = open_file_sink(path.c_str());
  ASSERT_NE(file.sink, nullptr) << file.error_number;
  const std::string bytes = "a\r\nb\nc";
  EXPECT_EQ(file.sink->write(bytes.data(), bytes.size()), 0);
  EXPECT_EQ(file.sink->close().error_number, 0);
  EXPECT_EQ(read_file(path), bytes);
  fs::remove(path);
}

TEST(FileSink, TellsWhyAFileCannotBeOpened) {
  const fs::path dir = fs::path(testing::TempDir()) / "file_sink_test.dir";
  fs::create_directories(dir);
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
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantrel
