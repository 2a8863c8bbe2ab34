// A program built with -fno-exceptions, as game engines often are, against
// the shared library: every public header compiles, and the calls that take
// an Error report each failure there. Prints what fails; exits 1 if any.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "vantrel/cell.h"
#include "vantrel/error.h"
#include "vantrel/export.h"
#include "vantrel/field_of_view.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/sight.h"
#include "vantrel/table.h"
#include "vantrel/vantrel.h"
#include "vantrel/version.h"

#if defined(__cpp_exceptions) || defined(__EXCEPTIONS)
#error "built with exceptions"
#endif

namespace {

int failures = 0;

void expect(bool holds, const char* what) {
  if (!holds) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  using vantrel::Error;
  Error error;

  expect(vantrel::make_table(0, error) == vantrel::Table(), "make_table(0) is empty");
  expect(error.code == Error::Code::kInvalidArgument, "make_table(0) is an invalid argument");
  const vantrel::Table table = vantrel::make_table(6, error);
  expect(!error && table.radius() == 6 && !table.lines().empty(), "make_table(6)");

  auto file = vantrel::TableFile::from_bytes("GIF89a", "cut.tdf", error);
  expect(!file && error.code == Error::Code::kTableFile, "a file that is not a table file is refused");
  expect(error.message.rfind("cut.tdf: ", 0) == 0, "the message names the file");
  expect(vantrel::read_table("/nonexistent/LOS.TDF", 1, error) == vantrel::Table() &&
             error.code == Error::Code::kTableFile,
         "a missing file is refused");

  auto fov = vantrel::FieldOfView::make(table, error);
  expect(fov && !error, "FieldOfView::make");
  expect(!vantrel::FieldOfView::make(vantrel::Table(1, {{{5, 5}}}), error) &&
             error.code == Error::Code::kInvalidArgument,
         "a table whose line jumps is refused");
  if (!fov) return 1;

  constexpr int kSide = 15;
  std::vector<std::uint8_t> opaque(kSide * kSide, 0);
  std::vector<std::uint8_t> view(kSide * kSide, 7);
  expect(!fov->compute({kSide, 0}, kSide, kSide, std::span<const std::uint8_t>(opaque), view,
                       error) &&
             error.code == Error::Code::kInvalidArgument,
         "a viewer off the map is refused");
  expect(fov->compute({7, 7}, kSide, kSide, std::span<const std::uint8_t>(opaque), view, error) &&
             !error,
         "a view is computed");
  // On an open map, everything within the radius is in view.
  expect(view[7 * kSide + 13] == 1 && view[7 * kSide + 14] == 0, "the view's reach");
  std::vector<std::uint8_t> again(kSide * kSide, 7);
  expect(fov->compute({7, 7}, kSide, kSide, [](int, int) { return false; }, again, error) &&
             again == view,
         "a view from a predicate");

  auto line = vantrel::LineOfSight::make(*fov, error);
  expect(line && !error, "LineOfSight::make");
  if (!line) return 1;
  expect(!line->sees({7, 7}, {kSide, 7}, kSide, kSide, std::span<const std::uint8_t>(opaque),
                     error) &&
             error.code == Error::Code::kInvalidArgument,
         "a target off the map is refused");
  expect(line->sees({7, 7}, {13, 7}, kSide, kSide, std::span<const std::uint8_t>(opaque), error) &&
             !error && !line->sees({7, 7}, {14, 7}, kSide, kSide,
                                   std::span<const std::uint8_t>(opaque), error),
         "a target is seen within the radius only");

  expect(!vantrel::Sight::make(0, error) && error.code == Error::Code::kInvalidArgument,
         "a Sight of no radius is refused");
  auto sight = vantrel::Sight::make(6, error);
  expect(sight && !error, "Sight::make");
  if (!sight) return 1;
  expect(sight->field_of_view(7, error) == nullptr && error.code == Error::Code::kInvalidArgument,
         "a radius beyond the largest is refused");
  expect(sight->prepare(6, error) && sight->line_of_sight(6, error) != nullptr && !error,
         "a radius is prepared");

  expect(vantrel_version() == VANTREL_VERSION &&
             std::string(vantrel_version_string()) == VANTREL_VERSION_STRING,
         "the library is of the headers' version");
  if (failures == 0) std::printf("ok\n");
  return failures == 0 ? 0 : 1;
}
