// vantrel-inspect: tells whether a table file is exactly what vantrel
// writes, and draws one of its tables as an SVG picture. The only code of
// this tool that prints; it maps each outcome to its exit status.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "byte_source.h"
#include "file_sink.h"
#include "max_los.h"
#include "table_check.h"
#include "table_picture.h"

namespace {

// 0: the file is right (check) or the picture is written (draw); 1: the
// file differs or the table cannot be drawn from it; 2: the file cannot be
// read, the picture cannot be written, or the command line is wrong.
constexpr int kExitGood = 0;
constexpr int kExitDiffers = 1;
constexpr int kExitTrouble = 2;

constexpr char kUsageText[] =
    "usage: vantrel-inspect check [FILE]\n"
    "       vantrel-inspect draw [FILE] --table K [--line J] [-o OUT.svg]\n"
    "\n"
    "check  tells whether FILE (default LOS.TDF) is exactly what vantrel writes\n"
    "       for the table count in its header, or where it first differs\n"
    "draw   draws table K of FILE as an SVG picture (default tableK.svg);\n"
    "       --line J highlights its line J\n";

int usage_error(std::string_view message) {
  std::fprintf(stderr, "vantrel-inspect: %.*s\n\n%s", static_cast<int>(message.size()),
               message.data(), kUsageText);
  return kExitTrouble;
}

int cannot_read(const std::string& path, int error_number) {
  std::fprintf(stderr, "vantrel-inspect: cannot read %s: %s\n", path.c_str(),
               std::strerror(error_number));
  return kExitTrouble;
}

// A whole number from `first` to `last`, or false.
bool parse_number(std::string_view text, std::int64_t first, std::int64_t last,
                  std::int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= first &&
         value <= last;
}

int check(const std::vector<std::string>& args) {
  if (args.size() > 1) return usage_error("check takes one FILE at most");
  const std::string path = args.empty() ? vantrel::kTableFileName : args[0];
  vantrel::OpenedSource file = vantrel::open_file_source(path.c_str());
  if (!file.source) return cannot_read(path, file.error_number);
  const vantrel::CheckResult result = vantrel::check_table_file(*file.source);
  switch (result.verdict) {
    case vantrel::CheckResult::Verdict::kExact:
      std::printf("%s: %d %s, exactly as vantrel %s writes them\n", path.c_str(),
                  static_cast<int>(result.tables), result.tables == 1 ? "table" : "tables",
                  vantrel::max_los_for(result.tables).c_str());
      return kExitGood;
    case vantrel::CheckResult::Verdict::kDiffers:
      std::printf("%s: %s\n", path.c_str(), result.problem.c_str());
      return kExitDiffers;
    case vantrel::CheckResult::Verdict::kUnreadable:
      break;
  }
  return cannot_read(path, result.error_number);
}

int draw(const std::vector<std::string>& args) {
  std::string path = vantrel::kTableFileName;
  std::string output;
  std::int64_t radius = 0;
  std::int64_t line = 0;
  bool have_path = false;
  for (std::size_t n = 0; n < args.size(); ++n) {
    const std::string& arg = args[n];
    const bool has_value = n + 1 < args.size();
    if (arg == "--table" || arg == "--line" || arg == "-o") {
      if (!has_value) return usage_error(arg + " needs a value");
      const std::string& value = args[++n];
      if (arg == "-o") {
        output = value;
      } else if (arg == "--table" &&
                 !parse_number(value, 1, vantrel::kLargestDrawnRadius, radius)) {
        return usage_error("--table takes a table number from 1 to " +
                           std::to_string(vantrel::kLargestDrawnRadius));
      } else if (arg == "--line" && !parse_number(value, 1, 1 << 30, line)) {
        return usage_error("--line takes a line number from 1");
      }
    } else if (!have_path && (arg.empty() || arg[0] != '-')) {
      path = arg;
      have_path = true;
    } else {
      return usage_error("unexpected argument '" + arg + "'");
    }
  }
  if (radius == 0) return usage_error("draw needs --table K");
  if (output.empty()) output = "table" + std::to_string(radius) + ".svg";

  vantrel::OpenedSource file = vantrel::open_file_source(path.c_str());
  if (!file.source) return cannot_read(path, file.error_number);
  vantrel::TableLines table;
  const vantrel::ReadTableResult read =
      vantrel::read_table(*file.source, static_cast<std::int32_t>(radius), table);
  switch (read.outcome) {
    case vantrel::ReadTableResult::Outcome::kRead:
      break;
    case vantrel::ReadTableResult::Outcome::kMissing:
      std::fprintf(stderr, "vantrel-inspect: %s has no Table %d (it has %lld tables)\n",
                   path.c_str(), static_cast<int>(radius),
                   static_cast<long long>(read.tables_seen));
      return kExitDiffers;
    case vantrel::ReadTableResult::Outcome::kMalformed:
      std::fprintf(stderr, "vantrel-inspect: %s: %s\n", path.c_str(), read.problem.c_str());
      return kExitDiffers;
    case vantrel::ReadTableResult::Outcome::kUnreadable:
      return cannot_read(path, read.error_number);
  }
  if (line != 0 && std::none_of(table.lines.begin(), table.lines.end(),
                                [&](const vantrel::TableLine& l) { return l.number == line; })) {
    std::fprintf(stderr, "vantrel-inspect: Table %d of %s has %zu lines, no line %lld\n",
                 static_cast<int>(radius), path.c_str(), table.lines.size(),
                 static_cast<long long>(line));
    return kExitDiffers;
  }
  for (const std::string& warning : vantrel::table_warnings(table)) {
    std::fprintf(stderr, "vantrel-inspect: warning: %s\n", warning.c_str());
  }
  vantrel::PictureOptions picture;
  picture.file_name = path;
  picture.highlight = line;
  const std::string svg = vantrel::draw_table(table, picture);
  // As vantrel writes its file: a new file beside OUT that replaces it
  // once complete, or OUT itself where it is a device or has other names;
  // a failure removes only what this run made.
  vantrel::OpenedFile out = vantrel::open_file_sink(output.c_str());
  std::string_view operation = out.operation;
  int error_number = out.error_number;
  if (out.sink) {
    operation = "write";
    error_number = out.sink->write(svg.data(), svg.size());
    if (error_number == 0) {
      const vantrel::CloseFailure closed = out.sink->close();
      operation = closed.operation;
      error_number = closed.error_number;
    }
  }
  if (error_number != 0) {
    std::fprintf(stderr, "vantrel-inspect: cannot %.*s %s: %s\n",
                 static_cast<int>(operation.size()), operation.data(), output.c_str(),
                 std::strerror(error_number));
    return kExitTrouble;
  }
  std::printf("%s: Table %d, %zu lines\n", output.c_str(), static_cast<int>(radius),
              table.lines.size());
  return kExitGood;
}

int run(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
  const std::string_view command = argc < 2 ? "" : argv[1];
  if (command == "check") return check(args);
  if (command == "draw") return draw(args);
  if (command == "--help" || command == "-h") {
    std::fputs(kUsageText, stdout);
    return kExitGood;
  }
  return usage_error(command.empty() ? "no command given" : "unknown command '" + std::string(command) + "'");
}

}  // namespace

// Memory so short that even the exception for it cannot be had.
[[noreturn]] void end_on_terminate() {
  std::fputs("vantrel-inspect: out of memory\n", stderr);
  std::_Exit(kExitTrouble);
}

int main(int argc, char** argv) {
  std::set_terminate(end_on_terminate);
  int status = kExitTrouble;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("vantrel-inspect: out of memory\n", stderr);
    return kExitTrouble;
  }
  // A verdict that did not reach its reader is no verdict.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "vantrel-inspect: cannot write to standard output: %s\n",
                 std::strerror(errno));
    return kExitTrouble;
  }
  return status;
}
