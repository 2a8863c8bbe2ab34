// The words of a table file: the texts that stand between its numbers, and
// the byte and line counts that follow from them.
//
// vantrel writes these texts, the reader reads them, and whatever counts the
// file's bytes or lines (the bound on a file's size, the checker's locator)
// counts them from here, so that a change to the format changes them all.
//
// The file, as vantrel writes it (<>: a number; every line ends in CR LF):
//
//   [TABLEINFO]                      the header block: 4 lines
//   {
//   numtables=<tables>;
//   }
//                                    each table's block: a blank line,
//   [Table<radius>]                  its opening,
//   {
//   \tnumlines=<lines>;               its line count,
//   \tline<number>=<length>,x,y,...;  one entry per line,
//   }                                and its closing brace
#ifndef VANTREL_TABLE_SYNTAX_H_
#define VANTREL_TABLE_SYNTAX_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrel::table_syntax {

// The line end vantrel writes. Readers take a bare LF too.
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kHeader = "[TABLEINFO]";
inline constexpr std::string_view kOpeningBrace = "{";
inline constexpr std::string_view kClosingBrace = "}";
// "numtables=<tables>;"
inline constexpr std::string_view kTableCountKey = "numtables=";
// "[Table<radius>]"
inline constexpr std::string_view kTableOpening = "[Table";
inline constexpr std::string_view kTableOpeningEnd = "]";
// What vantrel writes before a table's line count and its entries. Readers
// take any spaces and tabs before any line.
inline constexpr std::string_view kIndent = "\t";
// "numlines=<lines>;"
inline constexpr std::string_view kLineCountKey = "numlines=";
// "line<number>=<length>" and ",x,y" per point.
inline constexpr std::string_view kEntryKey = "line";
inline constexpr std::string_view kEntryLength = "=";
inline constexpr std::string_view kSeparator = ",";
// Ends the table count, the line count and each entry.
inline constexpr std::string_view kEnd = ";";

// The texts `kParts` one after the other, as one text.
template <const std::string_view&... kParts>
struct Joined {
  static constexpr std::size_t kSize = (kParts.size() + ...);
  static constexpr std::array<char, kSize> kBytes = [] {
    std::array<char, kSize> bytes{};
    std::size_t at = 0;
    for (const std::string_view part : {kParts...}) {
      for (const char c : part) bytes[at++] = c;
    }
    return bytes;
  }();
  static constexpr std::string_view kText{kBytes.data(), kSize};
};

// The file's first bytes, up to the table count's digits.
inline constexpr std::string_view kHeaderUpToCount =
    Joined<kHeader, kLineEnd, kOpeningBrace, kLineEnd, kTableCountKey>::kText;
// The header block's bytes after the table count's digits.
inline constexpr std::string_view kHeaderAfterCount =
    Joined<kEnd, kLineEnd, kClosingBrace>::kText;
inline constexpr std::uint64_t kHeaderLines = 4;

// A table's block up to the radius's digits: two line ends (the one ending
// the line before and a blank line), then its opening.
inline constexpr std::string_view kTableUpToRadius =
    Joined<kLineEnd, kLineEnd, kTableOpening>::kText;
// From after the radius's digits to the opening brace.
inline constexpr std::string_view kTableAfterRadius =
    Joined<kTableOpeningEnd, kLineEnd, kOpeningBrace>::kText;
// The line count's line but for its digits.
inline constexpr std::string_view kLineCountUpToCount =
    Joined<kLineEnd, kIndent, kLineCountKey>::kText;
inline constexpr std::string_view kTableClosing = Joined<kLineEnd, kClosingBrace>::kText;
// The lines of a table's block besides its entries: the blank line, the
// opening, the two braces and the line count.
inline constexpr std::uint64_t kTableFrameLines = 5;

// An entry up to its number's digits.
inline constexpr std::string_view kEntryUpToNumber = Joined<kLineEnd, kIndent, kEntryKey>::kText;
// An entry's bytes besides its numbers and points.
inline constexpr std::size_t kEntryFrameBytes =
    kEntryUpToNumber.size() + kEntryLength.size() + kEnd.size();
// A point's bytes besides its digits: the separators before x and y.
inline constexpr std::size_t kPointFrameBytes = 2 * kSeparator.size();

}  // namespace vantrel::table_syntax

#endif  // VANTREL_TABLE_SYNTAX_H_
