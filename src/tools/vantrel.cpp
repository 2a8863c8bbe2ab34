// vantrel MaxLos: writes the line-of-sight tables for sight distances up to
// MaxLos pixels to LOS.TDF in the current directory. The code that prints:
// the usage text, the progress of each table and the one-line messages on
// standard error (but for an interrupted run's, system/interrupt.h), and it
// maps the outcome to the exit status.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "lib/shown_text.h"
#include "losfile/file_size.h"
#include "losfile/max_los.h"
#include "losfile/table_builder.h"
#include "losfile/table_format.h"
#include "losfile/table_stream.h"
#include "system/file_sink.h"
#include "system/interrupt.h"

namespace {

// A finished run and the usage text both end with 1, as scripts that call
// this tool expect; 2 tells that the file is missing or incomplete.
constexpr int kExitDone = 1;
constexpr int kExitFailed = 2;

constexpr char kUsageText[] =
    "LosTable calculator by Dovrek\n\nUsage: Vantrel MaxLos\n\n"
    "MaxLos    -    Maximum los in pixels for lostable";

// Settles the run's outcome for its report: nullopt when it was reported
// already (the first report is the one message, and an interrupt after it
// adds none); otherwise whether LOS.TDF is left incomplete.
std::optional<bool> settle_for_report() {
  const std::optional<vantrel::TableFileState> state = vantrel::settle();
  if (!state) return std::nullopt;
  return *state == vantrel::TableFileState::kWritingInPlace;
}

void report_file_failure(std::string_view operation, int error_number) {
  const std::optional<bool> incomplete = settle_for_report();
  if (!incomplete) return;
  // Where the old file is kept, the reason is the whole message.
  std::fprintf(stderr, "vantrel: cannot %.*s %s: %s%s\n",
               static_cast<int>(operation.size()), operation.data(),
               vantrel::kTableFileName, std::strerror(error_number),
               *incomplete ? "; LOS.TDF is incomplete" : "");
}

void report_open_failure(const vantrel::OpenedFile& file) {
  if (file.needed == 0) {
    report_file_failure(file.operation, file.error_number);
    return;
  }
  if (!settle_for_report()) return;
  std::string needed = vantrel::human_size(file.needed);
  std::string available = vantrel::human_size(file.available);
  // Rounded alike, the two would not show why the file does not fit.
  if (needed == available) {
    needed = std::to_string(file.needed) + " bytes";
    available = std::to_string(file.available) + " bytes";
  }
  std::fprintf(stderr, "vantrel: %s needs at least %s; the disk has %s free\n",
               vantrel::kTableFileName, needed.c_str(), available.c_str());
}

// Names the refused MaxLos as the user typed it, and what it reads as where
// that differs ("99999999999" wraps to 1215752191; "2000000px" stops at
// the letters), with bytes that are not printable escaped.
void report_too_large(const char* typed, std::int32_t max_los) {
  const std::string value = std::to_string(max_los);
  const std::string shown = vantrel::shown(typed);
  if (shown == value) {
    std::fprintf(stderr, "vantrel: MaxLos %s is too large", value.c_str());
  } else {
    std::fprintf(stderr, "vantrel: MaxLos \"%s\" reads as %s, which is too large",
                 shown.c_str(), value.c_str());
  }
  std::fprintf(stderr, "; the largest accepted value is %d\n",
               static_cast<int>(vantrel::kLargestMaxLos));
}

// Writes LOS.TDF with `tables` tables (none when zero or negative), printing
// the progress of each. Once the file cannot be written, the run stops.
// Throws std::bad_alloc when memory runs out.
int write_tables(std::int32_t tables) {
  vantrel::end_interrupted_runs_cleanly();
  // A second thread writes the file and formats much of it while this one
  // sweeps the tables; with one processor it would only take turns.
  const auto threads = std::thread::hardware_concurrency() == 1
                           ? vantrel::TableStream::Threads::kOne
                           : vantrel::TableStream::Threads::kTwo;
  // The worker's thread never runs the interrupt handler: it is started
  // with the interrupt signals blocked, and keeps them so, leaving them to
  // this thread, which owns the file.
  vantrel::TableStream stream(report_file_failure, threads,
                              [](vantrel::Worker::StartThread start) {
                                const vantrel::InterruptsBlocked blocked;
                                return start();
                              });
  vantrel::OpenedFile file = vantrel::open_file_sink(
      vantrel::kTableFileName,
      {vantrel::table_file_size_upper_bound(tables),
       [tables] { return vantrel::table_file_size_lower_bound(tables); }},
      vantrel::InterruptWatch::kTableFile);
  if (!file.sink) {
    report_open_failure(file);
    return kExitFailed;
  }
  stream.attach(std::move(file.sink));
  vantrel::write_header_block(stream, tables);
  {
    vantrel::TableBuilder builder(stream);
    // Each line is flushed at once, so that a long run shows its progress.
    for (std::int32_t radius = 1; radius <= tables && !stream.failed(); ++radius) {
      std::printf("\n\nCreating Table %d", static_cast<int>(radius));
      std::fflush(stdout);
      const std::int32_t line_count = builder.build(radius);
      if (stream.failed()) break;
      std::printf("\n%d Lines", static_cast<int>(line_count));
      std::fflush(stdout);
    }
  }
  stream.close();
  vantrel::settle();
  return stream.failed() ? kExitFailed : kExitDone;
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
      report_too_large(argv[1], request.max_los);
      return kExitFailed;
    case vantrel::Request::Kind::kTables:
      break;
  }
  try {
    return write_tables(request.tables);
  } catch (const std::bad_alloc&) {
    // The run has dropped the new file it was writing, if any.
    if (const std::optional<bool> incomplete = settle_for_report()) {
      std::fprintf(stderr, "vantrel: out of memory; %s %s\n", vantrel::kTableFileName,
                   *incomplete ? "is incomplete" : "left as it was");
    }
    return kExitFailed;
  }
}
