#include "system/file_plan.h"

#include <cerrno>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(FilePlan, ReplacesOnlyWhereARenameCanAndNobodyReliesOnTheOldFile) {
  using File = PathFacts::File;
  using Way = FilePlan::Way;
  // A writable regular file with one name, in a directory that takes new
  // names: the usual case, varied one fact at a time.
  const PathFacts usual{.file = File::kRegular, .links = 1, .file_writable = true,
                        .directory_writable = true};
  struct Case {
    const char* name;
    PathFacts facts;
    Way way;
    int error_number;
  } cases[] = {
      {"usual", usual, Way::kReplace, 0},
      {"no file yet", {.file = File::kMissing, .directory_writable = true}, Way::kReplace, 0},
      {"no file, directory refuses", {.file = File::kMissing}, Way::kReplace, 0},
      {"other hard links", {usual.file, 3, true, 0, true, false}, Way::kWriteInPlace, 0},
      {"a device or FIFO", {.file = File::kOther}, Way::kWriteInPlace, 0},
      {"cannot be told", {.file = File::kUnknown}, Way::kWriteInPlace, 0},
      {"directory refuses new names", {usual.file, 1, true, 0, false, false},
       Way::kWriteInPlace, 0},
      {"sticky directory, others' file", {usual.file, 1, true, 0, true, true},
       Way::kWriteInPlace, 0},
      {"another owner or group", {usual.file, 1, true, 0, true, false, false},
       Way::kWriteInPlace, 0},
      {"may not be written", {usual.file, 1, false, EACCES, true, false}, Way::kRefuse, EACCES},
      {"may not be written, other links", {usual.file, 2, false, EROFS, true, false},
       Way::kRefuse, EROFS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FilePlan plan = plan_table_file(c.facts);
    EXPECT_EQ(plan.way, c.way);
    EXPECT_EQ(plan.error_number, c.error_number);
  }
}

}  // namespace
}  // namespace vantrel
