#include "losfile/table_format.h"

#include <string>

#include <gtest/gtest.h>

#include "losfile/table_builder.h"
#include "memory_sink.h"

namespace vantrel {
namespace {

std::string written_by(void (*write)(TableStream&)) {
  std::string bytes;
  TableStream stream;
  attach_memory(stream, &bytes);
  write(stream);
  stream.close();
  return bytes;
}

void write_entry(TableStream& stream, std::int32_t number, const CompactWalk& walk) {
  LineEntryText text;
  write_line_entry(stream, text, number, walk);
}

TEST(TableFormat, WritesTheBlocksOfTheFile) {
  struct Case {
    const char* name;
    void (*write)(TableStream&);
    const char* expected;
  } cases[] = {
      {"header", [](TableStream& s) { write_header_block(s, 3); },
       "[TABLEINFO]\r\n{\r\nnumtables=3;\r\n}"},
      {"negative header", [](TableStream& s) { write_header_block(s, -2); },
       "[TABLEINFO]\r\n{\r\nnumtables=-2;\r\n}"},
      {"opening", [](TableStream& s) { write_table_opening(s, 7); },
       "\r\n\r\n[Table7]\r\n{"},
      {"line count", [](TableStream& s) { write_line_count(s, 13); },
       "\r\n\tnumlines=13;"},
      {"entry along y",
       [](TableStream& s) {
         const MinorCoord minor[] = {0, 1, 1, 2, 2};
         write_entry(s, 6, {{2, 5}, minor});
       },
       "\r\n\tline6=5,0,1,1,2,1,3,2,4,2,5;"},
      {"entry along x",
       [](TableStream& s) {
         const MinorCoord minor[] = {1, 2, 2, 3};
         write_entry(s, 123456, {{4, 3}, minor});
       },
       "\r\n\tline123456=4,1,1,2,2,3,2,4,3;"},
      {"entry with a number beyond the digit texts",
       [](TableStream& s) {
         const MinorCoord minor[] = {1, 1, 2};
         write_entry(s, 12345678, {{2, 3}, minor});
       },
       "\r\n\tline12345678=3,1,1,1,2,2,3;"},
      {"closing", [](TableStream& s) { write_table_closing(s); }, "\r\n}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(written_by(c.write), c.expected);
  }
  // An empty file's header: 28 characters, 31 bytes with CR LF line ends.
  EXPECT_EQ(written_by([](TableStream& s) { write_header_block(s, 0); }).size(),
            31u);
}

// What counts the file's bytes and lines from its syntax (the size bound,
// the checker's locator) must agree with what is written: each line end
// written is counted, and a table's block has its frame's lines besides
// its entries.
TEST(TableFormat, SyntaxCountsAgreeWithTheWrittenFile) {
  namespace syntax = table_syntax;
  auto line_ends = [](const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(syntax::kLineEnd, at)) != std::string::npos;
         at += syntax::kLineEnd.size()) {
      ++count;
    }
    return count;
  };
  const std::string header = written_by([](TableStream& s) { write_header_block(s, 12); });
  EXPECT_EQ(header, std::string(syntax::kHeaderUpToCount) + "12" +
                        std::string(syntax::kHeaderAfterCount));
  EXPECT_EQ(line_ends(header) + 1, syntax::kHeaderLines);

  for (const std::int32_t radius : {1, 7}) {
    SCOPED_TRACE(radius);
    std::string block;
    std::int32_t lines = 0;
    {
      TableStream stream;
      attach_memory(stream, &block);
      TableBuilder builder(stream);
      lines = builder.build(radius);
      stream.close();
    }
    ASSERT_GT(lines, 0);
    EXPECT_EQ(line_ends(block), static_cast<std::size_t>(lines) + syntax::kTableFrameLines);
    EXPECT_EQ(block.find('['), syntax::kTableUpToRadius.size() - syntax::kTableOpening.size());
    EXPECT_EQ(block.find(std::string(syntax::kEntryUpToNumber) + "1" +
                         std::string(syntax::kEntryLength)),
              syntax::kTableUpToRadius.size() + std::to_string(radius).size() +
                  syntax::kTableAfterRadius.size() + syntax::kLineCountUpToCount.size() +
                  std::to_string(lines).size() + syntax::kEnd.size());
  }
}

}  // namespace
}  // namespace vantrel
