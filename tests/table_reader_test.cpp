#include "lib/table/table_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Kind = TableToken::Kind;

TEST(TableReader, TellsEachLineOfTheFormatByItsText) {
  struct Case {
    const char* text;
    Kind kind;
    std::int64_t number;
  } cases[] = {
      {"[TABLEINFO]", Kind::kHeader, 0},
      {"numtables=-3;", Kind::kTableCount, -3},
      {"[Table46340]", Kind::kTableOpening, 46340},
      {"\tnumlines=6;", Kind::kLineCount, 6},
      {"  \tline12=2,1,0,2,1;", Kind::kEntry, 12},
      {"line1=0;", Kind::kEntry, 1},
      {"{", Kind::kOpeningBrace, 0},
      {"\t}", Kind::kClosingBrace, 0},
      {" \t", Kind::kBlank, 0},
      // Near misses.
      {"[Table12] ", Kind::kOther, 0},
      {"[Table]", Kind::kOther, 0},
      {"numlines=+6;", Kind::kOther, 0},
      {"numlines=6", Kind::kOther, 0},
      {"line1=2,1,0,2;", Kind::kOther, 0},
      {"line1=1,1,99999999999;", Kind::kOther, 0},
      {"line99999999999999999999=0;", Kind::kOther, 0},
      {"line1=1,1,1;;", Kind::kOther, 0},
      {"[tableinfo]", Kind::kOther, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string bytes = std::string(c.text) + "\r\n";
    MemorySource source(bytes);
    TableReader reader(source);
    TableToken token;
    ASSERT_EQ(reader.next(token), TableReader::Status::kToken);
    EXPECT_EQ(token.kind, c.kind);
    EXPECT_EQ(token.number, c.number);
    EXPECT_EQ(token.text, c.text);
    EXPECT_EQ(reader.next(token), TableReader::Status::kEnd);
  }
}

TEST(TableReader, GivesEachLineItsOffsetAndNumberWhateverItsLineEnd) {
  // CR LF, LF, a lone CR inside a line, and a last line without a line end.
  const std::string bytes = "[Table2]\r\n{\n\tline1=2,1,1,2,2;\r\n\r\nx\ry\n}";
  MemorySource source(bytes);
  TableReader reader(source, TableReader::Points::kKeep, 1000, 50);
  struct Line {
    Kind kind;
    std::uint64_t offset;
    std::uint64_t line;
    std::size_t end_size;
  };
  const std::vector<Line> lines = {{Kind::kTableOpening, 1000, 50, 2}, {Kind::kOpeningBrace, 1010, 51, 1},
                                   {Kind::kEntry, 1012, 52, 2},        {Kind::kBlank, 1031, 53, 2},
                                   {Kind::kOther, 1033, 54, 1},        {Kind::kClosingBrace, 1037, 55, 0}};
  TableToken token;
  for (const Line& line : lines) {
    ASSERT_EQ(reader.next(token), TableReader::Status::kToken);
    EXPECT_EQ(token.kind, line.kind) << token.text;
    EXPECT_EQ(token.offset, line.offset) << token.text;
    EXPECT_EQ(token.line, line.line) << token.text;
    EXPECT_EQ(token.end_size, line.end_size) << token.text;
    if (token.kind == Kind::kEntry) {
      EXPECT_EQ(token.length, 2);
      EXPECT_EQ(token.points, (std::vector<Cell>{{1, 1}, {2, 2}}));
    }
  }
  EXPECT_EQ(reader.next(token), TableReader::Status::kEnd);
  EXPECT_EQ(reader.offset(), 1000 + bytes.size());
}

TEST(TableReader, StopsAtALineLongerThanAnyTableHas) {
  const std::string bytes = "{\r\n" + std::string(TableReader::kLongestLine + 1, '7') + "\r\n}";
  MemorySource source(bytes);
  TableReader reader(source);
  TableToken token;
  EXPECT_EQ(reader.next(token), TableReader::Status::kToken);
  EXPECT_EQ(reader.next(token), TableReader::Status::kTooLong);
  EXPECT_EQ(reader.line(), 2u);
}

}  // namespace
}  // namespace vantrel
