// Files for tests: a fresh directory of a test's own, and reading a file
// whole.
#ifndef VANTREL_TESTS_TEST_FILES_H_
#define VANTREL_TESTS_TEST_FILES_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace vantrel {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A directory made for the test, under the test framework's temporary
// directory, removed with everything in it at the end.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::path(testing::TempDir()) / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "cannot make a directory like " << pattern;
  }
  ~TempDir() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace vantrel

#endif  // VANTREL_TESTS_TEST_FILES_H_
