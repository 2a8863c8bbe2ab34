// A text map (one row a line: '#' opaque, '.' clear) and a picture of what
// a viewer sees on it. Prints nothing; writes only to the SvgWriter it is
// given.
#ifndef VANTREL_VIEW_PICTURE_H_
#define VANTREL_VIEW_PICTURE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/cell_window.h"
#include "inspect/svg_text.h"
#include "lib/cell.h"
#include "lib/table/byte_source.h"
#include "vantrel/field_of_view.h"

namespace vantrel {

struct TextMap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> opaque;  // row by row, the first line's row first

  bool is_opaque(int x, int y) const {
    return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)] != 0;
  }
};

// The most cells a side of a map may have.
inline constexpr int kLargestMapSide = 4096;

struct ReadMapResult {
  bool read = false;
  std::string problem;   // where the map is not one, when not read
  int error_number = 0;  // reading failed, when not 0
};

// Reads a map: rows of '#' and '.' alike in length, LF or CR LF line ends,
// the last line end optional; at most kLargestMapSide cells a side.
ReadMapResult read_text_map(ByteSource& file, TextMap& map);

struct ViewPicture {
  std::string_view map_name;  // named in the heading
  // The viewers whose views together make the view, each on the map and
  // each named once; at least one.
  std::vector<Cell> viewers;
  int radius = 0;             // of the table the view comes from
  Walls walls = Walls::kSeen;  // the opaque cells the view holds
  std::optional<Cone> cone;    // the cone each viewer looks through
  bool symmetric = false;     // the view is the symmetric one
  // The part drawn, within the map; the whole map when empty.
  std::optional<CellWindow> window;
};

// An SVG picture of `map`, row 0 at the top, with the cells of `in_view`
// (width * height bytes, 1 for in view) lit and each viewer marked, written
// to `svg` as it is drawn. Each row is drawn in runs of cells alike. The
// columns are numbered along the top and the rows down the left, by the
// map's coordinates, every cell or every 2, 5, 10, 20, ... as the cells'
// size leaves room for the numbers.
void draw_view(const TextMap& map, const std::vector<std::uint8_t>& in_view,
               const ViewPicture& picture, SvgWriter& svg);

}  // namespace vantrel

#endif  // VANTREL_VIEW_PICTURE_H_
