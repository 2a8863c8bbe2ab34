// Runs the built vantrel binary in a fresh directory and checks what a user
// gets: console bytes, LOS.TDF bytes and the exit status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "file_attributes.h"
#include "run_program.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] =
    "LosTable calculator by Dovrek\n\nUsage: Vantrel MaxLos\n\n"
    "MaxLos    -    Maximum los in pixels for lostable";
constexpr char kProgress96[] =
    "\n\nCreating Table 1\n1 Lines"
    "\n\nCreating Table 2\n2 Lines"
    "\n\nCreating Table 3\n4 Lines";

using vantrel::Console;
using vantrel::kCannotSetUp;
using vantrel::read_file;
using vantrel::Result;
using vantrel::RunOptions;

std::string golden_96() {
  return read_file(fs::path(VANTREL_TEST_DATA) / "los96.tdf");
}

// The tables of 64: those of 96 up to the third.
std::string golden_64() {
  std::string tables = golden_96();
  tables.replace(tables.find("numtables=3"), 11, "numtables=2");
  tables.erase(tables.find("\r\n\r\n[Table3]"));
  return tables;
}

// The CRC-32 of zlib and PNG.
std::uint32_t crc32(const char* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xffffffffu;
  for (std::size_t n = 0; n < size; ++n) {
    crc = table[(crc ^ static_cast<unsigned char>(data[n])) & 0xffu] ^ (crc >> 8);
  }
  return crc ^ 0xffffffffu;
}

// One line per block of a table file, as tests/data/los9600.sums has them:
// "header <size> <crc>", then "<k> <size> <crc>" for each table k, whose
// block runs from the empty line before "[Table" to its closing brace.
std::vector<std::string> block_sums(const std::string& file) {
  std::vector<std::string> sums;
  constexpr std::string_view kOpening = "\r\n\r\n[Table";
  std::size_t start = 0;
  for (std::size_t k = 0; start < file.size(); ++k) {
    std::size_t end = file.find(kOpening, start + (k == 0 ? 0 : kOpening.size()));
    if (end == std::string::npos) end = file.size();
    char line[64];
    std::snprintf(line, sizeof line, "%s %zu %08x",
                  k == 0 ? "header" : std::to_string(k).c_str(), end - start,
                  static_cast<unsigned>(crc32(file.data() + start, end - start)));
    sums.emplace_back(line);
    start = end;
  }
  return sums;
}

std::vector<std::string> recorded_sums_9600() {
  std::istringstream lines(read_file(fs::path(VANTREL_TEST_DATA) / "los9600.sums"));
  std::vector<std::string> sums;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') sums.push_back(line);
  }
  return sums;
}

// Empty when the file holds exactly what `vantrel 9600` writes; else names
// the first block that differs.
std::string compare_with_9600(const std::string& file) {
  static const std::vector<std::string> expected = recorded_sums_9600();
  const std::vector<std::string> sums = block_sums(file);
  const auto [got, wanted] = std::mismatch(sums.begin(), sums.end(), expected.begin(),
                                           expected.end());
  if (got == sums.end() && wanted == expected.end()) return "";
  return "block " + std::to_string(got - sums.begin()) + ": got \"" +
         (got == sums.end() ? "nothing" : *got) + "\", expected \"" +
         (wanted == expected.end() ? "nothing" : *wanted) + "\"";
}

// True when `progress` is what a run shows that stopped when its file could
// no longer be written: `full`'s progress up to the end of one of its lines,
// all of it where the failure came to light only at the end.
bool stopped_early(const std::string& progress, const std::string& full) {
  return full.compare(0, progress.size(), progress) == 0 &&
         (progress.size() == full.size() || full[progress.size()] == '\n');
}

// What stands in the work directory before a run.
enum class Before {
  kNothing,
  kOldFile,       // the tables of 64, readable by their owner and group only
  kLongerFile,    // a LOS.TDF longer than the new output
  kSymbolicLink,  // LOS.TDF links to tables/target.tdf, a longer file
  kHardLink,      // LOS.TDF and other.tdf are one file
  kDirectory,     // a directory named LOS.TDF
  kFullDisk,      // LOS.TDF links to /dev/full
};

// The permission bits of Before::kOldFile.
constexpr fs::perms kOldFilePerms =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

class VantrelRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    root_ = temp_.path();
    dir_ = root_ / "work";
    fs::create_directory(dir_);
  }

  fs::path table_file() const { return dir_ / "LOS.TDF"; }

  // Empties the work directory and lays out `before` in it.
  void prepare(Before before) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
      fs::remove_all(entry.path());
    }
    const std::string longer(10000, '#');
    switch (before) {
      case Before::kNothing:
        break;
      case Before::kOldFile:
        std::ofstream(table_file(), std::ios::binary) << golden_64();
        fs::permissions(table_file(), kOldFilePerms);
        break;
      case Before::kLongerFile:
        std::ofstream(table_file(), std::ios::binary) << longer;
        break;
      case Before::kSymbolicLink:
        fs::create_directory(dir_ / "tables");
        std::ofstream(dir_ / "tables" / "target.tdf", std::ios::binary) << longer;
        fs::create_symlink(fs::path("tables") / "target.tdf", table_file());
        break;
      case Before::kHardLink:
        std::ofstream(table_file(), std::ios::binary) << "old";
        fs::create_hard_link(table_file(), dir_ / "other.tdf");
        break;
      case Before::kDirectory:
        fs::create_directory(table_file());
        break;
      case Before::kFullDisk:
        fs::create_symlink("/dev/full", table_file());
        break;
    }
  }

  // Every name under the work directory, as a path relative to it, sorted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir_)) {
      names.push_back(entry.path().lexically_relative(dir_).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The names that `before` lays out, LOS.TDF among them.
  static std::vector<std::string> names_of(Before before) {
    switch (before) {
      case Before::kSymbolicLink:
        return {"LOS.TDF", "tables", "tables/target.tdf"};
      case Before::kHardLink:
        return {"LOS.TDF", "other.tdf"};
      default:
        return {"LOS.TDF"};
    }
  }
  bool file_exists() const { return fs::exists(fs::symlink_status(table_file())); }
  std::string file() const { return read_file(table_file()); }

  // Runs the tool in the work directory.
  Result run(const std::vector<std::string>& args, const RunOptions& options = {}) {
    Result result = vantrel::run_program(VANTREL_BINARY, args, dir_, options);
    if (result.signal != 0 && options.kill_signal == 0) {
      ADD_FAILURE() << "killed by signal " << result.signal;
    }
    return result;
  }

  void expect_left_as_it_was(const Result& result, Before before, int status,
                             const std::string& err);

  vantrel::TempDir temp_{"vantrel"};
  fs::path root_;
  fs::path dir_;
};

TEST_F(VantrelRun, WritesTheTablesFor96ByteForByteWhateverStoodThereBefore) {
  // An existing file is replaced, keeping its permission bits, or written
  // through where other names must see the new tables; what becomes of the
  // console never costs the file.
  struct Case {
    const char* name;
    Before before;
    Console console;
    const char* also_written;  // another name that must show the new file
  } cases[] = {
      {"fresh directory", Before::kNothing, Console::kCaptured, nullptr},
      {"older file", Before::kOldFile, Console::kCaptured, nullptr},
      {"longer file", Before::kLongerFile, Console::kCaptured, nullptr},
      {"symbolic link", Before::kSymbolicLink, Console::kCaptured, "tables/target.tdf"},
      {"hard link", Before::kHardLink, Console::kCaptured, "other.tdf"},
      {"console closed", Before::kNothing, Console::kClosed, nullptr},
      {"console a broken pipe", Before::kNothing, Console::kBrokenPipe, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare(c.before);
    Result result = run({"96"}, {.console = c.console});
    EXPECT_EQ(result.status, 1);
    if (c.console == Console::kCaptured) {
      EXPECT_EQ(result.out, kProgress96);
    }
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(file(), golden_96());
    if (c.also_written != nullptr) {
      EXPECT_EQ(read_file(dir_ / c.also_written), golden_96());
    }
    if (c.before == Before::kSymbolicLink) {
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(table_file())));
    }
    if (c.before == Before::kOldFile) {
      EXPECT_EQ(fs::status(table_file()).permissions(), kOldFilePerms);
    }
    EXPECT_EQ(listing(), names_of(c.before));
  }
}

TEST_F(VantrelRun, SixtyFourIsThePrefixOf96WithTwoTables) {
  const std::string expected = golden_64();

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"64"}, {"  +64px"}, {"64", "999"}, {"4294967360"}}) {
    SCOPED_TRACE(args.front());
    Result result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "\n\nCreating Table 1\n1 Lines\n\nCreating Table 2\n2 Lines");
    EXPECT_EQ(file(), expected);
  }
}

TEST_F(VantrelRun, UsageTouchesNoFile) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"0"}, {"abc"}, {""}, {"4294967296"}, {"-", "5"}}) {
    SCOPED_TRACE(args.empty() ? "no argument" : "'" + args.front() + "'");
    Result result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, kUsage);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(file_exists());
  }
  std::ofstream(table_file(), std::ios::binary) << "keep me";
  EXPECT_EQ(run({"0"}).out, kUsage);
  EXPECT_EQ(file(), "keep me");
}

TEST_F(VantrelRun, NegativeCountsWriteTheHeaderAlone) {
  struct Case {
    const char* max_los;
    const char* file;
  } cases[] = {
      {"-5", "[TABLEINFO]\r\n{\r\nnumtables=0;\r\n}"},
      {"-64", "[TABLEINFO]\r\n{\r\nnumtables=-2;\r\n}"},
      {"-2147483648", "[TABLEINFO]\r\n{\r\nnumtables=-67108864;\r\n}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_los);
    Result result = run({c.max_los});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(file(), c.file);
  }
}

TEST_F(VantrelRun, RefusesSizesBeyondTheLargestBeforeTouchingAnything) {
  EXPECT_EQ(run({"1482881"}).status, 2);
  EXPECT_FALSE(file_exists());

  // The message quotes what was typed, and what it reads as where that
  // differs, terminal escapes made harmless.
  std::ofstream(table_file(), std::ios::binary) << "keep me";
  const std::string largest = "; the largest accepted value is 1482880\n";
  struct Case {
    const char* max_los;
    std::string message;
  } cases[] = {
      {"1482881", "vantrel: MaxLos 1482881 is too large" + largest},
      {"2147483647", "vantrel: MaxLos 2147483647 is too large" + largest},
      {"99999999999",
       "vantrel: MaxLos \"99999999999\" reads as 1215752191, which is too large" + largest},
      {" +2000000px",
       "vantrel: MaxLos \" +2000000px\" reads as 2000000, which is too large" + largest},
      {"9999999\x1b]0;x\x07",
       "vantrel: MaxLos \"9999999\\x1b]0;x\\x07\" reads as 9999999, which is too large" +
           largest},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_los);
    Result result = run({c.max_los});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(file(), "keep me");
  }
}

TEST_F(VantrelRun, ReportsAFileThatCannotBeWrittenOnceAndStopsThere) {
  // No table is computed that can no longer be written: a file that cannot
  // be opened stops the run before the first table, a failed write within
  // the table being written.
  const std::string progress_3200 = run({"3200"}).out;
  struct Case {
    const char* name;
    Before before;
    const char* max_los;
    std::string message;
  } cases[] = {
      {"a directory named LOS.TDF", Before::kDirectory, "96",
       "vantrel: cannot open LOS.TDF: " + std::string(std::strerror(EISDIR)) + "\n"},
      {"a full disk", Before::kFullDisk, "3200",
       "vantrel: cannot write LOS.TDF: " + std::string(std::strerror(ENOSPC)) +
           "; LOS.TDF is incomplete\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare(c.before);
    Result result = run({c.max_los});
    EXPECT_EQ(result.status, 2);
    if (c.before == Before::kDirectory) {
      EXPECT_EQ(result.out, "");
    } else {
      EXPECT_TRUE(stopped_early(result.out, progress_3200)) << result.out;
    }
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(listing(), names_of(c.before));
  }
}

TEST_F(VantrelRun, KeepsAnExactPrefixWhereTheFileIsWrittenInPlace) {
  // A file with another name is written through; a file-size limit stops
  // the run part-way. At 4800 the last tables are formatted partly on the
  // second thread; the limit falls within one of them.
  struct Case {
    const char* max_los;
    std::vector<rlim_t> limits;
  } cases[] = {
      {"3200", {0, 100, rlim_t{1} << 20, 2500001}},
      {"4800", {10000001}},
  };
  for (const Case& c : cases) {
    prepare(Before::kNothing);
    Result full = run({c.max_los});
    ASSERT_EQ(full.status, 1);
    const std::string complete = file();

    for (rlim_t limit : c.limits) {
      SCOPED_TRACE(std::string(c.max_los) + " limited to " + std::to_string(limit));
#ifdef __SANITIZE_THREAD__
      // ThreadSanitizer's runtime writes a file of its own before main,
      // and a limit of 0 kills the run there.
      if (limit == 0) continue;
#endif
      ASSERT_LT(limit, complete.size());
      prepare(Before::kHardLink);
      Result result = run({c.max_los}, {.file_size_limit = limit});
      EXPECT_EQ(result.status, 2);
      EXPECT_TRUE(stopped_early(result.out, full.out)) << result.out;
      EXPECT_EQ(result.err, "vantrel: cannot write LOS.TDF: " +
                                std::string(std::strerror(EFBIG)) +
                                "; LOS.TDF is incomplete\n");
      EXPECT_EQ(file(), complete.substr(0, limit));
      EXPECT_EQ(read_file(dir_ / "other.tdf"), complete.substr(0, limit));
      EXPECT_EQ(listing(), names_of(Before::kHardLink));
    }
  }
}

// Shows each progress line while the run goes on: LOS.TDF is a pipe that
// nobody drains yet, so the run stalls at its first large write, and by
// then the first tables must already be on the console.
TEST_F(VantrelRun, ShowsProgressWhileTheTablesAreBuilt) {
  ASSERT_EQ(mkfifo(table_file().c_str(), 0600), 0) << std::strerror(errno);
  int console[2];
  ASSERT_EQ(pipe(console), 0);
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(127);
    dup2(console[1], 1);
    close(console[0]);
    execl(VANTREL_BINARY, VANTREL_BINARY, "3200", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(console[1]);
  int table = open(table_file().c_str(), O_RDONLY);
  ASSERT_GE(table, 0);

  std::string shown;
  pollfd ready{console[0], POLLIN, 0};
  while (shown.find("\n1 Lines") == std::string::npos &&
         poll(&ready, 1, 10000) == 1) {
    char chunk[256];
    ssize_t size = read(console[0], chunk, sizeof chunk);
    if (size <= 0) break;
    shown.append(chunk, static_cast<std::size_t>(size));
  }
  EXPECT_EQ(shown.rfind("\n\nCreating Table 1\n1 Lines", 0), 0u) << shown;

  char drain[65536];
  while (read(table, drain, sizeof drain) > 0) {
  }
  close(table);
  while (read(console[0], drain, sizeof drain) > 0) {
  }
  close(console[0]);
  int wait_status = 0;
  ASSERT_EQ(waitpid(child, &wait_status, 0), child);
  EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 1);
}

TEST_F(VantrelRun, EveryBlockOf9600MatchesItsRecordedChecksum) {
  // Pins every table's bytes, whatever the code that makes them.
  Result result = run({"9600"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 900);
  EXPECT_EQ(compare_with_9600(file()), "");
}

// Whatever limit its address space has, a run either completes or says that
// memory ran out, and once a limit is enough, every larger one is too. Near
// 16 MB the second thread can just be had but leaves too little for the
// rest: the run must then go on with one thread.
TEST_F(VantrelRun, CompletesOrReportsRunningOutOfMemoryUnderAnyAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' runtimes need more address space than these limits";
#endif
  const Result full = run({"9600"});
  ASSERT_EQ(full.status, 1);
  bool completed = false;
  for (const unsigned quarter_mebibytes :
       {16u, 18u, 20u, 24u, 32u, 48u, 56u, 60u, 62u, 64u, 66u, 68u, 80u, 256u}) {
    const rlim_t limit = rlim_t{quarter_mebibytes} << 18;
    SCOPED_TRACE("limit " + std::to_string(limit >> 10) + " KiB");
    fs::remove(table_file());
    Result result = run({"9600"}, {.address_space_limit = limit});
    if (result.status == 1) {
      completed = true;
      EXPECT_EQ(result.out, full.out);
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(compare_with_9600(file()), "");
    } else {
      EXPECT_FALSE(completed) << "a smaller limit was enough";
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.err, "vantrel: out of memory; LOS.TDF left as it was\n");
      EXPECT_EQ(listing(), std::vector<std::string>{});
    }
  }
  EXPECT_TRUE(completed);
}

// Checks a run that failed or was interrupted: it ended with `status` and
// said `err`, and left what stood there before as it was.
void VantrelRun::expect_left_as_it_was(const Result& result, Before before, int status,
                                       const std::string& err) {
  EXPECT_EQ(result.status, status);
  EXPECT_EQ(result.err, err);
  if (before == Before::kOldFile) {
    EXPECT_EQ(file(), golden_64());
    EXPECT_EQ(fs::status(table_file()).permissions(), kOldFilePerms);
    EXPECT_EQ(listing(), names_of(before));
  } else {
    EXPECT_EQ(listing(), std::vector<std::string>{});
  }
}

TEST_F(VantrelRun, LeavesTheOldFileAsItWasWhenARunFailsOrIsInterrupted) {
  const std::string too_large =
      "vantrel: cannot write LOS.TDF: " + std::string(std::strerror(EFBIG)) + "\n";
  const std::string interrupted = "vantrel: interrupted; LOS.TDF left as it was\n";
  auto stop = [](int signal_number) {
    return RunOptions{.kill_signal = signal_number, .kill_after = "Creating Table 150"};
  };
  struct Case {
    const char* name;
    Before before;
    RunOptions options;
    int status;
    std::string err;
  } cases[] = {
      {"file-size limit", Before::kOldFile, {.file_size_limit = 5000000}, 2, too_large},
      {"file-size limit, no file before", Before::kNothing, {.file_size_limit = 5000000}, 2,
       too_large},
      {"SIGINT", Before::kOldFile, stop(SIGINT), 128 + SIGINT, interrupted},
      {"SIGTERM", Before::kOldFile, stop(SIGTERM), 128 + SIGTERM, interrupted},
      {"SIGHUP", Before::kOldFile, stop(SIGHUP), 128 + SIGHUP, interrupted},
      {"SIGINT, no file before", Before::kNothing, stop(SIGINT), 128 + SIGINT, interrupted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare(c.before);
    const Result result = run({"9600"}, c.options);
    expect_left_as_it_was(result, c.before, c.status, c.err);
  }
}

TEST_F(VantrelRun, LeavesTheOldFileAsItWasWhenTheDiskFillsOrWouldFill) {
  // A small file system of its own, where this test may mount one: 3 MiB
  // hold the least that 3200 may need but not all it writes, so a write
  // fails part-way; 12800 cannot fit and is refused before anything is
  // touched.
  const fs::path small = root_ / "small";
  fs::create_directory(small);
  if (mount("vantrel-test", small.c_str(), "tmpfs", 0, "size=3m") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  }
  dir_ = small;
  prepare(Before::kOldFile);
  expect_left_as_it_was(run({"3200"}), Before::kOldFile, 2,
                        "vantrel: cannot write LOS.TDF: " +
                            std::string(std::strerror(ENOSPC)) + "\n");

  const Result refused = run({"12800"});
  EXPECT_EQ(refused.out, "");
  expect_left_as_it_was(refused, Before::kOldFile, 2,
                        "vantrel: LOS.TDF needs at least 198 MiB; the disk has 3.0 MiB free\n");
  umount2(small.c_str(), MNT_DETACH);
}

TEST_F(VantrelRun, KilledOutrightLeavesTheOldFileOrTheCompleteNewOne) {
  // SIGKILL cannot be caught: the new file, unfinished, is the only trace.
  for (const char* moment : {"Creating Table 1", "Creating Table 150", "Creating Table 300",
                             "300 Lines"}) {
    SCOPED_TRACE(moment);
    prepare(Before::kOldFile);
    run({"9600"}, {.kill_signal = SIGKILL, .kill_after = moment});
    const std::string content = file();
    EXPECT_TRUE(content == golden_64() || compare_with_9600(content).empty());
    std::vector<std::string> names = listing();
    EXPECT_EQ(names.front(), "LOS.TDF");
    EXPECT_LE(names.size(), 2u);
    if (names.size() == 2) {
      EXPECT_EQ(names[1].rfind("LOS.TDF.new-", 0), 0u) << names[1];
    }
  }
}

TEST_F(VantrelRun, TwoRunsAtOnceLeaveOneCompleteFile) {
  std::string alone[2];
  const char* max_los[2] = {"3200", "3232"};
  for (int n = 0; n < 2; ++n) {
    prepare(Before::kNothing);
    ASSERT_EQ(run({max_los[n]}).status, 1);
    alone[n] = file();
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    prepare(Before::kOldFile);
    Result results[2];
    std::thread other([&] { results[1] = run({max_los[1]}); });
    results[0] = run({max_los[0]});
    other.join();
    EXPECT_EQ(results[0].status, 1);
    EXPECT_EQ(results[1].status, 1);
    const std::string content = file();
    EXPECT_TRUE(content == alone[0] || content == alone[1]);
    EXPECT_EQ(listing(), names_of(Before::kOldFile));
  }
}

// Cases that only another user meets, since root may write any file and
// rename over any file: the tool must see them coming and write in place
// where replacing would be refused at the end.
TEST_F(VantrelRun, AsAnotherUserWritesInPlaceWhereAReplaceWouldBeRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can run the tool as another user";
  constexpr uid_t kNobody = 65534;
  fs::permissions(root_, fs::perms(0755));
  fs::permissions(dir_, fs::perms(0777));
  if (const int status = run({"0"}, {.user = kNobody}).status; status != 1) {
    GTEST_SKIP() << "user " << kNobody << " cannot run " << VANTREL_BINARY << " (status "
                 << status << ")";
  }
  enum class Outcome { kInPlace, kReplaced, kRefused };
  // A new file would belong to the user and its group: where the old one
  // belongs to others, it is written in place, so that its owner keeps it
  // and nobody else may read it.
  struct Case {
    const char* name;
    mode_t directory_mode;
    mode_t file_mode;
    uid_t file_owner;
    gid_t file_group;
    Outcome outcome;
  } cases[] = {
      {"sticky directory, root's writable file", 01777, 0666, 0, 0, Outcome::kInPlace},
      {"directory refuses new names", 0755, 0666, 0, 0, Outcome::kInPlace},
      {"read-only file", 0777, 0644, 0, 0, Outcome::kRefused},
      {"group-writable file of root's", 0777, 0664, 0, kNobody, Outcome::kInPlace},
      {"own file, root's group", 0777, 0640, kNobody, 0, Outcome::kInPlace},
      {"own file and group", 0777, 0640, kNobody, kNobody, Outcome::kReplaced},
      {"own file, set-user-ID kept", 0777, 04750, kNobody, kNobody, Outcome::kReplaced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare(Before::kNothing);
    std::ofstream(table_file(), std::ios::binary) << golden_64();
    ASSERT_EQ(chown(table_file().c_str(), c.file_owner, c.file_group), 0);
    ASSERT_EQ(chmod(table_file().c_str(), c.file_mode), 0);
    ASSERT_EQ(chmod(dir_.c_str(), c.directory_mode), 0);
    struct stat before;
    ASSERT_EQ(stat(table_file().c_str(), &before), 0);

    const Result result = run({"96"}, {.user = kNobody});
    chmod(dir_.c_str(), 0777);
    struct stat after;
    ASSERT_EQ(stat(table_file().c_str(), &after), 0);
    EXPECT_EQ(listing(), names_of(Before::kOldFile));
    EXPECT_EQ(after.st_mode & 07777, c.file_mode);
    switch (c.outcome) {
      case Outcome::kInPlace:
      case Outcome::kReplaced:
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, kProgress96);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(file(), golden_96());
        EXPECT_EQ(after.st_ino == before.st_ino, c.outcome == Outcome::kInPlace);
        EXPECT_EQ(after.st_uid, c.file_owner);
        EXPECT_EQ(after.st_gid, c.file_group);
        break;
      case Outcome::kRefused:
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "vantrel: cannot open LOS.TDF: " + std::string(std::strerror(EACCES)) + "\n");
        EXPECT_EQ(file(), golden_64());
        break;
    }
  }
}

// Root is not always all-powerful: without CAP_FOWNER it may not rename
// over another user's file in a sticky directory, and in a user namespace
// it may not give a file an owner the namespace does not map. Where a
// replace would be refused, the file is written in place, its owner kept.
TEST_F(VantrelRun, AsRootWithoutItsPrivilegesWritesInPlaceWhereAReplaceWouldBeRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  constexpr uid_t kDaemon = 1;
  constexpr uid_t kBin = 2;
  struct Case {
    const char* name;
    std::vector<std::string> launcher;  // runs the tool with these words first
  } cases[] = {
      {"without CAP_FOWNER", {"/usr/bin/setpriv", "--inh-caps=-fowner", "--bounding-set=-fowner"}},
      {"in a user namespace", {"/usr/bin/unshare", "-U", "-r"}},
  };
  fs::permissions(root_, fs::perms(0755));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!fs::exists(c.launcher.front())) {
      ADD_FAILURE() << c.launcher.front() << " is missing (package util-linux)";
      continue;
    }
    std::vector<std::string> args(c.launcher.begin() + 1, c.launcher.end());
    args.push_back(VANTREL_BINARY);
    args.push_back("96");
    prepare(Before::kNothing);
    std::ofstream(table_file(), std::ios::binary) << golden_64();
    ASSERT_EQ(chown(table_file().c_str(), kBin, kBin), 0);
    ASSERT_EQ(chmod(table_file().c_str(), 0666), 0);
    ASSERT_EQ(chown(dir_.c_str(), kDaemon, kDaemon), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 01777), 0);
    struct stat before;
    ASSERT_EQ(stat(table_file().c_str(), &before), 0);

    const Result result = vantrel::run_program(c.launcher.front().c_str(), args, dir_);
    if (result.status != 1 && result.err.find("vantrel:") == std::string::npos) {
      GTEST_SKIP() << c.launcher.front() << " cannot run here: " << result.err;
    }
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(file(), golden_96());
    struct stat after;
    ASSERT_EQ(stat(table_file().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, kBin);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(listing(), names_of(Before::kOldFile));
  }
}

// A symbolic link that names no file of the file system, as /dev/stdout
// does when it is a pipe: the bytes go where the link leads, as an open
// would send them.
// The new file takes the old one's access control list and extended
// attributes before it takes its place, and none that the old one lacks:
// an access list inherited from the directory could let more people read
// it. (Root reads any file whatever the list says: the attributes
// themselves are compared.)
TEST_F(VantrelRun, ReplacesAFileKeepingItsAccessListAndExtendedAttributes) {
  constexpr std::uint32_t kNobody = 65534;
  // Group and others denied, one user let read: "-rw-r-----+".
  const std::string narrow = vantrel::access_list(
      {{0x01, 6}, {0x02, 4, kNobody}, {0x04, 0}, {0x10, 4}, {0x20, 0}});
  const std::string inherited = vantrel::access_list(
      {{0x01, 7}, {0x02, 4, kNobody}, {0x04, 7}, {0x10, 7}, {0x20, 0}});
  prepare(Before::kOldFile);
  if (!vantrel::set_attribute(table_file(), "user.origin", "editor") ||
      !vantrel::set_attribute(table_file(), vantrel::kAccessList, narrow)) {
    GTEST_SKIP() << "the file system cannot keep extended attributes or access lists: "
                 << std::strerror(errno);
  }
  struct Case {
    const char* name;
    bool old_attributes;         // the old file has the list and user.origin
    bool directory_default;      // the directory gives new files `inherited`
  } cases[] = {
      {"a list and an attribute", true, false},
      {"a list and an attribute, the directory's list besides", true, true},
      {"none, the directory's list besides", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (void)removexattr(dir_.c_str(), vantrel::kDefaultList);
    prepare(Before::kOldFile);
    fs::permissions(table_file(), fs::perms(0640));
    if (c.old_attributes) {
      ASSERT_TRUE(vantrel::set_attribute(table_file(), "user.origin", "editor"));
      ASSERT_TRUE(vantrel::set_attribute(table_file(), vantrel::kAccessList, narrow));
    }
    if (c.directory_default) {
      ASSERT_TRUE(vantrel::set_attribute(dir_, vantrel::kDefaultList, inherited));
    }
    struct stat before;
    ASSERT_EQ(stat(table_file().c_str(), &before), 0);

    const Result result = run({"96"}, {.umask = 022});
    (void)removexattr(dir_.c_str(), vantrel::kDefaultList);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(file(), golden_96());
    EXPECT_EQ(listing(), names_of(Before::kOldFile));
    struct stat after;
    ASSERT_EQ(stat(table_file().c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not written in place";
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(vantrel::attribute_of(table_file(), vantrel::kAccessList),
              c.old_attributes ? std::optional<std::string>(narrow) : std::nullopt);
    EXPECT_EQ(vantrel::attribute_of(table_file(), "user.origin"),
              c.old_attributes ? std::optional<std::string>("editor") : std::nullopt);
  }
}

TEST_F(VantrelRun, WritesThroughALinkToStandardOutput) {
  fs::create_symlink("/dev/stdout", table_file());
  const Result result = run({"96"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.size(), std::string(kProgress96).size() + golden_96().size());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(table_file())));
}

// The first process of a PID namespace (a container without an init) is
// not ended by a signal it leaves to the system: once the handler has done
// its work, the run must end by itself.
TEST_F(VantrelRun, AnInterruptedFirstProcessOfAContainerEnds) {
  prepare(Before::kOldFile);
  const Result result = run({"9600"}, {.kill_signal = SIGTERM,
                                       .kill_after = "Creating Table 150",
                                       .first_process = true});
  if (result.status == kCannotSetUp) GTEST_SKIP() << "cannot make a PID namespace here";
  expect_left_as_it_was(result, Before::kOldFile, 128 + SIGTERM,
                        "vantrel: interrupted; LOS.TDF left as it was\n");
}

}  // namespace
