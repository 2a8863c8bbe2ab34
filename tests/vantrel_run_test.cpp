// Runs the built vantrel binary in a fresh directory and checks what a user
// gets: console bytes, LOS.TDF bytes and the exit status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] =
    "LosTable calculator by Dovrek\n\nUsage: Vantrel MaxLos\n\n"
    "MaxLos    -    Maximum los in pixels for lostable";
constexpr char kProgress96[] =
    "\n\nCreating Table 1\n1 Lines"
    "\n\nCreating Table 2\n2 Lines"
    "\n\nCreating Table 3\n4 Lines";

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string golden_96() {
  return read_file(fs::path(VANTREL_TEST_DATA) / "los96.tdf");
}

// What the console of the child is.
enum class Console { kCaptured, kClosed, kBrokenPipe };

struct RunOptions {
  Console console = Console::kCaptured;
  std::optional<rlim_t> file_size_limit;  // bytes
};

struct Result {
  int status = -1;  // exit status, or -1 when killed by a signal
  std::string out;
  std::string err;
};

class VantrelRun : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(testing::TempDir()) / "vantrel-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    root_ = pattern;
    dir_ = root_ / "work";
    fs::create_directory(dir_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path table_file() const { return dir_ / "LOS.TDF"; }
  bool file_exists() const { return fs::exists(fs::symlink_status(table_file())); }
  std::string file() const { return read_file(table_file()); }

  // Runs the tool in the work directory; its console goes to pipes (a file
  // would fall under the file-size limit of the child too).
  Result run(const std::vector<std::string>& args, RunOptions options = {}) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
      ADD_FAILURE() << "pipe: " << std::strerror(errno);
      return {};
    }
    pid_t child = fork();
    if (child == 0) {
      signal(SIGPIPE, SIG_DFL);
      signal(SIGXFSZ, SIG_DFL);
      if (chdir(dir_.c_str()) != 0) _exit(127);
      switch (options.console) {
        case Console::kCaptured: dup2(out[1], 1); break;
        case Console::kClosed: close(1); break;
        case Console::kBrokenPipe: close(out[0]); dup2(out[1], 1); break;
      }
      dup2(err[1], 2);
      if (options.file_size_limit) {
        rlimit limit{*options.file_size_limit, *options.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv{const_cast<char*>(VANTREL_BINARY)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(VANTREL_BINARY, argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Nobody reads a broken pipe: its only reader is gone before the run.
    if (options.console == Console::kBrokenPipe) close(out[0]);
    Result result;
    drain({options.console == Console::kBrokenPipe ? -1 : out[0], err[0]},
          {&result.out, &result.err});
    int wait_status = 0;
    if (child < 0 || waitpid(child, &wait_status, 0) != child) {
      ADD_FAILURE() << "could not run " << VANTREL_BINARY;
      return result;
    }
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) ADD_FAILURE() << "killed by signal " << WTERMSIG(wait_status);
    return result;
  }

  // Reads both pipes to their end; -1 stands for none.
  static void drain(std::array<int, 2> fds, std::array<std::string*, 2> into) {
    std::array<pollfd, 2> ready{};
    for (;;) {
      nfds_t open_count = 0;
      for (std::size_t n = 0; n < fds.size(); ++n) {
        ready[n] = {fds[n], POLLIN, 0};
        if (fds[n] >= 0) ++open_count;
      }
      if (open_count == 0 || poll(ready.data(), ready.size(), -1) < 0) return;
      for (std::size_t n = 0; n < fds.size(); ++n) {
        if (fds[n] < 0 || ready[n].revents == 0) continue;
        char chunk[4096];
        ssize_t size = read(fds[n], chunk, sizeof chunk);
        if (size > 0) {
          into[n]->append(chunk, static_cast<std::size_t>(size));
        } else {
          close(fds[n]);
          fds[n] = -1;
        }
      }
    }
  }

  fs::path root_;
  fs::path dir_;
};

TEST_F(VantrelRun, WritesTheTablesFor96ByteForByte) {
  Result result = run({"96"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, kProgress96);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(file(), golden_96());
}

TEST_F(VantrelRun, SixtyFourIsThePrefixOf96WithTwoTables) {
  std::string expected = golden_96();
  expected.replace(expected.find("numtables=3"), 11, "numtables=2");
  expected.erase(expected.find("\r\n\r\n[Table3]"));

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

TEST_F(VantrelRun, TruncatesALongerExistingFile) {
  std::ofstream(table_file(), std::ios::binary) << std::string(10000, '#');
  EXPECT_EQ(run({"96"}).status, 1);
  EXPECT_EQ(file(), golden_96());
}

TEST_F(VantrelRun, WritesThroughLinksLikeAnyToolThatTruncatesInPlace) {
  const fs::path target = dir_ / "target.tdf";
  std::ofstream(target, std::ios::binary) << std::string(10000, '#');
  fs::create_symlink(target, table_file());
  EXPECT_EQ(run({"96"}).status, 1);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(table_file())));
  EXPECT_EQ(read_file(target), golden_96());

  fs::remove(table_file());
  const fs::path other_name = dir_ / "other.tdf";
  std::ofstream(table_file(), std::ios::binary) << "old";
  fs::create_hard_link(table_file(), other_name);
  EXPECT_EQ(run({"96"}).status, 1);
  EXPECT_EQ(read_file(other_name), golden_96());
}

TEST_F(VantrelRun, RefusesSizesBeyondTheLargestBeforeTouchingAnything) {
  EXPECT_EQ(run({"1482881"}).status, 2);
  EXPECT_FALSE(file_exists());

  std::ofstream(table_file(), std::ios::binary) << "keep me";
  for (const char* max_los : {"1482881", "2147483647", "999999999"}) {
    SCOPED_TRACE(max_los);
    Result result = run({max_los});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("1482880"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
    EXPECT_EQ(file(), "keep me");
  }
}

TEST_F(VantrelRun, ReportsAFileThatCannotBeOpenedAndStillComputesEveryTable) {
  fs::create_directory(table_file());
  Result result = run({"96"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, kProgress96);
  EXPECT_EQ(result.err, "vantrel: cannot open LOS.TDF: " +
                            std::string(std::strerror(EISDIR)) + "\n");
}

TEST_F(VantrelRun, ReportsAFullDiskOnce) {
  fs::create_symlink("/dev/full", table_file());
  Result result = run({"3200"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 300);
  EXPECT_EQ(result.err, "vantrel: cannot write LOS.TDF: " +
                            std::string(std::strerror(ENOSPC)) + "\n");
}

TEST_F(VantrelRun, KeepsAnExactPrefixWhenTheFileSizeLimitIsReached) {
  // At 4800 the last tables are formatted partly on the second thread; the
  // limit falls within one of them.
  struct Case {
    const char* max_los;
    std::vector<rlim_t> limits;
  } cases[] = {
      {"3200", {0, 100, rlim_t{1} << 20, 2500001}},
      {"4800", {10000001}},
  };
  for (const Case& c : cases) {
    fs::remove(table_file());
    Result full = run({c.max_los});
    ASSERT_EQ(full.status, 1);
    const std::string complete = file();

    for (rlim_t limit : c.limits) {
      SCOPED_TRACE(std::string(c.max_los) + " limited to " + std::to_string(limit));
      ASSERT_LT(limit, complete.size());
      fs::remove(table_file());
      Result result = run({c.max_los}, {.file_size_limit = limit});
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.out, full.out);
      EXPECT_EQ(result.err, "vantrel: cannot write LOS.TDF: " +
                                std::string(std::strerror(EFBIG)) + "\n");
      EXPECT_EQ(file(), complete.substr(0, limit));
    }
  }
}

TEST_F(VantrelRun, WritesTheWholeFileWhateverBecomesOfTheConsole) {
  for (Console console : {Console::kClosed, Console::kBrokenPipe}) {
    SCOPED_TRACE(console == Console::kClosed ? "closed" : "broken pipe");
    fs::remove(table_file());
    Result result = run({"96"}, {.console = console, .file_size_limit = {}});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(file(), golden_96());
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

}  // namespace
