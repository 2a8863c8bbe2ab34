// vantrel MaxLos: writes the line-of-sight tables for sight distances up to
// MaxLos pixels to LOS.TDF in the current directory. The only code that
// prints: the usage text, the progress of each table and the one-line
// messages on standard error, and it maps the outcome to the exit status.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "file_sink.h"
#include "max_los.h"
#include "table_builder.h"
#include "table_format.h"
#include "table_stream.h"

namespace {

// A finished run and the usage text both end with 1, as scripts that call
// this tool expect; 2 tells that the file is missing or incomplete.
constexpr int kExitDone = 1;
constexpr int kExitFailed = 2;

constexpr char kUsageText[] =
    "LosTable calculator by Dovrek\n\nUsage: Vantrel MaxLos\n\n"
    "MaxLos    -    Maximum los in pixels for lostable";

void report_file_failure(std::string_view operation, int error_number) {
  std::fprintf(stderr, "vantrel: cannot %.*s %s: %s\n",
               static_cast<int>(operation.size()), operation.data(),
               vantrel::kTableFileName, std::strerror(error_number));
}

// A run ended by SIGINT, SIGTERM or SIGHUP removes the new file it was
// writing, says what became of LOS.TDF and ends by the same signal, so that
// the shell sees it. Only async-signal-safe calls.
extern "C" void end_interrupted_run(int signal_number) {
  static constexpr std::string_view kLeftAsItWas =
      "vantrel: interrupted; LOS.TDF left as it was\n";
  static constexpr std::string_view kIncomplete =
      "vantrel: interrupted; LOS.TDF is incomplete\n";
  static constexpr std::string_view kComplete = "vantrel: interrupted\n";
  std::string_view message = kLeftAsItWas;
  switch (vantrel::remove_unfinished_file()) {
    case vantrel::TableFileState::kLeftAsItWas:
      break;
    case vantrel::TableFileState::kIncomplete:
      message = kIncomplete;
      break;
    case vantrel::TableFileState::kComplete:
      message = kComplete;
      break;
  }
#ifdef _WIN32
  (void)_write(2, message.data(), static_cast<unsigned>(message.size()));
#else
  (void)!write(2, message.data(), message.size());
#endif
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Signals that the tool was started to ignore (nohup) stay ignored.
void end_interrupted_runs_cleanly() {
#ifdef SIGHUP
  constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
  constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
  for (const int signal_number : kSignals) {
    if (std::signal(signal_number, end_interrupted_run) == SIG_IGN) {
      std::signal(signal_number, SIG_IGN);
    }
  }
}

// Writes LOS.TDF with `tables` tables (none when zero or negative), printing
// the progress of each. Throws std::bad_alloc when memory runs out.
int write_tables(std::int32_t tables) {
  end_interrupted_runs_cleanly();
  // A second thread writes the file and formats much of it while this one
  // sweeps the tables; with one processor it would only take turns.
  const auto threads = std::thread::hardware_concurrency() == 1
                           ? vantrel::TableStream::Threads::kOne
                           : vantrel::TableStream::Threads::kTwo;
  vantrel::TableStream stream(report_file_failure, threads);
  vantrel::OpenedFile file = vantrel::open_file_sink(vantrel::kTableFileName);
  const bool opened = file.sink != nullptr;
  if (!opened) report_file_failure("open", file.error_number);
  stream.attach(std::move(file.sink));
  vantrel::write_header_block(stream, tables);
  {
    vantrel::TableBuilder builder(stream);
    // Each line is flushed at once, so that a long run shows its progress.
    for (std::int32_t radius = 1; radius <= tables; ++radius) {
      std::printf("\n\nCreating Table %d", static_cast<int>(radius));
      std::fflush(stdout);
      const std::int32_t line_count = builder.build(radius);
      std::printf("\n%d Lines", static_cast<int>(line_count));
      std::fflush(stdout);
    }
  }
  stream.close();
  return opened && !stream.failed() ? kExitDone : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader of the console that goes away must not cost the file.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  // Past a file-size limit a write should fail and be reported, not kill us.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  const vantrel::Request request = vantrel::read_request(argc < 2 ? nullptr : argv[1]);
  switch (request.kind) {
    case vantrel::Request::Kind::kUsage:
      std::fputs(kUsageText, stdout);
      std::fflush(stdout);
      return kExitDone;
    case vantrel::Request::Kind::kTooLarge:
      std::fprintf(stderr,
                   "vantrel: MaxLos %d is too large; the largest accepted "
                   "value is %d\n",
                   static_cast<int>(request.max_los),
                   static_cast<int>(vantrel::kLargestMaxLos));
      return kExitFailed;
    case vantrel::Request::Kind::kTables:
      break;
  }
  try {
    return write_tables(request.tables);
  } catch (const std::bad_alloc&) {
    // The run has dropped the new file it was writing, if any.
    const bool left_as_it_was =
        vantrel::table_file_state() == vantrel::TableFileState::kLeftAsItWas;
    std::fprintf(stderr, "vantrel: out of memory; %s %s\n", vantrel::kTableFileName,
                 left_as_it_was ? "left as it was" : "is incomplete");
    return kExitFailed;
  }
}
