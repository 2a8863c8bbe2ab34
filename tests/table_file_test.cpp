#include "table_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory_sink.h"

namespace vantrel {
namespace {

// Runs `write` against a stream over memory and returns the bytes it stored.
template <typename Write>
std::string written_by(Write write, Worker* worker = nullptr) {
  std::string bytes;
  TableStream stream({}, worker);
  attach_memory(stream, &bytes);
  write(stream);
  stream.close();
  return bytes;
}

TEST(TableStream, StoresEachLineFeedAsCrLfAndNothingElseChanged) {
  EXPECT_EQ(written_by([](TableStream& s) { s.write_text("\n\na\tb\n"); }),
            "\r\n\r\na\tb\r\n");
  EXPECT_EQ(written_by([](TableStream& s) { s.write_text(""); }), "");
}

TEST(TableStream, WritesIntegersInPlainDecimal) {
  struct Case {
    std::int64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {-2, "-2"},
      {46340, "46340"},
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(written_by([&](TableStream& s) { s.write_integer(c.value); }),
              c.text);
  }
}

TEST(TableStream, KeepsEveryByteAcrossManyBufferFlushes) {
  // Lines that straddle buffer boundaries at every offset, CR LF included.
  std::string text;
  std::string expected;
  for (int i = 0; text.size() < 3 * TableStream::kBufferSize; ++i) {
    std::string line(static_cast<std::size_t>(i % 97), 'x');
    text += line + "\n";
    expected += line + "\r\n";
  }
  text += std::string(TableStream::kBufferSize + 5, 'y');
  expected += std::string(TableStream::kBufferSize + 5, 'y');
  auto write = [&](TableStream& s) {
    s.write_text(text);
    s.write_integer(-12);
  };
  EXPECT_EQ(written_by(write), expected + "-12");
  Worker worker;
  EXPECT_EQ(written_by(write, &worker), expected + "-12");
}

// Text written here and by fills on the worker, in turn: "<n>:" here, then
// a fill of `size` bytes of letter n, for n = 0, 1, ...
std::string interleave(TableStream& stream, const std::vector<std::size_t>& fill_sizes) {
  std::string expected;
  for (std::size_t n = 0; n < fill_sizes.size(); ++n) {
    const std::string mark = std::to_string(n) + ":";
    stream.write_text(mark);
    const std::size_t size = fill_sizes[n];
    const char letter = static_cast<char>('a' + n % 26);
    const Worker::Ticket fill = stream.write_on_worker([size, letter](char* out) {
      std::memset(out, letter, size);
      return out + size;
    });
    if (fill == 0) stream.write_text(std::string(size, letter));
    expected += mark + std::string(size, letter);
  }
  return expected;
}

TEST(TableStream, PlacesTextFilledOnTheWorkerInOrder) {
  const std::vector<std::size_t> sizes = {0, 10, TableStream::kBufferSize, 7, 300000,
                                          TableStream::kBufferSize, 1, 2, 3};
  std::string expected;
  auto write = [&](TableStream& s) {
    expected = interleave(s, sizes);
    s.write_text("end");
    expected += "end";
  };
  Worker worker;
  EXPECT_EQ(written_by(write, &worker), expected);
  // Without a worker the caller writes the text itself.
  EXPECT_EQ(written_by(write), expected);
}

TEST(TableStream, DropsEverythingAfterAFailedWriteAndReportsItOnce) {
  // Failing within the first buffer, and in a later one, with and without
  // a worker and text filled on it.
  for (const std::size_t capacity : {std::size_t{1000}, 2 * TableStream::kBufferSize + 7}) {
    for (const bool on_worker : {false, true}) {
      SCOPED_TRACE(std::to_string(capacity) + (on_worker ? " on the worker" : ""));
      std::vector<std::string> reports;
      std::string bytes;
      Worker worker;
      TableStream stream(
          [&](std::string_view operation, int error_number) {
            reports.push_back(std::string(operation) + " " + std::to_string(error_number));
          },
          on_worker ? &worker : nullptr);
      attach_memory(stream, &bytes, capacity);

      // With a worker the failure shows by the close at the latest, and
      // whatever was written after it never reaches the sink.
      std::string intended;
      const std::string line(99, 'z');
      for (int i = 0; i < 30000; ++i) {
        stream.write_text(line + "\n");
        intended += line + "\r\n";
        if (i % 5000 == 0) intended += interleave(stream, {5, 200000});
      }
      stream.write_text("after");
      stream.write_integer(42);
      stream.close();
      EXPECT_TRUE(stream.failed());

      // What the sink accepted stays: an exact prefix of the intended output.
      EXPECT_EQ(bytes, intended.substr(0, capacity));
      EXPECT_EQ(reports, std::vector<std::string>{"write " + std::to_string(ENOSPC)});
    }
  }
}

TEST(TableStream, DropsWritesWhileNotAttachedAndFailsOnAnUnopenableFile) {
  std::vector<std::string> reports;
  TableStream stream([&](std::string_view operation, int) {
    reports.emplace_back(operation);
  });
  stream.write_text("ignored");
  stream.close();
  EXPECT_FALSE(stream.failed());
  EXPECT_TRUE(reports.empty());

  stream.open("no-such-directory/LOS.TDF");
  EXPECT_TRUE(stream.failed());
  stream.write_text("dropped");
  stream.close();
  EXPECT_EQ(reports, std::vector<std::string>{"open"});
}

TEST(TableWriters, WriteTheBlocksOfTheFileFormat) {
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
         write_line_entry(s, 6, {{2, 5}, minor});
       },
       "\r\n\tline6=5,0,1,1,2,1,3,2,4,2,5;"},
      {"entry along x",
       [](TableStream& s) {
         const MinorCoord minor[] = {1, 2, 2, 3};
         write_line_entry(s, 123456, {{4, 3}, minor});
       },
       "\r\n\tline123456=4,1,1,2,2,3,2,4,3;"},
      {"entry with a number beyond the digit texts",
       [](TableStream& s) {
         const MinorCoord minor[] = {1, 1, 2};
         write_line_entry(s, 12345678, {{2, 3}, minor});
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
