// Runs the built tools with the fault shim (fault_shim.cpp) preloaded and
// sweeps the faults a run can meet, one run for each: every allocation
// failing in turn, every call on the table file failing with the errors a
// system gives, and SIGINT, SIGTERM and SIGHUP arriving at each of those
// calls; then the calls that only a failure makes the run call. Every run
// must keep the tool's promise: the complete new LOS.TDF and status 1, or
// the old file exactly as it was and status 2 (or death by the signal
// sent), one line on standard error when it fails, and nothing left beside
// the file; where the directory refuses the new file and LOS.TDF is written
// in place, what reached the disk. Every broken promise is collected and
// all are reported at the end.
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "run_program.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

using vantrel::read_file;
using vantrel::Result;
using vantrel::RunOptions;

// 100 tables, 3.3 MB: past the first 1 MiB buffer the run goes on with two
// threads, and the last tables are formatted partly on the second.
constexpr char kMaxLos[] = "3200";
constexpr char kOldTables[] = "[TABLEINFO]\r\n{\r\nnumtables=-1;\r\n}";
// Readable by the group too: the new file is made for its owner alone and
// then given these bits, a step of its own to fail.
constexpr fs::perms kOldPerms =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
// An extended attribute of the old file, where the file system keeps them:
// carried over to the new file, a step of its own to fail.
constexpr char kOldAttribute[] = "user.vantrel.kept";
constexpr char kOldAttributeValue[] = "old";
// A run takes about 10 ms; one still going after this is stuck.
constexpr std::chrono::seconds kTimeLimit{5};
constexpr int kSweepThreads = 2;

#ifdef VANTREL_FAULT_SHIM
constexpr const char* kFaultShim = VANTREL_FAULT_SHIM;
#else
constexpr const char* kFaultShim = nullptr;  // not built here
#endif

constexpr char kLeftAsItWas[] = "vantrel: interrupted; LOS.TDF left as it was\n";
constexpr char kInterruptedComplete[] = "vantrel: interrupted\n";
constexpr char kInterruptedIncomplete[] = "vantrel: interrupted; LOS.TDF is incomplete\n";

struct Named {
  const char* name;
  int value;
};
constexpr Named kErrors[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},         {"EACCES", EACCES},
                             {"EPERM", EPERM},   {"ENOTSUP", ENOTSUP}};
constexpr Named kSignals[] = {
    {"SIGINT", SIGINT},   {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP},   {"SIGSEGV", SIGSEGV},
    {"SIGABRT", SIGABRT}, {"SIGBUS", SIGBUS},   {"SIGILL", SIGILL},   {"SIGFPE", SIGFPE},
    {"SIGKILL", SIGKILL}, {"SIGPIPE", SIGPIPE}, {"SIGXFSZ", SIGXFSZ}, {"SIGTRAP", SIGTRAP}};
// The signals that stop a run cleanly.
constexpr const char* kStoppingSignals[] = {"SIGINT", "SIGTERM", "SIGHUP"};

int value_of(const Named* names, std::size_t count, const std::string& name) {
  for (std::size_t n = 0; n < count; ++n) {
    if (name == names[n].name) return names[n].value;
  }
  return 0;
}
int error_of(const std::string& effect) { return value_of(kErrors, std::size(kErrors), effect); }
int signal_of(const std::string& effect) {
  return value_of(kSignals, std::size(kSignals), effect);
}

std::string signal_name(int signal_number) {
  for (const Named& named : kSignals) {
    if (named.value == signal_number) return named.name;
  }
  return "signal " + std::to_string(signal_number);
}

// The calls on the table file that are failed, and the errors a system
// gives for each where it matters. unlink is not called by a run that goes
// well; it is failed where a failure makes the run call it.
struct CallErrors {
  const char* kind;
  std::vector<const char*> errors;
};
const CallErrors kCallErrors[] = {
    {"open", {"EACCES", "EPERM"}},   {"write", {"ENOSPC", "EIO"}},
    {"fallocate", {"ENOSPC"}},       {"fchmod", {"EACCES", "EPERM"}},
    {"fchown", {"EACCES", "EPERM"}}, {"fsetxattr", {"ENOTSUP", "EPERM"}},
    {"close", {"EIO"}},
    {"ftruncate", {"EIO"}},          {"rename", {"EACCES", "EPERM"}},
    {"unlink", {"EACCES", "EPERM"}},
};
constexpr const char* kFileCalls[] = {"open",      "write", "fallocate", "fchmod",
                                      "fchown",    "fsetxattr", "close", "ftruncate",
                                      "rename",    "unlink"};

// One call made to fail: the Nth allocation, or the Nth call of a kind on
// the table file with an error or a signal.
struct Fault {
  std::string kind;
  long call = 0;
  std::string effect;   // an error or signal name; none for an allocation
  bool onward = false;  // every later call of the kind fails too
};

// The faults of one run; the last is the one swept.
using Faults = std::vector<Fault>;

std::string shim_setting(const Faults& faults) {
  std::string setting;
  for (const Fault& fault : faults) {
    if (!setting.empty()) setting += ',';
    setting += fault.kind + ':' + std::to_string(fault.call) + (fault.onward ? "+" : "");
    if (!fault.effect.empty()) setting += ':' + fault.effect;
  }
  return setting;
}

// "malloc #12 fails", "malloc #12 and all after fail", "write #2 fails with
// ENOSPC", "SIGTERM at write #2"; `calls` stands for the call number.
std::string describe(const Fault& fault, const std::string& calls) {
  if (fault.onward) return fault.kind + " #" + calls + " and all after fail";
  if (fault.effect.empty()) return fault.kind + " #" + calls + " fails";
  if (signal_of(fault.effect) != 0) return fault.effect + " at " + fault.kind + " #" + calls;
  return fault.kind + " #" + calls + " fails with " + fault.effect;
}

// Of the failed runs: the earlier faults, then the swept one.
std::string describe(const Faults& faults, const std::string& last_calls) {
  std::string text;
  for (std::size_t n = 0; n + 1 < faults.size(); ++n) {
    text += describe(faults[n], std::to_string(faults[n].call)) + ", then ";
  }
  return text + describe(faults.back(), last_calls);
}

// How many calls of each kind the shim counted.
using Counts = std::map<std::string, long>;

Counts read_counts(const fs::path& path) {
  Counts counts;
  std::istringstream lines(read_file(path));
  std::string kind;
  for (long count; lines >> kind >> count;) counts[kind] = count;
  return counts;
}

long count_of(const Counts& counts, const std::string& kind) {
  const auto found = counts.find(kind);
  return found == counts.end() ? 0 : found->second;
}

// Adds to `broken` that the shim did not make a fault the run reached: a
// sweep that fails nothing would prove nothing.
void check_faults_taken(const Faults& faults, const Counts& counts, std::string& broken) {
  if (counts.empty()) return;  // the run did not live to its end
  long reached = 0;
  for (const Fault& fault : faults) {
    const long made = count_of(counts, fault.kind);
    if (made >= fault.call) reached += fault.onward ? made - fault.call + 1 : 1;
  }
  if (count_of(counts, "taken") < reached) {
    broken += std::string(broken.empty() ? "" : "; ") + "the shim did not make the fault";
  }
}

std::string quoted(std::string text) {
  constexpr std::size_t kLongest = 160;
  if (text.size() > kLongest) text = text.substr(0, kLongest) + "...";
  std::string out = "\"";
  for (const char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out + "\"";
}

std::string octal(fs::perms perms) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(perms));
  return text;
}

// What a sweep learns from one run: what went wrong, if anything, and what
// the shim counted (when the run lived to its end).
struct Finding {
  std::string broken;  // empty when every promise was kept
  Counts counts;
  int status = -1;
};

// Runs `count` cases on kSweepThreads threads. Each thread has a work
// directory of its own, with the shim's counts file beside it; `run_case`
// is given the case's index, the directory and the counts file.
template <class RunCase>
void run_in_parallel(std::size_t count, RunCase run_case) {
  std::atomic<std::size_t> next{0};
  auto serve = [&] {
    vantrel::TempDir temp("fault-sweep");
    const fs::path dir = temp.path() / "work";
    fs::create_directory(dir);
    for (std::size_t n; (n = next++) < count;) run_case(n, dir, temp.path() / "counts");
  };
  std::vector<std::thread> threads;
  for (int n = 0; n < kSweepThreads; ++n) threads.emplace_back(serve);
  for (std::thread& thread : threads) thread.join();
}

// A run of the tool with `faults`, as the shim is told of them.
RunOptions options_with(const Faults& faults, const fs::path& counts) {
  RunOptions options;
  options.environment = {std::string("LD_PRELOAD=") + kFaultShim,
                         "VANTREL_FAULT=" + shim_setting(faults),
                         "VANTREL_FAULT_COUNTS=" + counts.string()};
  // The mode of a new file that nobody sets is then 0644, wider than the
  // old file's.
  options.umask = 022;
  // A crash is a finding, not a core file in the work directory.
  options.core_size_limit = 0;
  options.time_limit = kTimeLimit;
  return options;
}

// What a run with nothing failing gives.
struct Reference {
  std::string progress;
  std::string tables;
  bool attribute = false;  // the old file has kOldAttribute, which LOS.TDF keeps
};

// True when `file` holds kOldAttribute with its value.
bool holds_old_attribute(const fs::path& file) {
  char value[sizeof kOldAttributeValue] = {};
  const ssize_t size = getxattr(file.c_str(), kOldAttribute, value, sizeof value);
  return size == static_cast<ssize_t>(std::strlen(kOldAttributeValue)) &&
         std::strcmp(value, kOldAttributeValue) == 0;
}

// True when `faults` refuse the new file beside LOS.TDF (the first open),
// as a directory that allows no new file would, or refuse it the old
// file's owner (the first fchown): the run then writes LOS.TDF in place,
// and a later failure leaves what reached the disk.
bool writes_in_place(const Faults& faults) {
  return !faults.empty() && (faults.front().kind == "open" || faults.front().kind == "fchown") &&
         faults.front().call == 1 && error_of(faults.front().effect) != 0;
}

// The broken promises of a vantrel run with `faults`, which found the old
// file in `dir` and ended with `result`; empty when it kept them all.
std::string broken_promises(const Faults& faults, const Result& result, const fs::path& dir,
                            const Reference& reference) {
  std::vector<std::string> broken;
  const fs::path table = dir / "LOS.TDF";
  std::error_code error;
  const fs::file_status status = fs::symlink_status(table, error);
  const bool exists = fs::exists(status);
  const fs::perms perms = status.permissions() & fs::perms::mask;
  const std::string content = exists ? read_file(table) : "";
  const bool wider = (perms & ~kOldPerms) != fs::perms::none;
  const bool old_file = exists && content == kOldTables && perms == kOldPerms;
  const bool new_file = exists && content == reference.tables && !wider;
  // Written in place and stopped part-way: an exact prefix.
  const bool part_file = exists && !wider && content.size() < reference.tables.size() &&
                         reference.tables.compare(0, content.size(), content) == 0;
  std::string found = "absent";
  if (exists) {
    found = content == kOldTables            ? "the old file"
            : content == reference.tables ? "the complete new file"
            : part_file                   ? "the first " + std::to_string(content.size()) +
                                  " bytes of the new file"
                                          : std::to_string(content.size()) +
                                  " bytes, neither the old file nor the new";
    found += " with mode " + octal(perms);
  }
  const bool in_place = writes_in_place(faults);

  int sent = 0;
  std::vector<int> errors;
  bool allocation_failed = false;
  bool unlink_failed = false;
  for (const Fault& fault : faults) {
    if (signal_of(fault.effect) != 0) sent = signal_of(fault.effect);
    if (error_of(fault.effect) != 0) errors.push_back(error_of(fault.effect));
    allocation_failed = allocation_failed || fault.kind == "malloc";
    unlink_failed = unlink_failed || (fault.kind == "unlink" && error_of(fault.effect) != 0);
  }

  const std::string& err = result.err;
  const bool one_line = std::count(err.begin(), err.end(), '\n') == 1 && err.back() == '\n';
  if (result.timed_out) {
    broken.push_back("still running after " + std::to_string(kTimeLimit.count()) +
                     " s, killed");
  } else if (result.signal != 0 && result.signal != sent) {
    broken.push_back("ended by " + signal_name(result.signal) + ", stderr " + quoted(err) +
                     ", LOS.TDF " + found);
  } else if (result.signal != 0) {
    // The message must tell what became of the file. Written in place, the
    // bytes may all be there before the file is closed: "incomplete" is
    // then cautious, not false.
    const bool told = old_file    ? err == kLeftAsItWas
                      : new_file  ? err == kInterruptedComplete ||
                                       (in_place && err == kInterruptedIncomplete)
                      : part_file ? in_place && err == kInterruptedIncomplete
                                  : false;
    if (!told) {
      broken.push_back("stopped by " + signal_name(sent) + " with LOS.TDF " + found +
                       ", said " + quoted(err));
    }
  } else if (result.status == 1) {
    if (!new_file) {
      broken.push_back("status 1 with LOS.TDF " + found + " (old mode " + octal(kOldPerms) +
                       ")");
    }
    if (!err.empty()) broken.push_back("status 1 but said " + quoted(err));
    if (result.out != reference.progress) broken.push_back("status 1 without the full progress");
  } else if (result.status == 2) {
    if (!old_file && !(in_place && (new_file || part_file))) {
      broken.push_back("status 2 with LOS.TDF " + found);
    }
    // The message must name what went wrong, and say nothing false of the
    // file.
    bool names_the_fault = allocation_failed && err.find("out of memory") != std::string::npos;
    for (const int error_number : errors) {
      const std::string reason = std::string(": ") + std::strerror(error_number);
      for (const char* end : {"\n", "; LOS.TDF is incomplete\n"}) {
        names_the_fault = names_the_fault || err.find(reason + end) != std::string::npos;
      }
    }
    const bool false_of_the_file =
        err.find(old_file ? "incomplete" : "left as it was") != std::string::npos;
    if (!one_line) {
      broken.push_back("status 2 with " +
                       std::to_string(std::count(err.begin(), err.end(), '\n')) +
                       " lines on stderr: " + quoted(err));
    } else if (err.rfind("vantrel: ", 0) != 0 || !names_the_fault || false_of_the_file) {
      broken.push_back("status 2 and a false message: " + quoted(err));
    }
  } else {
    broken.push_back("exit status " + std::to_string(result.status) + ", stderr " +
                     quoted(err));
  }
  if (exists && reference.attribute && !holds_old_attribute(table)) {
    broken.push_back("LOS.TDF " + found + " without the old file's " + kOldAttribute);
  }
  if (reference.progress.compare(0, result.out.size(), result.out) != 0) {
    broken.push_back("console text that is not the progress: " + quoted(result.out));
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "LOS.TDF") continue;
    // Where the system refuses to remove the new file, nothing can.
    if (unlink_failed && name.rfind("LOS.TDF.new-", 0) == 0) continue;
    broken.push_back("left " +
                     (name.rfind("LOS.TDF.new-", 0) == 0 ? std::string("LOS.TDF.new-<pid>")
                                                          : name) +
                     " beside LOS.TDF");
  }
  std::string text;
  for (const std::string& item : broken) text += (text.empty() ? "" : "; ") + item;
  return text;
}

// The failed runs, one line for each stretch of neighbouring calls of one
// kind that broke the promise in the same way.
std::string report(const std::vector<Faults>& cases, const std::vector<Finding>& findings) {
  std::string text;
  std::size_t failed = 0;
  for (std::size_t n = 0; n < cases.size(); ++n) {
    if (findings[n].broken.empty()) continue;
    std::size_t last = n;
    auto same_stretch = [&](std::size_t next) {
      const Faults& a = cases[last];
      const Faults& b = cases[next];
      if (a.size() != b.size() || findings[next].broken != findings[n].broken) return false;
      for (std::size_t k = 0; k + 1 < a.size(); ++k) {
        if (shim_setting({a[k]}) != shim_setting({b[k]})) return false;
      }
      return a.back().kind == b.back().kind && a.back().effect == b.back().effect &&
             a.back().onward == b.back().onward && b.back().call == a.back().call + 1;
    };
    while (last + 1 < cases.size() && same_stretch(last + 1)) ++last;
    const long first_call = cases[n].back().call;
    const long last_call = cases[last].back().call;
    const std::string calls = first_call == last_call ? std::to_string(first_call)
                                                      : std::to_string(first_call) + " to #" +
                                                            std::to_string(last_call);
    text += "  " + describe(cases[n], calls) + ": " + findings[n].broken + "\n";
    failed += last - n + 1;
    n = last;
  }
  if (failed == 0) return "";
  return std::to_string(failed) + " of " + std::to_string(cases.size()) +
         " runs broke the promise:\n" + text;
}

class FaultSweep : public testing::Test {
 protected:
  void SetUp() override {
    if (kFaultShim == nullptr) {
      GTEST_SKIP() << "the fault shim is built on Linux alone, and not beside a sanitizer's "
                      "runtime";
    }
  }
};

TEST_F(FaultSweep, EveryFaultLeavesTheOldFileOrTheCompleteNewOne) {
  vantrel::TempDir temp("fault-reference");
  const fs::path counts_file = temp.path() / "counts";
  // True when the old file has kOldAttribute too.
  auto lay_out_old_file = [](const fs::path& dir) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      fs::remove_all(entry.path());
    }
    const fs::path table = dir / "LOS.TDF";
    std::ofstream(table, std::ios::binary) << kOldTables;
    fs::permissions(table, kOldPerms);
    return setxattr(table.c_str(), kOldAttribute, kOldAttributeValue,
                    std::strlen(kOldAttributeValue), 0) == 0;
  };

  // The shim itself must change nothing.
  const Result plain = vantrel::run_program(VANTREL_BINARY, {kMaxLos}, temp.path());
  ASSERT_EQ(plain.status, 1);
  Reference reference{plain.out, read_file(temp.path() / "LOS.TDF")};
  reference.attribute = lay_out_old_file(temp.path());
  const Result counted = vantrel::run_program(VANTREL_BINARY, {kMaxLos}, temp.path(),
                                              options_with({}, counts_file));
  ASSERT_EQ(counted.status, 1) << counted.err;
  ASSERT_EQ(counted.out, reference.progress);
  ASSERT_EQ(read_file(temp.path() / "LOS.TDF"), reference.tables);
  const Counts counts = read_counts(counts_file);
  for (const char* kind : {"malloc", "open", "write", "fchmod", "close", "rename"}) {
    ASSERT_GT(count_of(counts, kind), 0) << kind;
  }
  ASSERT_GE(counts.at("write"), 3) << "the run should write several buffers";
  if (reference.attribute) {
    ASSERT_GT(count_of(counts, "fsetxattr"), 0);
    ASSERT_TRUE(holds_old_attribute(temp.path() / "LOS.TDF"));
  }

  std::vector<Faults> cases;
  for (long call = 1; call <= count_of(counts, "malloc"); ++call) {
    cases.push_back({{"malloc", call, ""}});
  }
  for (const CallErrors& kind : kCallErrors) {
    for (long call = 1; call <= count_of(counts, kind.kind); ++call) {
      for (const char* error : kind.errors) cases.push_back({{kind.kind, call, error}});
    }
  }
  for (const char* kind : kFileCalls) {
    for (long call = 1; call <= count_of(counts, kind); ++call) {
      for (const char* signal : kStoppingSignals) cases.push_back({{kind, call, signal}});
    }
  }

  std::vector<Finding> findings;
  auto sweep = [&](std::size_t from) {
    findings.resize(cases.size());
    run_in_parallel(cases.size() - from, [&](std::size_t n, const fs::path& dir,
                                             const fs::path& counts_path) {
      const Faults& faults = cases[from + n];
      lay_out_old_file(dir);
      fs::remove(counts_path);
      const Result result = vantrel::run_program(VANTREL_BINARY, {kMaxLos}, dir,
                                                 options_with(faults, counts_path));
      Finding& finding = findings[from + n];
      finding = {broken_promises(faults, result, dir, reference), read_counts(counts_path),
                 result.status};
      check_faults_taken(faults, finding.counts, finding.broken);
    });
  };
  sweep(0);

  // A failed call may make the run call more than a good run does: open
  // the file in place, remove the new file. Those calls fail in turn too.
  // Where a run gets over a failed allocation (it goes on with one thread),
  // every allocation from there on fails too, as when memory has run out.
  // Where the new file is refused (open #1 or fchown #1 fails) and LOS.TDF
  // is written in place, every later call of that run fails, or is
  // stopped, in turn.
  const std::size_t single = cases.size();
  for (std::size_t n = 0; n < single; ++n) {
    const Fault fault = cases[n].back();
    const Counts& made = findings[n].counts;
    if (fault.kind == "malloc" && findings[n].status == 1) {
      cases.push_back({{"malloc", fault.call, "", true}});
    }
    if (error_of(fault.effect) == 0) continue;
    const bool in_place = writes_in_place({fault}) && fault.effect == "EACCES";
    for (const CallErrors& kind : kCallErrors) {
      // The in-place run's calls: those after the refused one.
      const long first = in_place ? (kind.kind == fault.kind ? fault.call + 1 : 1)
                                  : count_of(counts, kind.kind) + 1;
      for (long call = first; call <= count_of(made, kind.kind); ++call) {
        for (const char* error : kind.errors) {
          cases.push_back({fault, {kind.kind, call, error}});
        }
        if (!in_place) continue;
        for (const char* signal : kStoppingSignals) {
          cases.push_back({fault, {kind.kind, call, signal}});
        }
      }
    }
  }
  sweep(single);

  EXPECT_EQ(report(cases, findings), "");
}

TEST_F(FaultSweep, CheckGivesItsVerdictOrOneLineWhenAnyAllocationFails) {
  vantrel::TempDir temp("fault-check");
  ASSERT_EQ(vantrel::run_program(VANTREL_BINARY, {kMaxLos}, temp.path()).status, 1);
  // The right file, and one with a byte changed in its last table, whose
  // report takes finding the place of the difference.
  std::string damaged = vantrel::read_file(temp.path() / "LOS.TDF");
  damaged[damaged.rfind(",1,") + 1] = '2';
  std::ofstream(temp.path() / "damaged.tdf", std::ios::binary) << damaged;
  struct File {
    const char* name;
    int status;
  } files[] = {{"LOS.TDF", 0}, {"damaged.tdf", 1}};

  for (const File& file : files) {
    SCOPED_TRACE(file.name);
    const std::vector<std::string> args{"check", (temp.path() / file.name).string()};
    const fs::path counts_file = temp.path() / "counts";
    const Result counted = vantrel::run_program(VANTREL_INSPECT_BINARY, args, temp.path(),
                                                options_with({}, counts_file));
    ASSERT_EQ(counted.status, file.status) << counted.err;
    ASSERT_NE(counted.out.find(file.status == 0 ? "exactly as vantrel" : "differs"),
              std::string::npos)
        << counted.out;
    const long allocations = count_of(read_counts(counts_file), "malloc");
    ASSERT_GT(allocations, 0);

    std::vector<Faults> cases;
    for (long call = 1; call <= allocations; ++call) cases.push_back({{"malloc", call, ""}});
    std::vector<Finding> findings(cases.size());
    run_in_parallel(cases.size(), [&](std::size_t n, const fs::path& dir,
                                      const fs::path& counts_path) {
      fs::remove(counts_path);
      const Result result = vantrel::run_program(VANTREL_INSPECT_BINARY, args, dir,
                                                 options_with(cases[n], counts_path));
      const std::size_t lines = static_cast<std::size_t>(
          std::count(result.err.begin(), result.err.end(), '\n'));
      std::string& broken = findings[n].broken;
      if (result.timed_out) {
        broken = "still running after " + std::to_string(kTimeLimit.count()) + " s, killed";
      } else if (result.signal != 0) {
        broken = "ended by " + signal_name(result.signal) + ", stderr " + quoted(result.err);
      } else if (result.status == file.status) {
        if (result.out != counted.out || !result.err.empty()) {
          broken = "status " + std::to_string(result.status) + " but said " +
                   quoted(result.out) + " and " + quoted(result.err);
        }
      } else if (result.status == 2) {
        if (lines != 1 || result.err.back() != '\n' ||
            result.err.rfind("vantrel-inspect: ", 0) != 0 || !result.out.empty()) {
          broken = "status 2 with stdout " + quoted(result.out) + ", stderr " +
                   quoted(result.err);
        }
      } else {
        broken = "exit status " + std::to_string(result.status) + ", stdout " +
                 quoted(result.out) + ", stderr " + quoted(result.err);
      }
      findings[n].counts = read_counts(counts_path);
      check_faults_taken(cases[n], findings[n].counts, broken);
    });
    EXPECT_EQ(report(cases, findings), "");
  }
}

// vantrel-inspect reads its command line with a library that allocates, and
// so do its help, its messages and its pictures. Wherever memory runs out,
// a run gives its usual answer, or says "out of memory" and nothing else
// with status 2: never another message for it, a crash or a dump.
TEST_F(FaultSweep, InspectGivesItsAnswerOrSaysOutOfMemoryWhenAnyAllocationFails) {
  vantrel::TempDir temp("fault-inspect");
  ASSERT_EQ(vantrel::run_program(VANTREL_BINARY, {"96"}, temp.path()).status, 1);
  const std::string file = (temp.path() / "LOS.TDF").string();
  const std::vector<std::string> command_lines[] = {
      {"--help"},
      {"draw", "-h"},
      {"--version"},
      {"frobnicate"},
      {"draw", file, "--table", "12x"},
      {"draw", file, "--table"},
      {"draw", file, "--table", "3", "--frob"},
      {"draw", file, "--table", "3", "-o", "-"},
  };
  constexpr char kOutOfMemory[] = "vantrel-inspect: out of memory\n";

  // What each command line gives with nothing failing, and how many
  // allocations it makes.
  const fs::path counts_file = temp.path() / "counts";
  std::vector<Result> references;
  std::vector<std::pair<std::size_t, long>> cases;  // a command line, an allocation
  for (std::size_t n = 0; n < std::size(command_lines); ++n) {
    fs::remove(counts_file);
    references.push_back(vantrel::run_program(VANTREL_INSPECT_BINARY, command_lines[n],
                                               temp.path(), options_with({}, counts_file)));
    const long allocations = count_of(read_counts(counts_file), "malloc");
    ASSERT_GT(allocations, 0) << testing::PrintToString(command_lines[n]);
    for (long call = 1; call <= allocations; ++call) cases.emplace_back(n, call);
  }

  std::vector<std::string> broken(cases.size());
  run_in_parallel(cases.size(), [&](std::size_t n, const fs::path& dir,
                                    const fs::path& counts_path) {
    const auto [line, call] = cases[n];
    const Result& reference = references[line];
    fs::remove(counts_path);
    const Result result = vantrel::run_program(VANTREL_INSPECT_BINARY, command_lines[line], dir,
                                               options_with({{"malloc", call, ""}}, counts_path));
    std::string& finding = broken[n];
    if (result.timed_out) {
      finding = "still running after " + std::to_string(kTimeLimit.count()) + " s, killed";
    } else if (result.signal != 0) {
      finding = "ended by " + signal_name(result.signal) + ", stderr " + quoted(result.err);
    } else if (result.status == reference.status && result.out == reference.out &&
               result.err == reference.err) {
      // Its usual answer.
    } else if (result.status != 2 || result.err != kOutOfMemory ||
               reference.out.compare(0, result.out.size(), result.out) != 0) {
      finding = "status " + std::to_string(result.status) + ", stdout " + quoted(result.out) +
                ", stderr " + quoted(result.err);
    }
    check_faults_taken({{"malloc", call, ""}}, read_counts(counts_path), finding);
  });
  // One line for each stretch of neighbouring allocations of a command
  // line that broke the promise in the same way.
  std::string text;
  for (std::size_t n = 0; n < cases.size(); ++n) {
    if (broken[n].empty()) continue;
    std::size_t last = n;
    while (last + 1 < cases.size() && cases[last + 1].first == cases[n].first &&
           broken[last + 1] == broken[n]) {
      ++last;
    }
    const std::string calls = std::to_string(cases[n].second) +
                              (last == n ? "" : " to #" + std::to_string(cases[last].second));
    text += "  " + testing::PrintToString(command_lines[cases[n].first]) + ", malloc #" +
            calls + " fails: " + broken[n] + "\n";
    n = last;
  }
  EXPECT_EQ(text, "");
}

}  // namespace
