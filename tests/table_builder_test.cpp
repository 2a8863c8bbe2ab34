#include "losfile/table_builder.h"

#include <string>

#include <gtest/gtest.h>

#include "memory_sink.h"

namespace vantrel {
namespace {

TEST(TableBuilder, WritesTheBlockWithItsLinesInDescendingOrder) {
  std::string bytes;
  TableStream stream;
  attach_memory(stream, &bytes);
  {
    TableBuilder builder(stream);
    EXPECT_EQ(builder.build(4), 6);
  }
  stream.close();

  EXPECT_EQ(bytes,
            "\r\n\r\n[Table4]\r\n{"
            "\r\n\tnumlines=6;"
            "\r\n\tline1=3,1,1,2,2,3,3;"
            "\r\n\tline2=3,1,1,2,1,3,2;"
            "\r\n\tline3=3,1,0,2,1,3,1;"
            "\r\n\tline4=3,1,1,1,2,2,3;"
            "\r\n\tline5=4,0,1,1,2,1,3,1,4;"
            "\r\n\tline6=4,0,1,0,2,0,3,0,4;"
            "\r\n}");
}

}  // namespace
}  // namespace vantrel
