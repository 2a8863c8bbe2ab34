#include "losfile/table_format.h"

#include <string>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrel
