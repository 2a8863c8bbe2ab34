// vantrel-inspect: tells whether a table file is exactly what vantrel
// writes, draws one of its tables as an SVG picture, and draws what a
// viewer sees on a text map. The only code of this tool that prints; it
// maps each outcome to its exit status.
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>

#include "inspect/svg_text.h"
#include "inspect/table_check.h"
#include "inspect/table_picture.h"
#include "inspect/view_picture.h"
#include "lib/cell.h"
#include "lib/shown_text.h"
#include "lib/table/byte_source.h"
#include "losfile/max_los.h"
#include "losfile/table_format.h"
#include "system/file_sink.h"
#include "vantrel/field_of_view.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"

namespace {

// One rule for every command. 0: the file is right (check), the picture is
// written (draw, fov), or help or the version was asked for; 1: the input
// cannot be used as asked (a file that differs, a table or map that is not
// one, a table or line it does not have, a viewer or window not on the map,
// a picture too large to draw); 2: the command line cannot be read, or the
// system failed (reading, writing, memory).
constexpr int kExitGood = 0;
constexpr int kExitDiffers = 1;
constexpr int kExitTrouble = 2;

// FILE, or OUT of -o, that stands for standard input or output.
constexpr char kStandardStream[] = "-";

constexpr char kUsageText[] =
    "usage: vantrel-inspect check [FILE]\n"
    "       vantrel-inspect draw [FILE] --table K [--line J] [--window X0,Y0,X1,Y1]\n"
    "                            [--cells] [-o OUT.svg]\n"
    "       vantrel-inspect fov MAP --at X,Y [--at X,Y]... --table K\n"
    "                           [--walls WALLS] [--symmetric] [--cone DIR,WIDTH]\n"
    "                           [--window X0,Y0,X1,Y1] [-o OUT.svg]\n"
    "       vantrel-inspect --version\n"
    "\n"
    "check  tells whether FILE (default LOS.TDF) is exactly what vantrel writes\n"
    "       for the table count in its header, or where it first differs\n"
    "draw   draws table K of FILE as an SVG picture (default tableK.svg): its\n"
    "       lines, or with --cells the cells they cover\n"
    "fov    draws the cells in view from (X,Y) on the text map MAP ('#' opaque,\n"
    "       '.' clear), by the lines of table K (default view.svg); from\n"
    "       several viewers, the cells that any of them sees\n"
    "\n"
    "A FILE of - is standard input; -o - writes the picture to standard output.\n"
    "Status 0: done; 1: the input cannot be used as asked (check: the file\n"
    "differs); 2: the command line cannot be read, or reading, writing or memory\n"
    "failed. 'vantrel-inspect COMMAND --help' tells more of a command.\n";

constexpr char kCheckHelp[] =
    "usage: vantrel-inspect check [FILE]\n"
    "\n"
    "Tells whether FILE (default LOS.TDF, - for standard input) is exactly what\n"
    "vantrel writes for the table count in its header, or where it first\n"
    "differs. Status 0: it is; 1: it differs; 2: it cannot be read.\n";

// A printf format, given the largest table that can be drawn.
constexpr char kDrawHelp[] =
    "usage: vantrel-inspect draw [FILE] --table K [--line J] [--window X0,Y0,X1,Y1]\n"
    "                            [--cells] [-o OUT.svg]\n"
    "\n"
    "Draws table K of FILE (default LOS.TDF, - for standard input) as an SVG\n"
    "picture: each line through the cells it steps on, from the origin cell.\n"
    "\n"
    "  --table K         the table to draw, from 1 to %d\n"
    "  --line J          highlights its line J\n"
    "  --window X0,Y0,X1,Y1\n"
    "                    draws only the cells from (X0,Y0) to (X1,Y1)\n"
    "  --cells           shades each cell by the number of lines through it,\n"
    "                    and marks the cells within the radius no line reaches\n"
    "  -o, --output OUT  the picture's file (default tableK.svg); - writes it\n"
    "                    to standard output\n"
    "\n"
    "Status 0: the picture is written; 1: FILE has no such table or line, or\n"
    "is not a table file, or the picture would be too large for a viewer (more\n"
    "than 64 MiB or a million elements: draw a --window of it); 2: the command\n"
    "line cannot be read, or reading, writing or memory failed.\n";

// A printf format, given the largest table a view is drawn with, and the
// largest of a symmetric view.
constexpr char kFovHelp[] =
    "usage: vantrel-inspect fov MAP --at X,Y [--at X,Y]... --table K\n"
    "                           [--walls WALLS] [--symmetric] [--cone DIR,WIDTH]\n"
    "                           [--window X0,Y0,X1,Y1] [-o OUT.svg]\n"
    "\n"
    "Draws what a viewer at cell (X,Y) sees on MAP (- for standard input), a\n"
    "text map of one row a line, '#' opaque and '.' clear, row 0 first: the\n"
    "cells that the lines of table K, turned every way the square turns,\n"
    "reach from the viewer before an opaque cell, and the walls --walls tells.\n"
    "Given several viewers, draws what any of them sees.\n"
    "\n"
    "  --at X,Y          a viewer's cell: column X, row Y, from 0; given again,\n"
    "                    another viewer\n"
    "  --table K         the table whose lines are walked, from 1 to %d\n"
    "  --walls WALLS     which opaque cells are in view: seen (the default), the\n"
    "                    first of each line; facing, as a game shows them: those\n"
    "                    seen, and each next to a clear cell in view that is no\n"
    "                    farther from the viewer along either axis; unseen, none\n"
    "                    but the cell a viewer stands on (--unseen-walls too)\n"
    "  --cone DIR,WIDTH  the view through a cone WIDTH degrees wide (above 0, at\n"
    "                    most 360) about direction DIR: 0 east, 90 south, 180\n"
    "                    west, 270 north; the cells whose direction from the\n"
    "                    viewer lies within it, edges included\n"
    "  --symmetric       the symmetric view: a clear cell is in view when it sees\n"
    "                    the viewer back by the same table (tables 1 to %d)\n"
    "  --window X0,Y0,X1,Y1\n"
    "                    draws only the cells from (X0,Y0) to (X1,Y1)\n"
    "  -o, --output OUT  the picture's file (default view.svg); - writes it\n"
    "                    to standard output\n"
    "\n"
    "Status 0: the picture is written; 1: MAP is not a map, a viewer or the\n"
    "window is not on it, or the picture would be too large for a viewer (more\n"
    "than 64 MiB or a million elements: draw a --window of it); 2: the command\n"
    "line cannot be read, or reading, writing or memory failed.\n";

// The largest table a view is drawn with: each of its points takes up to 8
// cells of the walk.
constexpr std::int32_t kLargestFovTable = 500;

// What the command line asks for.
struct Request {
  enum class Command { kCheck, kDraw, kFov };
  Command command = Command::kCheck;
  std::string path = vantrel::kTableFileName;  // or kStandardStream
  // draw only:
  std::int32_t radius = 0;
  std::int64_t line = 0;  // the line to highlight, by its number; 0 for none
  std::string output;     // a file, or kStandardStream
  std::optional<vantrel::CellWindow> window;
  bool cells = false;
  // fov only (with radius, output and window): the viewers' cells, as
  // given, each once, which may lie anywhere; whether walls are left out of
  // the view; and the window's corners, as given.
  struct GivenCell {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::string text;  // "X,Y", as given
  };
  std::vector<GivenCell> viewers;
  vantrel::Walls walls = vantrel::Walls::kSeen;
  bool symmetric = false;
  std::optional<vantrel::Cone> cone;
  std::optional<std::array<std::int64_t, 4>> map_window;
  std::string map_window_text;
};

// Beyond any line number of a table that can be drawn.
constexpr std::int64_t kLargestLineNumber = std::int64_t{1} << 30;

// The status read_command_line returns when the request is to be run.
constexpr int kGoOn = -1;

// `problem` on one line, then where to read more: the help of `command`
// ("check", "draw") or of the program ("").
int usage_error(std::string_view problem, std::string_view command = "") {
  std::fprintf(stderr, "vantrel-inspect: %.*s\nRun 'vantrel-inspect %.*s%s--help' for usage.\n",
               static_cast<int>(problem.size()), problem.data(),
               static_cast<int>(command.size()), command.data(), command.empty() ? "" : " ");
  return kExitTrouble;
}

// A whole number from `first` to `last`, or false.
bool parse_number(std::string_view text, std::int64_t first, std::int64_t last,
                  std::int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= first &&
         value <= last;
}

// As many whole numbers from `first` to `last` as `values` holds, with a
// comma between each two and nothing else, or false.
bool parse_numbers(std::string_view text, std::int64_t first, std::int64_t last,
                   std::span<std::int64_t> values) {
  for (std::size_t n = 0; n < values.size(); ++n) {
    const std::size_t comma = n + 1 < values.size() ? text.find(',') : text.size();
    if (comma == std::string_view::npos ||
        !parse_number(text.substr(0, comma), first, last, values[n])) {
      return false;
    }
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  return true;
}

// As many whole numbers as `values` holds, with a comma between each two
// and nothing else, each a sign and digits; a number too large for 64 bits
// is held as the largest (or least), since it names a cell off any map.
bool parse_coordinates(std::string_view text, std::span<std::int64_t> values) {
  for (std::size_t n = 0; n < values.size(); ++n) {
    const std::size_t comma = n + 1 < values.size() ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return false;
    const std::string_view number = text.substr(0, comma);
    const std::size_t digits = number.starts_with('-') ? 1 : 0;
    if (number.size() == digits ||
        number.find_first_not_of("0123456789", digits) != std::string_view::npos) {
      return false;
    }
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), values[n]);
    if (error == std::errc::result_out_of_range) {
      values[n] = digits == 1 ? INT64_MIN : INT64_MAX;
    } else if (error != std::errc() || end != number.data() + number.size()) {
      return false;
    }
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  return true;
}

// "DIR,WIDTH": a cone, each a number of degrees, or nothing.
std::optional<vantrel::Cone> parse_cone(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  vantrel::Cone cone;
  const std::string_view direction = text.substr(0, comma);
  const std::string_view width = text.substr(comma + 1);
  const auto [direction_end, direction_error] =
      std::from_chars(direction.data(), direction.data() + direction.size(), cone.direction);
  const auto [width_end, width_error] =
      std::from_chars(width.data(), width.data() + width.size(), cone.width);
  if (direction_error != std::errc() || direction_end != direction.data() + direction.size() ||
      width_error != std::errc() || width_end != width.data() + width.size() ||
      !vantrel::detail::ConeTest::is_cone(cone)) {
    return std::nullopt;
  }
  return cone;
}

// "X0,Y0,X1,Y1": a window of the cells from (X0,Y0) to (X1,Y1) in a table
// of `radius`, or nothing.
std::optional<vantrel::CellWindow> parse_window(std::string_view text, std::int32_t radius) {
  std::int64_t corners[4];
  if (!parse_numbers(text, 0, radius, corners)) return std::nullopt;
  if (corners[0] > corners[2] || corners[1] > corners[3]) return std::nullopt;
  return vantrel::CellWindow{static_cast<std::int32_t>(corners[0]),
                             static_cast<std::int32_t>(corners[1]),
                             static_cast<std::int32_t>(corners[2]),
                             static_cast<std::int32_t>(corners[3])};
}

// The options that take a value.
constexpr std::string_view kValueOptions[] = {"--table", "--line", "--window", "--at",
                                              "--output", "-o"};

// Refuses an option given an empty value: "--output=" and "-o ''". The
// parser would take the next argument for the value, and so write a
// picture over the file named after it. kGoOn when there is none.
int refuse_empty_values(int argc, char** argv) {
  std::string_view command;
  for (int n = 1; n < argc; ++n) {
    const std::string_view argument = argv[n];
    if (argument == "--") break;
    if (command.empty() && (argument == "check" || argument == "draw" || argument == "fov")) {
      command = argument;
    }
    for (const std::string_view option : kValueOptions) {
      if (argument.size() == option.size() + 1 && argument.starts_with(option) &&
          argument.back() == '=') {
        return usage_error(std::string(option) + " needs a value", command);
      }
      if (argument == option && n + 1 < argc && argv[n + 1][0] == '\0' &&
          (option == "-o" || option == "--output")) {
        return usage_error(std::string(option) + " needs a file name, not ''", command);
      }
    }
  }
  return kGoOn;
}

// Reads the command line into `request`. Returns kGoOn, or the status to
// end with once the help, the version or what is wrong has been printed.
int read_command_line(int argc, char** argv, Request& request) {
  if (const int status = refuse_empty_values(argc, argv); status != kGoOn) return status;
  CLI::App app("", "vantrel-inspect");
  // Not on Windows either: a FILE such as /data/LOS.TDF would be taken for
  // an option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", "vantrel-inspect " VANTREL_VERSION);
  app.require_subcommand(1);
  CLI::App* check = app.add_subcommand("check");
  CLI::App* draw = app.add_subcommand("draw");
  check->add_option("FILE", request.path);
  draw->add_option("FILE", request.path);
  // A repeated option counts as last given, as a shell alias can then be
  // overridden.
  std::string table;
  std::string line;
  CLI::Option* table_option = draw->add_option("--table", table)
                                  ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* line_option = draw->add_option("--line", line)
                                 ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* output_option = draw->add_option("-o,--output", request.output)
                                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::string window;
  CLI::Option* window_option = draw->add_option("--window", window)
                                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  draw->add_flag("--cells", request.cells);
  CLI::App* fov = app.add_subcommand("fov");
  CLI::Option* map_option = fov->add_option("MAP", request.path);
  // Each --at a viewer, and one value each: "--at 1,1 MAP" names MAP.
  std::vector<std::string> at;
  std::string fov_table;
  CLI::Option* at_option = fov->add_option("--at", at)->allow_extra_args(false);
  CLI::Option* fov_table_option = fov->add_option("--table", fov_table)
                                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* fov_output_option = fov->add_option("-o,--output", request.output)
                                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::string map_window;
  CLI::Option* map_window_option = fov->add_option("--window", map_window)
                                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::string walls;
  CLI::Option* walls_option =
      fov->add_option("--walls", walls)
          ->check(CLI::IsMember({"seen", "unseen", "facing"}))
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::string cone;
  CLI::Option* cone_option = fov->add_option("--cone", cone)
                                 ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // The first name of --walls unseen, kept for the scripts that use it.
  bool unseen_walls = false;
  fov->add_flag("--unseen-walls", unseen_walls);
  fov->add_flag("--symmetric", request.symmetric);

  // The command given, as far as the parse got: "check", "draw", "fov", or
  // "".
  auto command_given = [&]() -> std::string_view {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) return "";
    return chosen.front() == check ? "check" : chosen.front() == draw ? "draw" : "fov";
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    const std::string_view command = command_given();
    if (command == "check") {
      std::fputs(kCheckHelp, stdout);
    } else if (command == "draw") {
      std::printf(kDrawHelp, static_cast<int>(vantrel::kLargestDrawnRadius));
    } else if (command == "fov") {
      std::printf(kFovHelp, static_cast<int>(kLargestFovTable),
                  vantrel::SymmetricView::kLargestSymmetricRadius);
    } else {
      std::fputs(kUsageText, stdout);
    }
    return kExitGood;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return kExitGood;
  } catch (const CLI::ArgumentMismatch&) {
    // An option takes the next argument whatever it is, so one without its
    // value is the last argument ("--table", "--table=").
    const std::string_view last = argv[argc - 1];
    return usage_error(vantrel::shown(last.substr(0, last.find('='))) + " needs a value",
                       command_given());
  } catch (const CLI::ParseError& error) {
    const std::string_view command = command_given();
    // The first argument that fits nowhere; "--" only marks where FILE
    // begins.
    for (const std::string& extra : app.remaining(true)) {
      if (extra == "--") continue;
      const std::string quoted = "'" + vantrel::shown(extra) + "'";
      if (extra.size() > 1 && extra[0] == '-') {
        return usage_error("unknown option " + quoted, command);
      }
      if (command.empty()) return usage_error("unknown command " + quoted);
      return usage_error(std::string(command) + " takes one " +
                             (command == "fov" ? "MAP" : "FILE") + " at most, not also " +
                             quoted,
                         command);
    }
    if (command.empty()) return usage_error("no command given");
    return usage_error(vantrel::shown(error.what()), command);
  }

  if (command_given() == "check") {
    request.command = Request::Command::kCheck;
    return kGoOn;
  }
  std::int64_t number = 0;
  if (command_given() == "fov") {
    request.command = Request::Command::kFov;
    if (map_option->count() == 0) return usage_error("fov needs MAP", "fov");
    if (at_option->count() == 0) return usage_error("fov needs --at X,Y", "fov");
    if (fov_table_option->count() == 0) return usage_error("fov needs --table K", "fov");
    // Whether a cell is on the map is the map's to say.
    for (const std::string& given : at) {
      std::int64_t cell[2];
      if (!parse_coordinates(given, cell)) {
        return usage_error("--at takes X,Y, a column and a row from 0, not '" +
                               vantrel::shown(given) + "'",
                           "fov");
      }
      const bool again = std::any_of(
          request.viewers.begin(), request.viewers.end(),
          [&](const Request::GivenCell& v) { return v.x == cell[0] && v.y == cell[1]; });
      if (!again) request.viewers.push_back({cell[0], cell[1], given});
    }
    if (map_window_option->count() > 0) {
      std::array<std::int64_t, 4> corners;
      if (!parse_coordinates(map_window, corners) || corners[0] > corners[2] ||
          corners[1] > corners[3]) {
        return usage_error("--window takes X0,Y0,X1,Y1 with X0 <= X1 and Y0 <= Y1, not '" +
                               vantrel::shown(map_window) + "'",
                           "fov");
      }
      request.map_window = corners;
      request.map_window_text = map_window;
    }
    if (!parse_number(fov_table, 1, kLargestFovTable, number)) {
      return usage_error("--table takes a table number from 1 to " +
                             std::to_string(kLargestFovTable) + ", not '" +
                             vantrel::shown(fov_table) + "'",
                         "fov");
    }
    request.radius = static_cast<std::int32_t>(number);
    if (unseen_walls && walls_option->count() != 0 && walls != "unseen") {
      return usage_error("--unseen-walls and --walls " + walls + " disagree: give one", "fov");
    }
    request.walls = unseen_walls || walls == "unseen" ? vantrel::Walls::kUnseen
                    : walls == "facing"               ? vantrel::Walls::kFacing
                                                      : vantrel::Walls::kSeen;
    if (cone_option->count() != 0) {
      std::optional<vantrel::Cone> given = parse_cone(cone);
      if (!given) {
        return usage_error("--cone takes DIR,WIDTH, finite degrees with WIDTH above 0 and at "
                           "most 360, not '" + vantrel::shown(cone) + "'",
                           "fov");
      }
      request.cone = given;
    }
    constexpr int kLargest = vantrel::SymmetricView::kLargestSymmetricRadius;
    if (request.symmetric && request.radius > kLargest) {
      return usage_error("--symmetric takes a table from 1 to " + std::to_string(kLargest) +
                             ", not " + std::to_string(request.radius),
                         "fov");
    }
    if (fov_output_option->count() == 0) request.output = "view.svg";
    return kGoOn;
  }
  request.command = Request::Command::kDraw;
  if (table_option->count() == 0) return usage_error("draw needs --table K", "draw");
  if (!parse_number(table, 1, vantrel::kLargestDrawnRadius, number)) {
    return usage_error("--table takes a table number from 1 to " +
                           std::to_string(vantrel::kLargestDrawnRadius) + ", not '" +
                           vantrel::shown(table) + "'",
                       "draw");
  }
  request.radius = static_cast<std::int32_t>(number);
  if (line_option->count() > 0) {
    if (!parse_number(line, 1, kLargestLineNumber, number)) {
      return usage_error("--line takes a line number from 1 to " +
                             std::to_string(kLargestLineNumber) + ", not '" +
                             vantrel::shown(line) + "'",
                         "draw");
    }
    request.line = number;
  }
  if (window_option->count() > 0) {
    request.window = parse_window(window, request.radius);
    if (!request.window) {
      return usage_error("--window takes X0,Y0,X1,Y1 with 0 <= X0 <= X1 <= " +
                             std::to_string(request.radius) + " and 0 <= Y0 <= Y1 <= " +
                             std::to_string(request.radius) + ", not '" +
                             vantrel::shown(window) + "'",
                         "draw");
    }
  }
  if (output_option->count() == 0) {
    request.output = "table" + std::to_string(request.radius) + ".svg";
  }
  return kGoOn;
}

// FILE as messages name it: escaped, so that no byte of it can act on a
// terminal.
std::string named(const std::string& path) {
  return path == kStandardStream ? "standard input" : vantrel::shown(path);
}

// FILE opened for reading.
vantrel::OpenedSource open_input(const std::string& path) {
  if (path == kStandardStream) return {vantrel::open_standard_input(), 0};
  return vantrel::open_file_source(path.c_str());
}

int cannot_read(const std::string& path, int error_number) {
  std::fprintf(stderr, "vantrel-inspect: cannot read %s: %s\n", named(path).c_str(),
               std::strerror(error_number));
  return kExitTrouble;
}

int check(const Request& request) {
  const std::string& path = request.path;
  vantrel::OpenedSource file = open_input(path);
  if (!file.source) return cannot_read(path, file.error_number);
  const vantrel::CheckResult result = vantrel::check_table_file(*file.source);
  switch (result.verdict) {
    case vantrel::CheckResult::Verdict::kExact:
      std::printf("%s: %d %s, exactly as vantrel %s writes them\n", named(path).c_str(),
                  static_cast<int>(result.tables), result.tables == 1 ? "table" : "tables",
                  vantrel::max_los_for(result.tables).c_str());
      return kExitGood;
    case vantrel::CheckResult::Verdict::kDiffers:
      std::printf("%s: %s\n", named(path).c_str(), result.problem.c_str());
      return kExitDiffers;
    case vantrel::CheckResult::Verdict::kUnreadable:
      break;
  }
  return cannot_read(path, result.error_number);
}

// True when OUT names what standard output writes to (/dev/stdout, say),
// where the picture must go alone.
bool is_standard_output(const std::string& path) {
  if (path == kStandardStream) return true;
#ifdef _WIN32
  return false;
#else
  struct stat out;
  struct stat file;
  return fstat(STDOUT_FILENO, &out) == 0 && stat(path.c_str(), &file) == 0 &&
         out.st_dev == file.st_dev && out.st_ino == file.st_ino;
#endif
}

// True when OUT names the file read, FILE or MAP, under any of its names,
// or, for a FILE of "-", the file that standard input reads: the picture
// would take its place.
bool is_input(const std::string& output, const std::string& input) {
  if (output == kStandardStream) return false;
#ifdef _WIN32
  // The C runtime gives files no numbers to compare (st_ino is 0): only
  // names are, and standard input has none.
  return input != kStandardStream && output == input;
#else
  struct stat out;
  struct stat in;
  if (stat(output.c_str(), &out) != 0) return false;
  const bool described = input == kStandardStream ? fstat(STDIN_FILENO, &in) == 0
                                                  : stat(input.c_str(), &in) == 0;
  return described && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
#endif
}

// Refuses a picture that would take the place of the file it is drawn
// from; kGoOn when OUT is another file.
int refuse_input_as_output(const Request& request) {
  if (!is_input(request.output, request.path)) return kGoOn;
  std::fprintf(stderr, "vantrel-inspect: %s is the file read%s; the picture would replace it\n",
               vantrel::shown(request.output).c_str(),
               request.path == kStandardStream ? " on standard input" : "");
  return kExitTrouble;
}

// Standard output as a sink for a picture, in binary mode.
class StandardOutput final : public vantrel::ByteSink {
 public:
  StandardOutput() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
  }
  int write(const char* data, std::size_t size) override {
    if (std::fwrite(data, 1, size, stdout) == size) return 0;
    return errno != 0 ? errno : EIO;
  }
};

// Draws a picture by `draw`, which writes it to the SvgWriter it is given,
// into OUT, or to standard output for "-". It is drawn twice: first only
// counted, so that a picture too large for a viewer is refused before a
// byte is written, then written as it is drawn. The status to end with
// when it is not written, with the message printed; kGoOn when it is.
template <class Draw>
int write_picture(const std::string& output, const Draw& draw) {
  vantrel::SvgWriter counted;
  draw(counted);
  if (counted.too_large()) {
    std::fprintf(stderr,
                 "vantrel-inspect: the picture would take %llu bytes and %llu elements, more "
                 "than a viewer opens (%llu MiB, %llu elements); draw a part of it with "
                 "--window X0,Y0,X1,Y1\n",
                 static_cast<unsigned long long>(counted.bytes()),
                 static_cast<unsigned long long>(counted.elements()),
                 static_cast<unsigned long long>(vantrel::kLargestPictureBytes >> 20),
                 static_cast<unsigned long long>(vantrel::kLargestPictureElements));
    return kExitDiffers;
  }
  // Standard output carries the picture alone; main() tells whether it
  // arrived.
  if (output == kStandardStream) {
    StandardOutput out;
    vantrel::SvgWriter svg(out);
    draw(svg);
    if (const int error_number = svg.flush(); error_number != 0) {
      std::fprintf(stderr, "vantrel-inspect: cannot write to standard output: %s\n",
                   std::strerror(error_number));
      return kExitTrouble;
    }
    return kGoOn;
  }
  // As vantrel writes its file: a new file beside OUT that replaces it
  // once complete, or OUT itself where it is a device or has other names;
  // a failure removes only what this run made. LOS.TDF's interrupt state
  // is not told: a picture is not the table file.
  vantrel::OpenedFile out =
      vantrel::open_file_sink(output.c_str(), {}, vantrel::InterruptWatch::kNone);
  std::string_view operation = out.operation;
  int error_number = out.error_number;
  if (out.sink) {
    vantrel::SvgWriter svg(*out.sink);
    draw(svg);
    operation = "write";
    error_number = svg.flush();
    if (error_number == 0) {
      const vantrel::CloseFailure closed = out.sink->close();
      operation = closed.operation;
      error_number = closed.error_number;
    }
  }
  if (error_number == 0) return kGoOn;
  std::fprintf(stderr, "vantrel-inspect: cannot %.*s %s: %s\n",
               static_cast<int>(operation.size()), operation.data(),
               vantrel::shown(output).c_str(), std::strerror(error_number));
  return kExitTrouble;
}

int draw(const Request& request) {
  const std::string& path = request.path;
  const std::int32_t radius = request.radius;
  vantrel::OpenedSource file = open_input(path);
  if (!file.source) return cannot_read(path, file.error_number);
  vantrel::TableLines table;
  const vantrel::ReadTableLinesResult read = vantrel::read_table_lines(*file.source, radius, table);
  switch (read.outcome) {
    case vantrel::ReadTableLinesResult::Outcome::kRead:
      break;
    case vantrel::ReadTableLinesResult::Outcome::kMissing:
      std::fprintf(stderr, "vantrel-inspect: %s has no Table %d (it has %lld tables)\n",
                   named(path).c_str(), static_cast<int>(radius),
                   static_cast<long long>(read.tables_seen));
      return kExitDiffers;
    case vantrel::ReadTableLinesResult::Outcome::kMalformed:
      std::fprintf(stderr, "vantrel-inspect: %s: %s\n", named(path).c_str(),
                   read.problem.c_str());
      return kExitDiffers;
    case vantrel::ReadTableLinesResult::Outcome::kUnreadable:
      return cannot_read(path, read.error_number);
  }
  if (request.line != 0 &&
      std::none_of(table.lines.begin(), table.lines.end(),
                   [&](const vantrel::TableLine& l) { return l.number == request.line; })) {
    std::fprintf(stderr, "vantrel-inspect: Table %d of %s has %zu lines, no line %lld\n",
                 static_cast<int>(radius), named(path).c_str(), table.lines.size(),
                 static_cast<long long>(request.line));
    return kExitDiffers;
  }
  for (const std::string& warning : vantrel::table_warnings(table)) {
    std::fprintf(stderr, "vantrel-inspect: warning: %s\n", warning.c_str());
  }
  vantrel::PictureOptions picture;
  // The picture escapes the name as its text needs.
  picture.file_name =
      path == kStandardStream ? std::string_view("standard input") : std::string_view(path);
  picture.highlight = request.line;
  picture.window = request.window;
  picture.cells = request.cells;
  if (const int refused = refuse_input_as_output(request); refused != kGoOn) return refused;
  const bool alone = is_standard_output(request.output);
  const int status = write_picture(request.output, [&](vantrel::SvgWriter& svg) {
    vantrel::draw_table(table, picture, svg);
  });
  if (status != kGoOn) return status;
  if (alone) return kExitGood;
  std::printf("%s: Table %d, %zu %s\n", vantrel::shown(request.output).c_str(),
              static_cast<int>(radius), table.lines.size(),
              table.lines.size() == 1 ? "line" : "lines");
  return kExitGood;
}

// What `viewers` see on `map` as the request asks: a byte per cell, row by
// row, 1 for a cell that any of them sees. Each viewer stands on the map.
std::vector<std::uint8_t> view_of(const Request& request, const vantrel::TextMap& map,
                                  const std::vector<vantrel::Cell>& viewers) {
  const vantrel::FieldOfView field(vantrel::make_table(request.radius));
  const vantrel::Walls walls = request.walls;
  const std::span<const std::uint8_t> opaque(map.opaque);
  // Cleared once; each viewer adds the cells it sees.
  std::vector<std::uint8_t> in_view(map.opaque.size());
  if (!request.symmetric) {
    for (const vantrel::Cell viewer : viewers) {
      if (request.cone) {
        field.mark(viewer, map.width, map.height, opaque, in_view, *request.cone, walls);
      } else {
        field.mark(viewer, map.width, map.height, opaque, in_view, walls);
      }
    }
    return in_view;
  }
  // A symmetric view is computed whole, then added.
  const vantrel::SymmetricView symmetric(field);
  std::vector<std::uint8_t> one(map.opaque.size());
  for (const vantrel::Cell viewer : viewers) {
    if (request.cone) {
      symmetric.compute(viewer, map.width, map.height, opaque, one, *request.cone, walls);
    } else {
      symmetric.compute(viewer, map.width, map.height, opaque, one, walls);
    }
    for (std::size_t at = 0; at < one.size(); ++at) in_view[at] |= one[at];
  }
  return in_view;
}

int fov(const Request& request) {
  const std::string& path = request.path;
  vantrel::OpenedSource file = open_input(path);
  if (!file.source) return cannot_read(path, file.error_number);
  vantrel::TextMap map;
  const vantrel::ReadMapResult read = vantrel::read_text_map(*file.source, map);
  if (!read.read) {
    if (read.error_number != 0) return cannot_read(path, read.error_number);
    std::fprintf(stderr, "vantrel-inspect: %s: %s\n", named(path).c_str(),
                 read.problem.c_str());
    return kExitDiffers;
  }
  // True when cell (x, y) lies on the map.
  auto on_map = [&](std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < map.width && y < map.height;
  };
  std::vector<vantrel::Cell> viewers;
  for (const Request::GivenCell& given : request.viewers) {
    if (!on_map(given.x, given.y)) {
      std::fprintf(stderr,
                   "vantrel-inspect: (%s) is not on %s, which has %d columns and %d rows\n",
                   vantrel::shown(given.text).c_str(), named(path).c_str(), map.width,
                   map.height);
      return kExitDiffers;
    }
    viewers.push_back({static_cast<std::int32_t>(given.x), static_cast<std::int32_t>(given.y)});
  }
  vantrel::ViewPicture picture;
  if (request.map_window) {
    const auto& [x0, y0, x1, y1] = *request.map_window;
    if (!on_map(x0, y0) || !on_map(x1, y1)) {
      std::fprintf(stderr,
                   "vantrel-inspect: the window %s reaches beyond %s, which has %d columns "
                   "and %d rows\n",
                   vantrel::shown(request.map_window_text).c_str(), named(path).c_str(),
                   map.width, map.height);
      return kExitDiffers;
    }
    picture.window = vantrel::CellWindow{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                                         static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1)};
  }
  const std::vector<std::uint8_t> in_view = view_of(request, map, viewers);
  picture.map_name =
      path == kStandardStream ? std::string_view("standard input") : std::string_view(path);
  picture.viewers = viewers;
  picture.radius = request.radius;
  picture.walls = request.walls;
  picture.cone = request.cone;
  picture.symmetric = request.symmetric;
  if (const int refused = refuse_input_as_output(request); refused != kGoOn) return refused;
  const bool alone = is_standard_output(request.output);
  const int status = write_picture(request.output, [&](vantrel::SvgWriter& svg) {
    vantrel::draw_view(map, in_view, picture, svg);
  });
  if (status != kGoOn) return status;
  if (alone) return kExitGood;
  const auto seen = std::count(in_view.begin(), in_view.end(), 1);
  const std::string from = viewers.size() == 1
                               ? vantrel::cell_text(viewers[0].x, viewers[0].y)
                               : std::to_string(viewers.size()) + " viewers";
  std::printf("%s: %lld %s in view from %s\n", vantrel::shown(request.output).c_str(),
              static_cast<long long>(seen), seen == 1 ? "cell" : "cells", from.c_str());
  return kExitGood;
}

int run(int argc, char** argv) {
  Request request;
  if (const int status = read_command_line(argc, argv, request); status != kGoOn) {
    return status;
  }
  switch (request.command) {
    case Request::Command::kCheck: return check(request);
    case Request::Command::kDraw: return draw(request);
    case Request::Command::kFov: return fov(request);
  }
  return kExitTrouble;
}

}  // namespace

// Memory so short that even the exception for it cannot be had, or that
// an object made before main() cannot be.
[[noreturn]] void end_on_terminate() {
  std::fputs("vantrel-inspect: out of memory\n", stderr);
  std::_Exit(kExitTrouble);
}

namespace {

// Sets end_on_terminate before every other object of the program is made:
// CLI11's validators allocate before main() begins.
struct TerminateFirst {
  TerminateFirst() { std::set_terminate(end_on_terminate); }
};
#if defined(__GNUC__) || defined(__clang__)
__attribute__((init_priority(101)))
#endif
const TerminateFirst terminate_first;

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(end_on_terminate);
#ifdef SIGPIPE
  // A reader that has gone is a failed write, named as such, not a silent
  // death.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  // A picture past the file size limit is a failed write, reported, and
  // its new file removed; not a death that leaves the file behind.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  int status = kExitTrouble;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("vantrel-inspect: out of memory\n", stderr);
    return kExitTrouble;
  }
  // A verdict that did not reach its reader is no verdict. (A run that
  // failed already has said why.)
  if (status != kExitTrouble && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
    std::fprintf(stderr, "vantrel-inspect: cannot write to standard output: %s\n",
                 std::strerror(errno));
    return kExitTrouble;
  }
  return status;
}
