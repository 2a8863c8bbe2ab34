// A table drawn as an SVG picture: its lines, or the cells they cover.
// Prints nothing; writes only to the SvgWriter it is given.
#ifndef VANTREL_TABLE_PICTURE_H_
#define VANTREL_TABLE_PICTURE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "inspect/cell_window.h"
#include "inspect/svg_text.h"
#include "inspect/table_lines.h"

namespace vantrel {

struct PictureOptions {
  std::string_view file_name;  // named in the heading
  // The line drawn bold on top, by its number; 0 for none.
  std::int64_t highlight = 0;
  // The part drawn; the whole table, 0 to its radius on both axes, when
  // empty.
  std::optional<CellWindow> window;
  // A view of coverage: each cell shaded by the number of lines through
  // it, and the cells within the radius that no line reaches marked. Within the radius k lie the cells that the
  // table's sweep may take as endpoints, and those nearer: at i cells from
  // one axis and j >= i from the other, those with i^2 + (j - 1/2)^2 <= k^2.
  bool cells = false;
};

// An SVG picture of `table`: a heading (the file, the table, its radius
// and number of lines, the part drawn), a scale, the cell grid with x to
// the right and y up, labelled, and each line a polyline through the
// centres of its cells from the origin cell, with its endpoint marked. A
// pointer resting on a line shows its number, endpoint and length; where
// the cells are large enough, each endpoint carries its line's number.
// Steps that do not go to a neighbouring cell are marked in red. Written to
// `svg` as it is drawn: its memory is the coverage of the window drawn.
void draw_table(const TableLines& table, const PictureOptions& options, SvgWriter& svg);

}  // namespace vantrel

#endif  // VANTREL_TABLE_PICTURE_H_
