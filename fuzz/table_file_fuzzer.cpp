// Feeds arbitrary bytes to the reading of table files: the reader of its
// lines, the library's reading through the C++ API and the C API, the check
// against regenerated tables and the reading of one table for drawing.
// Whatever the bytes, each must come to a verdict quickly and without a
// fault, and what they accept must hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/table_check.h"
#include "inspect/table_picture.h"
#include "lib/table/byte_source.h"
#include "lib/table/table_reader.h"
#include "vantrel/field_of_view.h"
#include "vantrel/table.h"
#include "vantrel/vantrel.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// A status and the thread's last error agree: "" with VANTREL_OK alone.
void check_reported(vantrel_status status) {
  check((status == VANTREL_OK) == (vantrel_last_error()[0] == '\0'));
}

// The same reading through the C API: the same tables and the same messages,
// each failure a status with its message, no handle left with one.
void check_c_api(std::string_view bytes) {
  std::string cpp_error;
  std::vector<int> radii;
  try {
    radii = vantrel::TableFile::from_bytes(bytes).radii();
  } catch (const vantrel::TableFileError& error) {
    cpp_error = error.what();
  }
  // Not null, so that a failure must be seen to leave null.
  vantrel_table_file* file = reinterpret_cast<vantrel_table_file*>(std::uintptr_t{64});
  const vantrel_status status = vantrel_table_file_from_bytes(bytes.data(), bytes.size(), &file);
  check_reported(status);
  if (status != VANTREL_OK) {
    check(status == VANTREL_TABLE_FILE_ERROR && file == nullptr &&
          vantrel_last_error() == cpp_error);
    return;
  }
  check(cpp_error.empty() && vantrel_table_file_table_count(file) == radii.size());
  vantrel::TableFile tables = vantrel::TableFile::from_bytes(bytes);
  for (std::size_t index = 0; index < radii.size(); ++index) {
    const int radius = vantrel_table_file_radius(file, index);
    check(radius == radii[index] && vantrel_table_file_has_table(file, radius) == 1);
    vantrel_table* table = nullptr;
    const vantrel_status read = vantrel_table_file_read(file, radius, &table);
    check_reported(read);
    try {
      const vantrel::Table expected = tables.table(radius);
      check(read == VANTREL_OK && vantrel_table_radius(table) == radius &&
            vantrel_table_line_count(table) == expected.lines().size());
      for (std::size_t line = 0; line < expected.lines().size(); ++line) {
        check(vantrel_table_line_length(table, line) == expected.lines()[line].size());
      }
    } catch (const vantrel::TableFileError& error) {
      check(read == VANTREL_TABLE_FILE_ERROR && table == nullptr &&
            vantrel_last_error() == std::string_view(error.what()));
    }
    vantrel_table_free(table);
  }
  vantrel_table_file_free(file);
}

// Keeps a picture's bytes.
class StringSink final : public vantrel::ByteSink {
 public:
  explicit StringSink(std::string& bytes) : bytes_(bytes) {}
  int write(const char* data, std::size_t size) override {
    bytes_.append(data, size);
    return 0;
  }

 private:
  std::string& bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Lines follow one another without gap or overlap, up to the end.
  {
    vantrel::MemorySource file(bytes);
    vantrel::TableReader reader(file, vantrel::TableReader::Points::kKeep);
    vantrel::TableToken token;
    std::uint64_t offset = 0;
    std::uint64_t line = 1;
    vantrel::TableReader::Status status;
    while ((status = reader.next(token)) == vantrel::TableReader::Status::kToken) {
      check(token.offset == offset && token.line == line);
      check(token.kind != vantrel::TableToken::Kind::kEntry ||
            token.points.size() == token.point_count);
      offset += token.text.size() + token.end_size;
      line += token.end_size > 0 ? 1 : 0;
    }
    check(status != vantrel::TableReader::Status::kUnreadable);
    check(status == vantrel::TableReader::Status::kTooLong || offset == size);
  }

  // The library's reading: a table or a message, and a table it gives is
  // one the field of view can walk.
  try {
    vantrel::TableFile tables = vantrel::TableFile::from_bytes(bytes);
    for (const int radius : tables.radii()) {
      const vantrel::Table table = tables.table(radius);
      if (radius > 40) continue;
      const vantrel::FieldOfView fov(table);
      std::uint8_t in_view[9 * 7];
      fov.compute({radius % 9, 3}, 9, 7, [&](int x, int y) { return (x * 7 + y) % 5 == 0; },
                  in_view);
      check(in_view[3 * 9 + radius % 9] == 1);
    }
  } catch (const vantrel::TableFileError&) {
  }

  check_c_api(bytes);

  vantrel::MemorySource file(bytes);
  const vantrel::CheckResult result = vantrel::check_table_file(file);
  using Verdict = vantrel::CheckResult::Verdict;
  check(result.verdict != Verdict::kUnreadable);  // memory never fails to read
  check((result.verdict == Verdict::kDiffers) == !result.problem.empty());
  if (result.verdict == Verdict::kExact) check(bytes.rfind("[TABLEINFO]\r\n{\r\nnumtables=", 0) == 0);

  vantrel::MemorySource again(bytes);
  vantrel::TableLines table;
  const std::int32_t radius = size > 0 ? 1 + data[size - 1] % 8 : 1;
  const vantrel::ReadTableLinesResult read = vantrel::read_table_lines(again, radius, table);
  using Outcome = vantrel::ReadTableLinesResult::Outcome;
  check(read.outcome != Outcome::kUnreadable);
  if (read.outcome == Outcome::kRead) {
    check(table.radius == radius);
    vantrel::PictureOptions picture;
    picture.file_name = "fuzz";
    picture.highlight = 1;
    picture.cells = size % 2 == 0;
    // Counted as vantrel-inspect counts it first, then written.
    vantrel::SvgWriter counted;
    vantrel::draw_table(table, picture, counted);
    std::string svg;
    StringSink sink(svg);
    vantrel::SvgWriter written(sink);
    vantrel::draw_table(table, picture, written);
    check(written.flush() == 0 && written.bytes() == counted.bytes() &&
          written.elements() == counted.elements() && svg.size() == counted.bytes());
    vantrel::table_warnings(table);
    check(svg.ends_with("</svg>\n"));
  }
  return 0;
}
