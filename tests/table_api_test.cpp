// Tables as engines get them: made in memory, or read from a table file,
// and refused with a message when the file is not one.
#include "vantrel/table.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "lib/error_report.h"
#include "table_file_bytes.h"
#include "test_files.h"
#include "vantrel/field_of_view.h"
#include "vantrel/symmetric_view.h"

namespace vantrel {
namespace {

// The former names still compile, with a warning, and mean what they meant.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static_assert(kLargestRadius == kLargestTableRadius && kLargestTableRadius == 46340);
static_assert(FieldOfView::kLargestRadius == FieldOfView::kLargestViewRadius &&
              FieldOfView::kLargestViewRadius == 32767);
static_assert(SymmetricView::kLargestRadius == SymmetricView::kLargestSymmetricRadius &&
              SymmetricView::kLargestSymmetricRadius == 200);
#pragma GCC diagnostic pop

TEST(Table, MadeInMemoryIsTheTableOfTheFile) {
  const std::string bytes = table_file_bytes(40);
  TableFile file = TableFile::from_bytes(bytes);
  ASSERT_EQ(file.radii().size(), 40u);
  for (const int radius : {1, 2, 7, 12, 33, 40}) {
    SCOPED_TRACE(radius);
    EXPECT_EQ(file.table(radius), make_table(radius));
  }
  // Line 1 is the largest endpoint; the last runs up the y axis.
  const Table four = make_table(4);
  ASSERT_EQ(four.lines().size(), 6u);
  EXPECT_EQ(four.lines().front(), (std::vector<Cell>{{1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(four.lines().back(), (std::vector<Cell>{{0, 1}, {0, 2}, {0, 3}, {0, 4}}));

  // From a file on disk, the same; opened once for several tables.
  TempDir temp("table-api");
  std::ofstream(temp.path() / "LOS.TDF", std::ios::binary) << bytes;
  TableFile on_disk((temp.path() / "LOS.TDF").string());
  EXPECT_EQ(on_disk.table(40), make_table(40));
  EXPECT_EQ(on_disk.table(3), make_table(3));
  EXPECT_EQ(read_table((temp.path() / "LOS.TDF").string(), 12), make_table(12));

  EXPECT_THROW(make_table(0), std::invalid_argument);
  EXPECT_THROW(make_table(kLargestTableRadius + 1), std::invalid_argument);
}

TEST(Table, AFileThatIsNotATableFileIsRefusedWithAMessage) {
  const std::string good = table_file_bytes(3);
  auto with = [&](const std::string& from, const std::string& to) {
    std::string bytes = good;
    return bytes.replace(bytes.find(from), from.size(), to);
  };
  // An entry of `points` points between (1,0) and (1,1).
  auto bouncing = [](int points) {
    std::string entry = "line1=" + std::to_string(points);
    for (int i = 0; i < points; ++i) entry += i % 2 == 0 ? ",1,0" : ",1,1";
    return entry + ";";
  };
  struct Case {
    const char* name;
    std::string bytes;
    int radius;
    std::string message;
  } cases[] = {
      {"empty", "", 1, "x.tdf: not a table file: it is empty"},
      {"not a table file", "GIF89a", 1, "x.tdf: not a table file: it does not begin with [TABLEINFO]"},
      {"no such table", good, 4, "x.tdf: it has no Table 4"},
      {"a jump", with("line1=2,1,1,1,2;", "line1=2,0,2,1,2;"), 2,
       "x.tdf: Table 2, line 1 (line 15 of the file): the step from (0,0) to (0,2) is not to "
       "a neighbouring cell"},
      {"a wrong number", with("line2=2,0,1,0,2;", "line3=2,0,1,0,2;"), 2,
       "x.tdf: Table 2, line 2 (line 16 of the file): the entry is numbered 3"},
      {"a wrong length", with("line2=2,0,1,0,2;", "line2=3,0,1,0,2;"), 2,
       "x.tdf: Table 2, line 2 (line 16 of the file): it states 3 points but has 2"},
      {"a point outside", with("\tline1=1,0,1;", "\tline1=2,0,1,0,2;"), 1,
       "x.tdf: Table 1, line 1 (line 9 of the file): the point (0,2) lies outside 0 to 1"},
      {"numlines wrong", with("numlines=2;", "numlines=3;"), 2,
       "x.tdf: Table 2 (line 14 of the file): numlines=3 but the table has 2 lines"},
      {"numlines huge", with("numlines=2;", "numlines=99999999999;"), 2,
       "numlines=99999999999 but the table has 2 lines"},
      {"cut", good.substr(0, good.find("[Table3]") + 30), 3,
       "x.tdf: Table 3: the file ends at line 22, before the table's closing brace"},
      {"garbage in a table", with("\tline1=1,0,1;", "\tline1=1,0,1;x"), 1,
       "x.tdf: Table 1 (line 9 of the file): expected line1=... or }, found \"\\tline1=1,0,1;x\""},
      {"a line too long", with("\tline1=1,0,1;", std::string(2 << 20, '1')), 1,
       "is longer than any line of a table"},
      {"radius out of range", with("[Table3]", "[Table99999]"), 3, "Table 99999 (line"},
      {"a line that steps back and forth", with("line1=2,1,1,1,2;", bouncing(5)), 2,
       "x.tdf: Table 2, line 1 (line 15 of the file): it has 5 points, more than twice the "
       "radius"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      TableFile file = TableFile::from_bytes(c.bytes, "x.tdf");
      file.table(c.radius);
      ADD_FAILURE() << "no error";
    } catch (const TableFileError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
    // Without exceptions: the same message in an Error, and an empty table.
    Error error;
    std::optional<TableFile> file = TableFile::from_bytes(c.bytes, "x.tdf", error);
    const Table table = file ? file->table(c.radius, error) : Table();
    EXPECT_EQ(error.code, Error::Code::kTableFile);
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(table, Table());
  }
}

// One classification of what the library throws, for the calls that take
// an Error, the C API and the Python module alike: the library's own faults
// are not blamed on the caller, and a thread that cannot start is a
// resource that ran out.
TEST(Error, EachFailureHasOneCode) {
  const struct {
    const char* name;
    void (*fails)();
    Error::Code code;
    const char* message;
  } cases[] = {
      {"an argument", [] { throw std::invalid_argument("vantrel::x: bad"); },
       Error::Code::kInvalidArgument, "vantrel::x: bad"},
      {"a table file", [] { throw TableFileError("x.tdf: no"); }, Error::Code::kTableFile,
       "x.tdf: no"},
      {"memory", [] { throw std::bad_alloc(); }, Error::Code::kOutOfMemory, "out of memory"},
      {"a size no memory holds", [] { throw std::length_error("vector"); },
       Error::Code::kOutOfMemory, "out of memory"},
      {"a thread",
       [] {
         throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                 "vantrel::FogOfWar: cannot start a thread");
       },
       Error::Code::kOutOfMemory, "vantrel::FogOfWar: cannot start a thread"},
      {"a fault of the library's", [] { throw std::logic_error("vantrel::x: broken"); },
       Error::Code::kInternal, "vantrel::x: broken"},
      {"not an exception", [] { throw 7; }, Error::Code::kInternal,
       "an exception that is not a std::exception"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Error error;
    EXPECT_FALSE(catch_into(error, c.fails));
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message.rfind(c.message, 0), 0u) << error.message;
  }
  Error error{Error::Code::kInternal, "before"};
  EXPECT_TRUE(catch_into(error, [] {}));
  EXPECT_FALSE(error);
}

// The calls that do not throw report what the others throw, and clear an
// Error left from before when they succeed.
TEST(Table, CallsWithoutExceptionsReportInAnError) {
  Error error;
  EXPECT_EQ(make_table(0, error), Table());
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  EXPECT_EQ(error.message, "vantrel::make_table: the radius must be from 1 to 46340, not 0");
  EXPECT_EQ(make_table(kLargestTableRadius + 1, error), Table());
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);

  EXPECT_EQ(make_table(5, error), make_table(5));
  EXPECT_FALSE(error);
  EXPECT_TRUE(error.message.empty());

  const TempDir dir("errors");
  const std::string missing = (dir.path() / "no-such.tdf").string();
  EXPECT_EQ(read_table(missing, 1, error), Table());
  EXPECT_EQ(error.code, Error::Code::kTableFile);
  EXPECT_NE(error.message.find("cannot open it"), std::string::npos) << error.message;
  EXPECT_FALSE(TableFile::open(missing, error));
  EXPECT_EQ(error.code, Error::Code::kTableFile);

  const std::string path = (dir.path() / "three.tdf").string();
  std::ofstream(path, std::ios::binary) << table_file_bytes(3);
  std::optional<TableFile> file = TableFile::open(path, error);
  ASSERT_TRUE(file);
  EXPECT_FALSE(error);
  EXPECT_EQ(file->table(2, error), make_table(2));
  EXPECT_FALSE(error);
  EXPECT_EQ(read_table(path, 3, error), make_table(3));
  EXPECT_FALSE(error);
}

TEST(Table, AFileChangedSinceItWasOpenedIsSaidToHaveChanged) {
  const std::string good = table_file_bytes(3);
  const std::size_t inside = good.find("\tline2=", good.find("[Table2]"));
  struct Case {
    const char* name;
    std::string bytes;  // the file's bytes after it was opened
  } cases[] = {
      {"emptied", ""},
      {"cut before the table", good.substr(0, good.find("[Table2]") - 2)},
      {"cut inside the table", good.substr(0, inside + 4)},
      {"cut after a line of the table", good.substr(0, inside)},
      {"the table moved", "\r\n\r\n" + good.substr(0, good.size() - 4)},
      {"rewritten at the same size", std::string(good.size(), 'x')},
  };
  TempDir temp("table-api");
  const std::string path = (temp.path() / "x.tdf").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(path, std::ios::binary) << good;
    TableFile file(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
    try {
      file.table(2);
      ADD_FAILURE() << "no error";
    } catch (const TableFileError& error) {
      EXPECT_NE(std::string(error.what()).find("Table 2: the file has changed since it was opened"),
                std::string::npos)
          << error.what();
    }
  }
}

TEST(Table, AnyDamageGivesATableOrAMessage) {
  const std::string good = table_file_bytes(6);
  std::mt19937 random(7);
  for (int n = 0; n < 2000; ++n) {
    std::string bytes = good;
    for (int k = 0; k < 1 + n % 4; ++k) {
      bytes[random() % bytes.size()] = "0123456789,;=-\r\n{}[]x"[random() % 21];
    }
    try {
      TableFile file = TableFile::from_bytes(bytes);
      for (const int radius : file.radii()) {
        const Table table = file.table(radius);
        for (const std::vector<Cell>& line : table.lines()) {
          for (const Cell& cell : line) {
            ASSERT_TRUE(cell.x >= 0 && cell.y >= 0 && cell.x <= radius && cell.y <= radius);
          }
        }
      }
    } catch (const TableFileError&) {
    }
  }
}

}  // namespace
}  // namespace vantrel
