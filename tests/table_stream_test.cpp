#include "losfile/table_stream.h"

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

using Threads = TableStream::Threads;

// Runs `write` against a stream over memory and returns the bytes it stored.
template <typename Write>
std::string written_by(Write write, Threads threads = Threads::kOne) {
  std::string bytes;
  TableStream stream({}, threads);
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
  EXPECT_EQ(written_by(write, Threads::kTwo), expected + "-12");
}

// Text written here and by fills, in turn: "<n>:" here, then a fill of
// `size` bytes of letter n, for n = 0, 1, ...
std::string interleave(TableStream& stream, const std::vector<std::size_t>& fill_sizes) {
  std::string expected;
  for (std::size_t n = 0; n < fill_sizes.size(); ++n) {
    const std::string mark = std::to_string(n) + ":";
    stream.write_text(mark);
    const std::size_t size = fill_sizes[n];
    const char letter = static_cast<char>('a' + n % 26);
    stream.write_filled([size, letter](char* out) {
      std::memset(out, letter, size);
      return out + size;
    });
    expected += mark + std::string(size, letter);
  }
  return expected;
}

TEST(TableStream, PlacesFilledTextInOrderOnEitherThread) {
  const std::vector<std::size_t> sizes = {0, 10, TableStream::kBufferSize, 7, 300000,
                                          TableStream::kBufferSize, 1, 2, 3};
  struct Case {
    const char* name;
    Threads threads;
    bool stop_worker_halfway;  // as when memory runs short
  } cases[] = {
      {"one thread", Threads::kOne, false},
      {"worker", Threads::kTwo, false},
      {"worker stopped halfway", Threads::kTwo, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string expected;
    auto write = [&](TableStream& s) {
      expected = interleave(s, sizes);
      if (c.stop_worker_halfway) {
        EXPECT_TRUE(s.has_worker());
        s.stop_worker();
        EXPECT_FALSE(s.has_worker());
      }
      expected += interleave(s, sizes);
      s.write_text("end");
      expected += "end";
    };
    EXPECT_EQ(written_by(write, c.threads), expected);
  }
}

TEST(TableStream, DropsEverythingAfterAFailedWriteAndReportsItOnce) {
  // Failing within the first buffer, and in a later one, with and without
  // a worker and filled text.
  for (const std::size_t capacity : {std::size_t{1000}, 2 * TableStream::kBufferSize + 7}) {
    for (const Threads threads : {Threads::kOne, Threads::kTwo}) {
      SCOPED_TRACE(std::to_string(capacity) +
                   (threads == Threads::kTwo ? " with a worker" : ""));
      std::vector<std::string> reports;
      std::string bytes;
      TableStream stream(
          [&](std::string_view operation, int error_number) {
            reports.push_back(std::string(operation) + " " + std::to_string(error_number));
          },
          threads);
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

TEST(TableStream, DropsWritesWhileNotAttached) {
  int reports = 0;
  TableStream stream([&](std::string_view, int) { ++reports; }, Threads::kTwo);
  stream.write_text("ignored");
  stream.write_filled([](char* out) { return out + 3; });
  stream.attach(nullptr);
  stream.write_text(std::string(3 * TableStream::kBufferSize, 'x'));
  stream.close();
  EXPECT_FALSE(stream.failed());
  EXPECT_FALSE(stream.has_worker());
  EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace vantrel
