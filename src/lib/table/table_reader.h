// Reads a table file once, from start to end, as the lines of its format:
// the header, each table's opening, its line count, its line entries and
// the braces around them, each with its byte offset and line number.
//
// It reads a line's syntax, not the file's: whether the lines come in the
// right order, and whether their numbers agree, is for the caller to judge.
// It is lenient where vantrel is strict, so that files from elsewhere read
// too: LF or CR LF line ends, and spaces or tabs before a line's text.
// Prints nothing.
#ifndef VANTREL_TABLE_READER_H_
#define VANTREL_TABLE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lib/cell.h"
#include "lib/table/byte_source.h"

namespace vantrel {

struct TableToken {
  enum class Kind {
    kHeader,        // "[TABLEINFO]"
    kTableCount,    // "numtables=<number>;"
    kTableOpening,  // "[Table<number>]"
    kLineCount,     // "numlines=<number>;"
    kEntry,         // "line<number>=<length>,x,y,...,x,y;"
    kOpeningBrace,  // "{"
    kClosingBrace,  // "}"
    kBlank,         // nothing, or only spaces and tabs
    kOther,         // none of these
  };
  Kind kind = Kind::kOther;
  std::uint64_t offset = 0;  // of the line's first byte, counted from 0
  std::uint64_t line = 0;    // counted from 1
  // The line's text without its line end; valid until the next read.
  std::string_view text;
  // The line end: 2 for CR LF, 1 for LF, 0 for none (the file's last line).
  std::size_t end_size = 0;
  // The number of the line's kind: the table count, the table's number,
  // the line count or the entry's number.
  std::int64_t number = 0;
  // An entry's stated length, and its points (x, y) as they stand; the
  // points are kept only when the reader is asked to.
  std::int64_t length = 0;
  std::size_t point_count = 0;
  std::vector<Cell> points;
};

class TableReader {
 public:
  // No line of a table that vantrel writes is longer: an entry of 46340
  // points takes about 560 KB.
  static constexpr std::size_t kLongestLine = std::size_t{1} << 20;

  enum class Points { kKeep, kSkip };
  enum class Status {
    kToken,       // the next line was read
    kEnd,         // no more lines
    kTooLong,     // the next line is longer than kLongestLine
    kUnreadable,  // reading failed: error_number()
  };

  // Reads `file`, whose first byte lies at `first_offset` in its file and
  // on line `first_line`: a source may be a part of a file.
  explicit TableReader(ByteSource& file, Points points = Points::kSkip,
                       std::uint64_t first_offset = 0, std::uint64_t first_line = 1);

  // Reads the next line into `token`. Throws std::bad_alloc.
  Status next(TableToken& token);

  // Where the next line begins.
  std::uint64_t offset() const { return offset_; }
  std::uint64_t line() const { return line_; }
  // Why reading failed.
  int error_number() const { return error_number_; }

 private:
  // The bytes read at a time.
  static constexpr std::size_t kChunk = std::size_t{1} << 16;

  ByteSource& file_;
  Points points_;
  std::unique_ptr<char[]> chunk_;
  std::size_t at_ = 0;
  std::size_t size_ = 0;
  bool ended_ = false;
  std::string text_;  // the line being read
  std::uint64_t offset_;
  std::uint64_t line_;
  int error_number_ = 0;
};

}  // namespace vantrel

#endif  // VANTREL_TABLE_READER_H_
