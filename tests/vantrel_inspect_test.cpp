// Runs the built vantrel-inspect on table files made by vantrel and altered
// the ways files get damaged, and checks what a user sees: the exit status
// and the words of the report; for draw, the SVG picture itself.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_attributes.h"
#include "run_program.h"
#include "test_files.h"
#include "vantrel/field_of_view.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"
#include "vantrel/version.h"

namespace {

namespace fs = std::filesystem;

using vantrel::read_file;

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error together
};

// Runs `command` (through the shell) in `dir`.
Result run_in(const fs::path& dir, const std::string& command) {
  Result result;
  const std::string line = "cd '" + dir.string() + "' && " + command + " 2>&1";
  std::FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  for (std::size_t size; (size = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
    result.out.append(chunk, size);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool have_program(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

class VantrelInspect : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    dir_ = temp_.path();
  }

  // The file that `vantrel max_los` writes.
  std::string tables_of(const std::string& max_los) {
    fs::remove(dir_ / "LOS.TDF");
    run_in(dir_, std::string(VANTREL_BINARY) + " " + max_los + " >/dev/null");
    return read_file(dir_ / "LOS.TDF");
  }

  Result inspect(const std::string& args) {
    return run_in(dir_, std::string(VANTREL_INSPECT_BINARY) + " " + args);
  }

  // The tool given `args` as they are, with no shell between; its
  // standard output and standard error apart.
  vantrel::Result run(const std::vector<std::string>& args,
                      const vantrel::RunOptions& options = {}) {
    return vantrel::run_program(VANTREL_INSPECT_BINARY, args, dir_, options);
  }

  vantrel::TempDir temp_{"inspect"};
  fs::path dir_;
};

TEST_F(VantrelInspect, CheckTellsAnExactFileFromEveryKindOfDamage) {
  const std::string good = tables_of("640");  // 20 tables
  const std::string negative = tables_of("-5");
  auto at = [&](const std::string& text, std::size_t from = 0) { return good.find(text, from); };
  auto cut = [&](std::size_t size) { return good.substr(0, size); };
  auto replaced = [&](std::size_t offset, const std::string& with) {
    std::string bytes = good;
    return bytes.replace(offset, with.size(), with);
  };
  std::string lf = good;
  for (std::size_t n; (n = lf.find("\r\n")) != std::string::npos;) lf.erase(n, 1);
  const std::size_t digit = at("\tline10=", at("[Table15]")) + 12;
  // "at byte B, line L" of an offset of the good file.
  auto position = [&](std::size_t offset) {
    return "at byte " + std::to_string(offset) + ", line " +
           std::to_string(std::count(good.begin(), good.begin() + static_cast<long>(offset), '\n') + 1);
  };
  const std::size_t opening = at("[Table15]") + 7;
  const std::size_t entry_number = at("\tline10=", at("[Table15]")) + 6;
  // Entry 3 of Table 12 left out, with its line end.
  const std::size_t left_out = at("\r\n\tline3=", at("[Table12]"));
  std::string without_entry = good;
  without_entry.erase(left_out, at("\r\n", left_out + 2) - left_out);

  struct Case {
    const char* name;
    std::string bytes;  // written to the file checked; none for a missing file
    bool missing;
    int status;
    std::vector<std::string> words;  // each must appear in the report
  } cases[] = {
      {"the right file", good, false, 0,
       {"x.tdf: 20 tables, exactly as vantrel 609 to 640 writes them"}},
      {"a header alone, from a negative MaxLos", negative, false, 0,
       {"0 tables, exactly as vantrel -63 to -33 or -31 to -1 writes them"}},
      {"cut inside the header", cut(20), false, 1,
       {"the file ends inside the header", "at byte 20, line 3"}},
      {"cut inside [TABLEINFO]", cut(6), false, 1,
       {"the file ends inside the header", "at byte 6, line 1",
        "expected: \"[TABLEINFO]\\r\\n{", "found:    \"[TABLE\" (the end of the file)"}},
      {"cut between two tables", cut(at("\r\n\r\n[Table8]")), false, 1,
       {"the file ends after Table 7, before Table 8"}},
      {"cut inside an entry", cut(at("\tline3=", at("[Table12]")) + 9), false, 1,
       {"the file ends inside Table 12, line 3", "(the end of the file)"}},
      {"one changed digit", replaced(digit, good[digit] == '7' ? "8" : "7"), false, 1,
       {"Table 15, line 10 differs", "at byte " + std::to_string(digit), "expected: \"",
        "found:    \""}},
      {"a changed digit in a table's opening", replaced(opening, "6"), false, 1,
       {"Table 15 differs\n  " + position(opening),
        "expected: \"[Table15]\\r\\n{", "found:    \"[Table16]\\r\\n{"}},
      {"a changed digit in an entry's number", replaced(entry_number, "1"), false, 1,
       {"Table 15, line 10 differs\n  " + position(entry_number),
        "expected: \"\\tline10=", "found:    \"\\tline11="}},
      {"an entry left out", without_entry, false, 1,
       {"Table 12, line 3 differs\n  " + position(left_out + 7), "expected: \"\\tline3=",
        "found:    \"\\tline4="}},
      {"LF line ends", lf, false, 1, {"LF where CR LF belongs, in the header", "at byte 11"}},
      {"extra bytes", good + "\r\n", false, 1,
       {"extra bytes after the last table (Table 20)"}},
      {"a changed numlines", replaced(at("numlines=", at("[Table9]")) + 9, "9"), false, 1,
       {"Table 9: numlines differs"}},
      {"a garbage header", "GIF89a\x01\x02", false, 1,
       {"not a table file: it does not begin with [TABLEINFO]"}},
      {"a huge table count", "[TABLEINFO]\r\n{\r\nnumtables=99999999;\r\n}", false, 1,
       {"the table count 99999999 is out of range: vantrel writes from -67108864 to 46340"}},
      {"a 20-digit count", "[TABLEINFO]\r\n{\r\nnumtables=12345678901234567890;\r\n}",
       false, 1, {"the table count 12345678901234567890 is out of range"}},
      {"a count below the least", "[TABLEINFO]\r\n{\r\nnumtables=-67108865;\r\n}", false, 1,
       {"the table count -67108865 is out of range: vantrel writes from -67108864 to 46340"}},
      {"a count with a plus", "[TABLEINFO]\r\n{\r\nnumtables=+3;\r\n}", false, 1,
       {"the header's table count is not a number: \"+3\""}},
      {"a count after a tab", "[TABLEINFO]\r\n{\r\nnumtables=\t3;\r\n}", false, 1,
       {"the header's table count is not a number: \"\\t3\""}},
      {"the largest count, with no tables", "[TABLEINFO]\r\n{\r\nnumtables=46340;\r\n}", false,
       1, {"the file ends after the header, before Table 1"}},
      {"an empty file", "", false, 1, {"not a table file: the file is empty"}},
      {"a missing file", "", true, 2, {"vantrel-inspect: cannot read x.tdf:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_ / "x.tdf");
    if (!c.missing) write_file(dir_ / "x.tdf", c.bytes);
    const Result result = inspect("check x.tdf");
    EXPECT_EQ(result.status, c.status) << result.out;
    for (const std::string& words : c.words) {
      EXPECT_NE(result.out.find(words), std::string::npos) << result.out;
    }
  }
  // LOS.TDF by default.
  write_file(dir_ / "LOS.TDF", good);
  EXPECT_EQ(inspect("check").out, "LOS.TDF: 20 tables, exactly as vantrel 609 to 640 writes them\n");
  // A verdict that cannot be written is no verdict.
  const Result unwritten = run_in(dir_, std::string(VANTREL_INSPECT_BINARY) + " check >/dev/full");
  EXPECT_EQ(unwritten.status, 2) << unwritten.out;
}

// `text` cut at each `separator`.
std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t end = text.find(separator, from);
    parts.push_back(text.substr(from, end - from));
    if (end == std::string::npos) return parts;
    from = end + 1;
  }
}

// The entries of table `radius` in `file`: each a list of "x,y" points.
std::vector<std::vector<std::string>> entries_of(const std::string& file, int radius) {
  std::vector<std::vector<std::string>> entries;
  const std::size_t end = file.find('}', file.find("[Table" + std::to_string(radius) + "]"));
  for (std::size_t at = file.find("\tline", file.find("[Table" + std::to_string(radius) + "]"));
       at < end; at = file.find("\tline", at + 1)) {
    const std::size_t equals = file.find('=', at);
    // "<length>,x,y,...": the points after the length.
    const std::vector<std::string> numbers =
        split(file.substr(equals + 1, file.find(';', at) - equals - 1), ',');
    std::vector<std::string> points;
    for (std::size_t n = 1; n + 1 < numbers.size(); n += 2) {
      points.push_back(numbers[n] + "," + numbers[n + 1]);
    }
    entries.push_back(points);
  }
  return entries;
}

TEST_F(VantrelInspect, DrawShowsEachLineOfTheTableAsAPolyline) {
  const std::string file = tables_of("192");  // 6 tables
  const Result result = inspect("draw --table 6");
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out, "table6.svg: Table 6, 10 lines\n");
  const std::string svg = read_file(dir_ / "table6.svg");

  // One polyline per entry, from the origin cell through the file's points.
  std::vector<std::vector<std::string>> drawn;
  for (std::size_t at = svg.find("<polyline "); at != std::string::npos;
       at = svg.find("<polyline ", at + 1)) {
    const std::size_t points = svg.find(" points=\"0,0", at) + 12;
    const std::size_t end = svg.find('"', points);
    ASSERT_EQ(svg.compare(end, 14, "\"><title>line "), 0) << svg.substr(at, 200);
    std::vector<std::string> cells = split(svg.substr(points, end - points), ' ');
    cells.erase(cells.begin());  // before the first space: nothing
    drawn.push_back(cells);
  }
  EXPECT_EQ(drawn, entries_of(file, 6));

  if (!have_program("xmllint") || !have_program("rsvg-convert")) {
    GTEST_SKIP() << "xmllint and rsvg-convert (Debian's libxml2-utils, librsvg2-bin) check "
                    "the picture further";
  }
  EXPECT_EQ(run_in(dir_, "xmllint --noout table6.svg").status, 0);
  EXPECT_EQ(run_in(dir_, "rsvg-convert table6.svg -o table6.png").status, 0);
  EXPECT_GT(fs::file_size(dir_ / "table6.png"), 1000u);

  // A highlighted line, in a file of one's choosing.
  EXPECT_EQ(inspect("draw LOS.TDF --table 6 --line 3 -o six.svg").status, 0);
  EXPECT_EQ(run_in(dir_, "xmllint --noout six.svg").status, 0);
  EXPECT_NE(read_file(dir_ / "six.svg").find("class=\"highlight\""), std::string::npos);

  // A file name of any bytes still makes a well-formed picture: a control
  // byte and a byte that is not UTF-8 are shown as \xNN, UTF-8 as it is.
  fs::copy_file(dir_ / "LOS.TDF", dir_ / "odd\x01\xff<\xc3\xa9.tdf");
  EXPECT_EQ(inspect("draw 'odd\x01\xff<\xc3\xa9.tdf' --table 2 -o odd.svg").status, 0);
  EXPECT_EQ(run_in(dir_, "xmllint --noout odd.svg").status, 0);
  EXPECT_NE(read_file(dir_ / "odd.svg").find("odd\\x01\\xff&lt;\xc3\xa9.tdf"), std::string::npos);
}

TEST_F(VantrelInspect, DrawRefusesTablesItCannotDraw) {
  const std::string file = tables_of("192");
  std::string broken = file;
  broken.replace(broken.find("line2=", broken.find("[Table5]")), 6, "lime2=");
  write_file(dir_ / "broken.tdf", broken);
  struct Case {
    const char* args;
    int status;
    const char* words;
  } cases[] = {
      {"draw --table 7", 1, "LOS.TDF has no Table 7 (it has 6 tables)"},
      {"draw --table 6 --line 11", 1, "has 10 lines, no line 11"},
      {"draw broken.tdf --table 5", 1, "Table 5 does not parse at line"},
      {"draw missing.tdf --table 1", 2, "cannot read missing.tdf"},
      {"draw --table 0", 2, "--table takes a table number"},
      {"draw", 2, "draw needs --table K"},
      {"frobnicate", 2, "unknown command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result result = inspect(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.out.find(c.words), std::string::npos) << result.out;
  }
  EXPECT_FALSE(fs::exists(dir_ / "table7.svg"));
}

TEST_F(VantrelInspect, DrawsAWindowOfCoverageAndWarnsOfWhatVantrelNeverWrites) {
  const std::string file = tables_of("192");
  const Result cells = inspect("draw --table 6 --cells --window 0,0,3,4 -o cells.svg");
  ASSERT_EQ(cells.status, 0) << cells.out;
  const std::string svg = read_file(dir_ / "cells.svg");
  EXPECT_NE(svg.find("cells (0,0) to (3,4); "), std::string::npos);
  EXPECT_NE(svg.find("cells within the radius reached"), std::string::npos);

  // Line 2 of Table 6 jumps: drawn, with a warning.
  std::string jumping = file;
  const std::size_t entry = jumping.find("\tline2=", jumping.find("[Table6]"));
  const std::size_t points = jumping.find(',', entry) + 1;
  jumping.replace(points, jumping.find(',', jumping.find(',', points) + 1) - points, "4,0");
  write_file(dir_ / "jumping.tdf", jumping);
  const vantrel::Result jump = run({"draw", "jumping.tdf", "--table", "6", "-o", "jump.svg"});
  EXPECT_EQ(jump.status, 0);
  EXPECT_EQ(jump.err,
            "vantrel-inspect: warning: Table 6, line 2: the step from (0,0) to (4,0) is not "
            "to a neighbouring cell\n"
            "vantrel-inspect: warning: Table 6, line 2: the step from (4,0) to (2,1) is not "
            "to a neighbouring cell\n");
  if (have_program("xmllint")) {
    EXPECT_EQ(run_in(dir_, "xmllint --noout cells.svg jump.svg").status, 0);
  }
}

TEST_F(VantrelInspect, FovDrawsWhatTheViewerSeesOnATextMap) {
  // Table 2 reaches the 21 cells around the viewer with no coordinate
  // beyond 2 and not both beyond 1; the only line to (2,0) runs through
  // the wall at (2,1).
  write_file(dir_ / "room.txt",
             ".......\n"
             "...#...\n"
             ".......\r\n"
             ".......\n"
             ".......");
  const vantrel::Result seen = run({"fov", "room.txt", "--at=3,2", "--table", "2"});
  ASSERT_EQ(seen.status, 0) << seen.err;
  EXPECT_EQ(seen.out, "view.svg: 20 cells in view from (3,2)\n");
  const std::string svg = read_file(dir_ / "view.svg");
  EXPECT_NE(svg.find("7 x 5 cells; lines of table 2; 20 cells in view"), std::string::npos);
  if (have_program("xmllint")) {
    EXPECT_EQ(run_in(dir_, "xmllint --noout view.svg").status, 0);
  }

  write_file(dir_ / "ragged.txt", "...\n....\n");
  write_file(dir_ / "odd.txt", "..\x1b.\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"fov", "ragged.txt", "--at", "0,0", "--table", "3"}, 1,
       "ragged.txt: line 2 has 4 cells, line 1 has 3"},
      {{"fov", "odd.txt", "--at", "0,0", "--table", "3"}, 1,
       "odd.txt: line 1, cell 3: '\\x1b' where '#' or '.' belongs"},
      {{"fov", "room.txt", "--at", "7,0", "--table", "3"}, 1,
       "(7,0) is not on room.txt, which has 7 columns and 5 rows"},
      // Off the map is the map's to say, whatever the coordinates.
      {{"fov", "room.txt", "--at", "4096,0", "--table", "3"}, 1,
       "(4096,0) is not on room.txt, which has 7 columns and 5 rows"},
      {{"fov", "room.txt", "--at", "0,99999999999999999999999", "--table", "3"}, 1,
       "(0,99999999999999999999999) is not on room.txt"},
      {{"fov", "room.txt", "--at=-1,0", "--table", "3"}, 1, "(-1,0) is not on room.txt"},
      // Among several viewers, the one that is off.
      {{"fov", "room.txt", "--at", "1,1", "--at", "2,5", "--at", "6,4", "--table", "3"}, 1,
       "(2,5) is not on room.txt, which has 7 columns and 5 rows"},
      {{"fov", "room.txt", "--at", "0,0", "--table", "3", "--window", "0,0,7,4"}, 1,
       "the window 0,0,7,4 reaches beyond room.txt, which has 7 columns and 5 rows"},
      {{"fov", "missing.txt", "--at", "0,0", "--table", "3"}, 2, "cannot read missing.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const vantrel::Result result = run(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  }
}

// The map as a view picture draws it, a character per cell, row by row:
// 'o' clear and in view, '.' clear and out of it, 'W' a wall in view, '#'
// a wall out of it; read back from the runs of cells alike.
std::vector<std::string> cells_drawn(const std::string& svg, int width, int height) {
  std::vector<std::string> rows(static_cast<std::size_t>(height),
                                std::string(static_cast<std::size_t>(width), '?'));
  const std::pair<std::string, char> kinds[] = {
      {"#ffe98a", 'o'}, {"#d4d4d4", '.'}, {"#8c5a2b", 'W'}, {"#3a3a3a", '#'}};
  const std::size_t map = svg.find("shape-rendering=\"crispEdges\"");
  const std::size_t end = svg.find("</g>", map);
  for (std::size_t at = svg.find("<rect x=\"", map); at < end;
       at = svg.find("<rect x=\"", at + 1)) {
    int x = 0;
    int y = 0;
    int run = 0;
    char fill[8] = {};
    if (std::sscanf(svg.c_str() + at,
                    "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"%7s", &x, &y,
                    &run, fill) != 4) {
      ADD_FAILURE() << svg.substr(at, 80);
      continue;
    }
    for (const auto& [colour, kind] : kinds) {
      if (colour != fill) continue;
      const auto cells = static_cast<std::size_t>(run);
      rows.at(static_cast<std::size_t>(y)).replace(static_cast<std::size_t>(x), cells, cells, kind);
    }
  }
  return rows;
}

// --symmetric draws the library's symmetric view, or the union of them for
// several viewers, and names it; tables beyond its largest are refused.
TEST_F(VantrelInspect, FovDrawsTheSymmetricView) {
  const std::vector<std::string> rows = {"..#.......#...", "......#.......", "...#.....#..#.",
                                         "..............", ".#....##......", "........#....."};
  std::string text;
  std::vector<std::uint8_t> opaque;
  for (const std::string& row : rows) {
    text += row + "\n";
    for (const char cell : row) opaque.push_back(cell == '#' ? 1 : 0);
  }
  write_file(dir_ / "map.txt", text);
  const int width = static_cast<int>(rows[0].size());
  const int height = static_cast<int>(rows.size());
  const vantrel::SymmetricView symmetric(vantrel::FieldOfView(vantrel::make_table(7)));
  for (const std::vector<vantrel::Cell>& viewers :
       {std::vector<vantrel::Cell>{{4, 3}}, std::vector<vantrel::Cell>{{0, 0}, {12, 5}}}) {
    std::vector<std::string> args = {"fov", "map.txt", "--table", "7", "--symmetric"};
    std::vector<std::uint8_t> expected(opaque.size());
    std::vector<std::uint8_t> one(opaque.size());
    for (const vantrel::Cell viewer : viewers) {
      args.insert(args.end(), {"--at", std::to_string(viewer.x) + "," + std::to_string(viewer.y)});
      symmetric.compute(viewer, width, height, opaque, one);
      for (std::size_t at = 0; at < one.size(); ++at) expected[at] |= one[at];
    }
    const vantrel::Result result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string svg = read_file(dir_ / "view.svg");
    EXPECT_NE(svg.find("lines of table 7, symmetric; "), std::string::npos);
    const std::vector<std::string> drawn = cells_drawn(svg, width, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const char kind = drawn[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
        EXPECT_EQ(kind == 'o' || kind == 'W',
                  expected[static_cast<std::size_t>(y * width + x)] != 0)
            << "(" << x << "," << y << ")";
      }
    }
  }
  const vantrel::Result refused =
      run({"fov", "map.txt", "--at", "1,1", "--table", "201", "--symmetric"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--symmetric takes a table from 1 to 200, not 201"),
            std::string::npos)
      << refused.err;
  for (const auto& [walls, message] :
       {std::pair<std::vector<std::string>, std::string>{{"--walls", "lit"}, "--walls: lit"},
        {{"--cone", "90"}, "--cone takes DIR,WIDTH"},
        {{"--cone", "90,0"}, "--cone takes DIR,WIDTH"},
        {{"--cone", "nan,90"}, "--cone takes DIR,WIDTH"},
        {{"--unseen-walls", "--walls", "facing"},
         "--unseen-walls and --walls facing disagree: give one"}}) {
    std::vector<std::string> args = {"fov", "map.txt", "--at", "1,1", "--table", "3"};
    args.insert(args.end(), walls.begin(), walls.end());
    const vantrel::Result wrong = run(args);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find(message), std::string::npos) << wrong.err;
  }
}

// Several viewers see what any of them sees, and walls left out of the
// view are exactly the walls that were in it, but where a viewer stands.
TEST_F(VantrelInspect, FovDrawsTheViewOfSeveralViewersWithOrWithoutWalls) {
  write_file(dir_ / "rooms.txt",
             "..........#.........\n"
             "..........#.........\n"
             "...##.....#...#.....\n"
             "..........#.........\n"
             "....................\n"
             "..........#.....##..\n"
             "......#...#.........\n"
             "..........#.........\n");
  constexpr int kWidth = 20;
  constexpr int kHeight = 8;
  struct Case {
    const char* name;
    std::vector<std::string> viewers;
    const char* table;
  } cases[] = {
      {"one viewer", {"2,1"}, "6"},
      {"two rooms, a wall between", {"3,4", "15,1"}, "6"},
      {"three, one on a wall, views overlapping", {"4,2", "5,5", "10,4"}, "4"},
      {"a viewer given twice", {"2,1", "12,6", "2,1"}, "12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"fov", "rooms.txt", "--table", c.table};
    for (const std::string& at : c.viewers) args.insert(args.end(), {"--at", at});
    auto drawn = [&](const std::vector<std::string>& more) {
      std::vector<std::string> all = args;
      all.insert(all.end(), more.begin(), more.end());
      const vantrel::Result result = run(all);
      EXPECT_EQ(result.status, 0) << result.err;
      return std::pair(result.out, cells_drawn(read_file(dir_ / "view.svg"), kWidth, kHeight));
    };
    const auto [seen_line, seen] = drawn({});
    const auto [unseen_line, unseen] = drawn({"--unseen-walls"});
    EXPECT_NE(read_file(dir_ / "view.svg").find("; walls out of view; "), std::string::npos);
    EXPECT_EQ(drawn({"--walls", "unseen"}).second, unseen);
    EXPECT_EQ(drawn({"--walls", "seen"}).second, seen);
    // A cone of the whole circle is the view; half of it, a part of it.
    EXPECT_EQ(drawn({"--cone", "-90,360"}).second, seen);
    const std::vector<std::string> west = drawn({"--cone", "180,180"}).second;
    EXPECT_NE(read_file(dir_ / "view.svg").find("; a cone of 180 degrees about 180; "),
              std::string::npos);
    for (std::size_t y = 0; y < seen.size(); ++y) {
      for (std::size_t x = 0; x < seen[y].size(); ++x) {
        if (west[y][x] == 'o' || west[y][x] == 'W') {
          EXPECT_EQ(west[y][x], seen[y][x]);
        }
      }
    }
    // Facing walls: the clear cells of the view, and more walls than seen.
    const std::vector<std::string> facing = drawn({"--walls", "facing"}).second;
    EXPECT_NE(read_file(dir_ / "view.svg").find("; walls facing the viewer"),
              std::string::npos);
    for (std::size_t y = 0; y < seen.size(); ++y) {
      for (std::size_t x = 0; x < seen[y].size(); ++x) {
        if (seen[y][x] == 'W') {
          EXPECT_EQ(facing[y][x], 'W');
        } else {
          EXPECT_EQ(facing[y][x] == 'o', seen[y][x] == 'o');
        }
      }
    }

    // The union of each viewer's own view, each drawn alone.
    std::vector<std::string> any(kHeight, std::string(kWidth, '.'));
    std::vector<std::string> distinct;
    for (const std::string& at : c.viewers) {
      if (std::find(distinct.begin(), distinct.end(), at) == distinct.end()) {
        distinct.push_back(at);
      }
      const vantrel::Result single = run({"fov", "rooms.txt", "--table", c.table, "--at", at});
      ASSERT_EQ(single.status, 0) << single.err;
      const std::vector<std::string> own =
          cells_drawn(read_file(dir_ / "view.svg"), kWidth, kHeight);
      for (std::size_t y = 0; y < any.size(); ++y) {
        for (std::size_t x = 0; x < any[y].size(); ++x) {
          if (own[y][x] == 'o' || own[y][x] == 'W') any[y][x] = own[y][x];
        }
      }
    }
    auto lit = [](const std::vector<std::string>& rows) {
      long count = 0;
      for (const std::string& row : rows) {
        count += std::count_if(row.begin(), row.end(), [](char k) { return k == 'o' || k == 'W'; });
      }
      return count;
    };
    auto in_view = [](const std::vector<std::string>& rows) {
      std::vector<std::string> marks = rows;
      for (std::string& row : marks) {
        for (char& k : row) k = k == 'o' || k == 'W' ? '+' : '-';
      }
      return marks;
    };
    EXPECT_EQ(in_view(seen), in_view(any));
    const std::string from =
        distinct.size() == 1 ? "(" + distinct[0] + ")"
                             : std::to_string(distinct.size()) + " viewers";
    EXPECT_EQ(seen_line,
              "view.svg: " + std::to_string(lit(seen)) + " cells in view from " + from + "\n");

    // The same view, but the walls in it out of it, other than a viewer's own.
    std::vector<std::string> without_walls = seen;
    for (std::size_t y = 0; y < without_walls.size(); ++y) {
      for (std::size_t x = 0; x < without_walls[y].size(); ++x) {
        const std::string here = std::to_string(x) + "," + std::to_string(y);
        const bool viewer = std::find(distinct.begin(), distinct.end(), here) != distinct.end();
        if (without_walls[y][x] == 'W' && !viewer) without_walls[y][x] = '#';
      }
    }
    EXPECT_EQ(unseen, without_walls);
    EXPECT_LT(lit(unseen), lit(seen));
    EXPECT_EQ(unseen_line,
              "view.svg: " + std::to_string(lit(unseen)) + " cells in view from " + from + "\n");
  }
}

// The numbers along a view picture's axes name the cells beside them, by
// the map's coordinates, windowed or not, and never crowd each other.
TEST_F(VantrelInspect, FovNumbersTheColumnsAndRowsByTheMapsCoordinates) {
  auto map_of = [](int width, int height) {
    std::string rows;
    for (int y = 0; y < height; ++y) {
      rows += std::string(static_cast<std::size_t>(width), '.') + "\n";
    }
    return rows;
  };
  write_file(dir_ / "small.txt", map_of(7, 5));
  write_file(dir_ / "wide.txt", map_of(300, 120));
  write_file(dir_ / "large.txt", map_of(2500, 1200));
  struct Case {
    std::vector<std::string> args;
    int x0, y0, x1, y1;  // the cells drawn
  } cases[] = {
      {{"small.txt", "--at", "3,2"}, 0, 0, 6, 4},
      {{"wide.txt", "--at", "150,60"}, 0, 0, 299, 119},
      {{"wide.txt", "--at", "150,60", "--window", "133,45,171,70"}, 133, 45, 171, 70},
      {{"large.txt", "--at", "2000,900", "--window", "1990,893,2031,897"}, 1990, 893, 2031, 897},
      {{"large.txt", "--at", "2000,900", "--window", "100,0,2499,1199"}, 100, 0, 2499, 1199},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::vector<std::string> args = {"fov", "--table", "5"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const vantrel::Result result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string svg = read_file(dir_ / "view.svg");
    // Where the map's cells lie: left and top of the first, and the size of one.
    double left = 0;
    double top = 0;
    double cell = 0;
    const std::size_t map = svg.find("<g transform=\"translate(");
    ASSERT_EQ(std::sscanf(svg.c_str() + map, "<g transform=\"translate(%lf %lf) scale(%lf)", &left,
                          &top, &cell),
              3);
    struct Axis {
      const char* group;  // the start tag of its numbers' group
      bool columns;
      int first, last;
      double least_gap;  // pixels from one number to the next, at the least
    } axes[] = {
        {"<g fill=\"#555\" font-size=\"10\" text-anchor=\"middle\">\n", true, c.x0, c.x1,
         6.5 * static_cast<double>(std::to_string(std::max(c.x1, c.y1)).size())},
        {"<g fill=\"#555\" font-size=\"10\" text-anchor=\"end\">\n", false, c.y0, c.y1, 10},
    };
    for (const Axis& axis : axes) {
      SCOPED_TRACE(axis.columns ? "columns" : "rows");
      std::size_t at = svg.find(axis.group);
      ASSERT_NE(at, std::string::npos);
      at += std::strlen(axis.group);
      std::vector<int> numbers;
      for (; svg.compare(at, 6, "<text ") == 0; at = svg.find('\n', at) + 1) {
        double x = 0;
        double y = 0;
        int number = 0;
        ASSERT_EQ(std::sscanf(svg.c_str() + at, "<text x=\"%lf\" y=\"%lf\">%d</text>", &x, &y,
                              &number),
                  3)
            << svg.substr(at, 60);
        // The centre of its column, above the map; or level with its row's
        // centre (the baseline a third of the type below), left of the map.
        if (axis.columns) {
          EXPECT_NEAR((x - left) / cell + c.x0 - 0.5, number, 0.01);
          EXPECT_LT(y, top);
        } else {
          EXPECT_NEAR((y - 3.5 - top) / cell + c.y0 - 0.5, number, 0.01);
          EXPECT_LT(x, left);
        }
        numbers.push_back(number);
      }
      ASSERT_GE(numbers.size(), 2u);
      // Evenly, every 1, 2, 5, 10, ... cells, from the window's first to its last.
      const int step = numbers[1] - numbers[0];
      const std::string digits = std::to_string(step);
      EXPECT_TRUE(digits.find_first_of("125") == 0 &&
                  digits.find_first_not_of('0', 1) == std::string::npos)
          << step;
      for (std::size_t n = 1; n < numbers.size(); ++n) {
        EXPECT_EQ(numbers[n] - numbers[n - 1], step);
      }
      EXPECT_EQ(numbers.front() % step, 0);
      EXPECT_GE(numbers.front(), axis.first);
      EXPECT_LT(numbers.front(), axis.first + step);
      EXPECT_LE(numbers.back(), axis.last);
      EXPECT_GT(numbers.back(), axis.last - step);
      EXPECT_GE(step * cell, axis.least_gap);
    }
  }
  // A window too narrow for a multiple of the step: its first column has
  // the number.
  const vantrel::Result narrow =
      run({"fov", "--table", "5", "wide.txt", "--at", "150,60", "--window", "133,45,134,119"});
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  const std::string svg = read_file(dir_ / "view.svg");
  const std::string columns = "<g fill=\"#555\" font-size=\"10\" text-anchor=\"middle\">\n";
  const std::size_t first = svg.find(columns) + columns.size();
  const std::string numbers = svg.substr(first, svg.find("</g>", first) - first);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), '\n'), 1) << numbers;
  EXPECT_NE(numbers.find(">133</text>"), std::string::npos) << numbers;
}

// A picture never takes the place of the file it is drawn from, under any
// of its names, nor when standard input reads it.
TEST_F(VantrelInspect, APictureNeverReplacesTheFileItIsDrawnFrom) {
  const std::string tables = tables_of("96");
  write_file(dir_ / "map.txt", "...\n.#.\n...\n");
  fs::create_symlink("LOS.TDF", dir_ / "link.tdf");
  constexpr char kNamed[] = "is the file read; the picture would replace it\n";
  constexpr char kOnInput[] =
      "is the file read on standard input; the picture would replace it\n";
  struct Case {
    std::vector<std::string> args;
    const char* input_file;  // standard input, or none
    const char* message;
  } cases[] = {
      {{"draw", "LOS.TDF", "--table", "3", "-o", "LOS.TDF"}, nullptr, kNamed},
      {{"draw", "--table", "3", "-o", "./link.tdf"}, nullptr, kNamed},
      {{"fov", "map.txt", "--at", "1,1", "--table", "3", "-o", "map.txt"}, nullptr, kNamed},
      {{"draw", "-", "--table", "3", "-o", "LOS.TDF"}, "LOS.TDF", kOnInput},
      {{"draw", "-", "--table", "3", "-o", "link.tdf"}, "LOS.TDF", kOnInput},
      {{"fov", "-", "--at", "1,1", "--table", "3", "-o", "map.txt"}, "map.txt", kOnInput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    vantrel::RunOptions options;
    if (c.input_file != nullptr) options.input_file = c.input_file;
    const vantrel::Result result = run(c.args, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(dir_ / "LOS.TDF"), tables);
    EXPECT_EQ(read_file(dir_ / "map.txt"), "...\n.#.\n...\n");
  }
  // Standard input from another file leaves OUT to be written.
  const vantrel::Result other = run({"fov", "-", "--at", "1,1", "--table", "3", "-o", "view.svg"},
                                    {.input_file = "map.txt"});
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(other.out, "view.svg: 9 cells in view from (1,1)\n");
}

// A picture that replaces a file keeps its access control list and
// extended attributes, as vantrel keeps LOS.TDF's.
TEST_F(VantrelInspect, APictureKeepsTheAccessListAndAttributesOfTheFileItReplaces) {
  tables_of("96");
  write_file(dir_ / "three.svg", "old");
  fs::permissions(dir_ / "three.svg", fs::perms(0640));
  // Group denied, user 65534 let read: "-rw-r-----+".
  const std::string narrow =
      vantrel::access_list({{0x01, 6}, {0x02, 4, 65534}, {0x04, 0}, {0x10, 4}, {0x20, 0}});
  if (!vantrel::set_attribute(dir_ / "three.svg", "user.origin", "editor") ||
      !vantrel::set_attribute(dir_ / "three.svg", vantrel::kAccessList, narrow)) {
    GTEST_SKIP() << "the file system cannot keep extended attributes or access lists: "
                 << std::strerror(errno);
  }
  const vantrel::Result result = run({"draw", "--table", "3", "-o", "three.svg"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "three.svg: Table 3, 4 lines\n");
  EXPECT_NE(read_file(dir_ / "three.svg"), "old");
  EXPECT_EQ(fs::status(dir_ / "three.svg").permissions(), fs::perms(0640));
  EXPECT_EQ(vantrel::attribute_of(dir_ / "three.svg", vantrel::kAccessList), narrow);
  EXPECT_EQ(vantrel::attribute_of(dir_ / "three.svg", "user.origin"), "editor");
}

TEST_F(VantrelInspect, DrawRemovesNothingItDidNotMakeWhenWritingFails) {
  tables_of("192");
  fs::create_symlink("/dev/full", dir_ / "full.svg");
  const Result result = inspect("draw --table 6 -o full.svg");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.out.find("cannot write full.svg"), std::string::npos) << result.out;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "full.svg")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(VantrelInspect, ReadsTheCommandLineAsUsersWriteIt) {
  const std::string program_help =
      "usage: vantrel-inspect check [FILE]\n       vantrel-inspect draw [FILE] --table K";
  const std::string check_help = "usage: vantrel-inspect check [FILE]\n\n";
  const std::string draw_help = "usage: vantrel-inspect draw [FILE] --table K";
  const std::string bad_table = "--table takes a table number from 1 to 2000, not ";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;  // what standard output begins with
    std::string err;  // the first line on standard error, less "vantrel-inspect: "
  } cases[] = {
      {{"--version"}, 0, "vantrel-inspect " VANTREL_VERSION_STRING "\n", ""},
      {{"--help"}, 0, program_help, ""},
      {{"-h"}, 0, program_help, ""},
      {{"check", "--help"}, 0, check_help, ""},
      {{"check", "-h"}, 0, check_help, ""},
      {{"draw", "--help"}, 0, draw_help, ""},
      {{"draw", "--table", "x", "-h"}, 0, draw_help, ""},
      {{}, 2, "", "no command given"},
      {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
      {{"--frob", "check"}, 2, "", "unknown option '--frob'"},
      {{"draw", "--table", "3", "--frob"}, 2, "", "unknown option '--frob'"},
      {{"check", "-\x1b]0;x\x07"}, 2, "", "unknown option '-\\x1b]0;x\\x07'"},
      {{"draw", "--table"}, 2, "", "--table needs a value"},
      {{"draw", "--table=3", "-o"}, 2, "", "-o needs a value"},
      {{"draw", "--line", "2"}, 2, "", "draw needs --table K"},
      {{"draw", "--table", "12x"}, 2, "", bad_table + "'12x'"},
      {{"draw", "--table", ""}, 2, "", bad_table + "''"},
      {{"draw", "--table=0x10"}, 2, "", bad_table + "'0x10'"},
      {{"draw", "--table= 3"}, 2, "", bad_table + "' 3'"},
      {{"draw", "--table", "-3"}, 2, "", bad_table + "'-3'"},
      {{"draw", "--table", "2001"}, 2, "", bad_table + "'2001'"},
      {{"draw", "--table", "3", "--line", "0"}, 2, "", "--line takes a line number from 1 to 1073741824, not '0'"},
      {{"draw", "--table", "3", "--window", "0,0,4,1"}, 2, "",
       "--window takes X0,Y0,X1,Y1 with 0 <= X0 <= X1 <= 3 and 0 <= Y0 <= Y1 <= 3, not "
       "'0,0,4,1'"},
      {{"draw", "--table", "3", "--window=2,0,1,1"}, 2, "",
       "--window takes X0,Y0,X1,Y1 with 0 <= X0 <= X1 <= 3 and 0 <= Y0 <= Y1 <= 3, not "
       "'2,0,1,1'"},
      {{"draw", "--table", "3", "--window", "0,0,1"}, 2, "",
       "--window takes X0,Y0,X1,Y1 with 0 <= X0 <= X1 <= 3 and 0 <= Y0 <= Y1 <= 3, not "
       "'0,0,1'"},
      {{"fov", "--help"}, 0, "usage: vantrel-inspect fov MAP --at X,Y [--at X,Y]... --table K\n",
       ""},
      {{"fov", "--at", "1,1", "--table", "3"}, 2, "", "fov needs MAP"},
      {{"fov", "m.txt", "--table", "3"}, 2, "", "fov needs --at X,Y"},
      {{"fov", "m.txt", "--at", "1,1"}, 2, "", "fov needs --table K"},
      {{"fov", "m.txt", "--at", "1;1", "--table", "3"}, 2, "",
       "--at takes X,Y, a column and a row from 0, not '1;1'"},
      {{"fov", "m.txt", "--at", "1,1", "--at", "2", "--table", "3"}, 2, "",
       "--at takes X,Y, a column and a row from 0, not '2'"},
      {{"fov", "m.txt", "--at", "1,1", "--table", "501"}, 2, "",
       "--table takes a table number from 1 to 500, not '501'"},
      {{"fov", "m.txt", "--at", "1,1", "--table", "3", "--window", "2,0,1,1"}, 2, "",
       "--window takes X0,Y0,X1,Y1 with X0 <= X1 and Y0 <= Y1, not '2,0,1,1'"},
      {{"draw", "--table", "3", "-o", ""}, 2, "", "-o needs a file name, not ''"},
      {{"fov", "m.txt", "--output", "", "--at", "1,1", "--table", "3"}, 2, "",
       "--output needs a file name, not ''"},
      {{"check", "a.tdf", "b.tdf"}, 2, "", "check takes one FILE at most, not also 'b.tdf'"},
      {{"draw", "a.tdf", "--table", "3", "b.tdf"}, 2, "",
       "draw takes one FILE at most, not also 'b.tdf'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const vantrel::Result result = run(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out.substr(0, std::max(c.out.size(), std::size_t{1})), c.out);
    if (c.status == 0) {
      EXPECT_EQ(result.err, "");
    } else {
      // The problem on one line, then where to read more.
      EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1),
                "vantrel-inspect: " + c.err + "\n");
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    }
  }
}

// "--output=" followed by a file must not write the picture over it: an
// option given "=" and nothing needs a value, wherever it stands.
TEST_F(VantrelInspect, AnOptionGivenNoValueNeverTakesTheNextArgument) {
  const std::string tables = tables_of("96");
  write_file(dir_ / "map.txt", "...\n.#.\n...\n");
  struct Case {
    std::vector<std::vector<std::string>> groups;  // the arguments, in groups kept whole
    std::vector<std::string> options;
  } cases[] = {
      {{{"draw"}, {"--table", "3"}, {"LOS.TDF"}}, {"--table", "--line", "--window", "--output"}},
      {{{"fov"}, {"--at", "1,1"}, {"--table", "3"}, {"map.txt"}},
       {"--at", "--table", "--window", "--output"}},
      {{{"check"}, {"LOS.TDF"}}, {"--output", "--table"}},
  };
  for (const Case& c : cases) {
    for (const std::string& option : c.options) {
      for (std::size_t at = 1; at <= c.groups.size(); ++at) {
        std::vector<std::string> args;
        for (std::size_t group = 0; group < c.groups.size(); ++group) {
          if (group == at) args.push_back(option + "=");
          args.insert(args.end(), c.groups[group].begin(), c.groups[group].end());
        }
        if (at == c.groups.size()) args.push_back(option + "=");
        SCOPED_TRACE(testing::PrintToString(args));
        const vantrel::Result result = run(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1),
                  "vantrel-inspect: " + option + " needs a value\n");
        EXPECT_EQ(read_file(dir_ / "LOS.TDF"), tables);
        EXPECT_EQ(read_file(dir_ / "map.txt"), "...\n.#.\n...\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
      }
    }
  }
}

// A map of 1,001 by 1,000 cells, every other one a wall: a picture of a
// million runs of a colour and more, past what a viewer opens.
TEST_F(VantrelInspect, APictureTooLargeToOpenIsRefusedBeforeAByteIsWritten) {
  std::string checkerboard;
  for (int y = 0; y < 1000; ++y) {
    for (int x = 0; x < 1001; ++x) checkerboard += (x + y) % 2 == 0 ? '.' : '#';
    checkerboard += '\n';
  }
  write_file(dir_ / "board.txt", checkerboard);
  for (const std::string output : {"view.svg", "-"}) {
    SCOPED_TRACE(output);
    const vantrel::Result refused = run({"fov", "board.txt", "--at", "500,500", "--table", "12",
                                         "-o", output});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("vantrel-inspect: the picture would take "), std::string::npos)
        << refused.err;
    // The runs, the viewer, the heading and the legend, and the axes'
    // numbers: at a pixel a cell, every 50th column (21) and 20th row (50),
    // in a group each.
    EXPECT_NE(refused.err.find(" bytes and 1001090 elements, more than a viewer opens (64 MiB, "
                               "1000000 elements); draw a part of it with --window"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(dir_ / "view.svg"));
  }
  // A part of it.
  const vantrel::Result part = run({"fov", "board.txt", "--at", "500,500", "--table", "12",
                                    "--window", "480,490,520,510"});
  EXPECT_EQ(part.status, 0) << part.err;
  EXPECT_EQ(part.out, "view.svg: 61 cells in view from (500,500)\n");
  const std::string svg = read_file(dir_ / "view.svg");
  EXPECT_NE(svg.find("1001 x 1000 cells; lines of table 12; 61 cells in view; cells (480,490) "
                     "to (520,510)"),
            std::string::npos);
  // 21 rows of 41 cells, each its own run; the legend's four keys.
  std::size_t rects = 0;
  for (std::size_t at = svg.find("<rect "); at != std::string::npos; at = svg.find("<rect ", at + 1)) {
    ++rects;
  }
  EXPECT_EQ(rects, 1 + 21 * 41 + 4u);
  if (have_program("xmllint")) {
    EXPECT_EQ(run_in(dir_, "xmllint --noout view.svg").status, 0);
  }
}

// A reader that goes away is a failed write, said as such.
TEST_F(VantrelInspect, APictureWhoseReaderHasGoneIsAFailedWrite) {
  std::string board;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) board += (x + y) % 2 == 0 ? '.' : '#';
    board += '\n';
  }
  write_file(dir_ / "board.txt", board);
  const Result piped = run_in(
      dir_, "{ { " + std::string(VANTREL_INSPECT_BINARY) +
                " fov board.txt --at 1,1 --table 5 -o - 2>&3; echo \"status $?\" >&3; } | "
                "head -c 1 >/dev/null; } 3>&1");
  EXPECT_EQ(piped.out, "vantrel-inspect: cannot write to standard output: Broken pipe\nstatus 2\n");

  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const Result fifo = run_in(
      dir_, "{ timeout 20 head -c 1 fifo >/dev/null & " + std::string(VANTREL_INSPECT_BINARY) +
                " fov board.txt --at 1,1 --table 5 -o fifo; echo \"status $?\"; wait; }");
  EXPECT_EQ(fifo.out, "vantrel-inspect: cannot write fifo: Broken pipe\nstatus 2\n");
}

TEST_F(VantrelInspect, DrawWritesThePictureAloneToStandardOutput) {
  const std::string file = tables_of("384");  // 12 tables
  const vantrel::Result result = run({"draw", "--table", "12", "-o", "-"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  ASSERT_EQ(run({"draw", "--table", "12", "-o", "twelve.svg"}).status, 0);
  EXPECT_EQ(result.out, read_file(dir_ / "twelve.svg"));
  const std::vector<std::string> spellings[] = {{"draw", "--table=12", "-o", "-"},
                                                {"draw", "LOS.TDF", "--output=-", "--table=12"},
                                                {"draw", "-o-", "--table", "12"}};
  for (const std::vector<std::string>& args : spellings) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(run(args).out, result.out);
  }

  // And from a pipe.
  const vantrel::Result piped = run({"draw", "-", "--table", "3", "-o", "-"}, {.input = file});
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  const vantrel::Result written =
      run({"draw", "-", "--table", "3", "-o", "three.svg"}, {.input = file});
  EXPECT_EQ(written.out, "three.svg: Table 3, 4 lines\n");
  EXPECT_EQ(piped.out, read_file(dir_ / "three.svg"));
  EXPECT_NE(piped.out.find(">Table 3 of standard input<"), std::string::npos);
  if (have_program("xmllint")) {
    EXPECT_EQ(run_in(dir_, "xmllint --noout three.svg").status, 0);
  }
}

// A pipe cannot be rewound: the checker reads its input once.
TEST_F(VantrelInspect, CheckReadsAFileFromAPipe) {
  const std::string good = tables_of("640");  // 20 tables
  const std::size_t digit = good.find("\tline10=", good.find("[Table15]")) + 12;
  std::string changed = good;
  changed[digit] = good[digit] == '7' ? '8' : '7';
  struct Case {
    const char* name;
    std::string bytes;
    int status;
    std::vector<std::string> words;  // each must appear on standard output
  } cases[] = {
      {"the right file", good, 0,
       {"standard input: 20 tables, exactly as vantrel 609 to 640 writes them\n"}},
      {"one changed digit", changed, 1,
       {"standard input: Table 15, line 10 differs", "at byte " + std::to_string(digit)}},
      {"cut inside an entry", good.substr(0, good.find("\tline3=", good.find("[Table12]")) + 9),
       1, {"standard input: the file ends inside Table 12, line 3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const vantrel::Result result = run({"check", "-"}, {.input = c.bytes});
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.err, "");
    for (const std::string& words : c.words) {
      EXPECT_NE(result.out.find(words), std::string::npos) << result.out;
    }
  }
}

TEST_F(VantrelInspect, NamesInMessagesCannotDriveTheTerminal) {
  tables_of("96");  // 3 tables
  // Sets the title of many terminals, and hides itself.
  const std::string name = "\x1b]0;owned\x07";
  const std::string shown = "\\x1b]0;owned\\x07";
  fs::copy_file(dir_ / "LOS.TDF", dir_ / (name + ".tdf"));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"draw", "--table", "3", "-o", name + ".svg"}, 0, shown + ".svg: Table 3, 4 lines\n", ""},
      {{"check", name + ".tdf"},
       0,
       shown + ".tdf: 3 tables, exactly as vantrel 65 to 96 writes them\n",
       ""},
      {{"check", name + "\r\n"},
       2,
       "",
       "vantrel-inspect: cannot read " + shown + "\\r\\n: No such file or directory\n"},
      {{"draw", name + ".tdf", "--table", "4"},
       1,
       "",
       "vantrel-inspect: " + shown + ".tdf has no Table 4 (it has 3 tables)\n"},
      {{"draw", "--table", "3", "-o", "none/" + name},
       2,
       "",
       "vantrel-inspect: cannot open none/" + shown + ": No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const vantrel::Result result = run(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
  }
  EXPECT_TRUE(fs::exists(dir_ / (name + ".svg")));
}

}  // namespace
