// What a viewer sees on a small map, computed with libvantrel: a line-of-sight
// table of radius 8, the field of view it defines, and the map printed with
// the cells in view marked. Builds against the installed library, with CMake
// (CMakeLists.txt beside this file) or with pkg-config:
//
//   g++ -std=c++20 see.cpp $(pkg-config --cflags --libs vantrel) -o see
//
// It uses the calls that report an Error instead of throwing, so it builds
// with -fno-exceptions too, as many engines are built.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <vantrel/cell.h>
#include <vantrel/error.h>
#include <vantrel/field_of_view.h>
#include <vantrel/table.h>

namespace {

// '#' is opaque, '.' clear; the viewer stands at '@'.
constexpr std::string_view kMap[] = {
    "##############################",
    "#............#...............#",
    "#............#...............#",
    "#....##......#.......#.......#",
    "#....##..........@...........#",
    "#............#...............#",
    "#............#......###......#",
    "#............#...............#",
    "#######.######...............#",
    "#............................#",
    "#............................#",
    "##############################",
};

char map_at(int x, int y) {
  return kMap[y][static_cast<std::size_t>(x)];
}

}  // namespace

int main() {
  const int width = static_cast<int>(kMap[0].size());
  const int height = static_cast<int>(std::size(kMap));
  vantrel::Cell viewer;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (map_at(x, y) == '@') viewer = vantrel::Cell{x, y};
    }
  }

  // A FieldOfView is built once from its table; each view then costs one
  // walk of the table's lines and allocates nothing.
  vantrel::Error error;
  const std::optional<vantrel::FieldOfView> fov =
      vantrel::FieldOfView::make(vantrel::make_table(8, error), error);
  std::vector<std::uint8_t> in_view(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
  if (!fov || !fov->compute(viewer, width, height,
                            [](int x, int y) { return map_at(x, y) == '#'; },
                            std::span<std::uint8_t>(in_view), error)) {
    std::fprintf(stderr, "see: %s\n", error.message.c_str());
    return 1;
  }

  std::printf("viewer at (%d, %d), sight radius %d: '*' a clear cell in view, '#' opaque\n",
              static_cast<int>(viewer.x), static_cast<int>(viewer.y), fov->radius());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const char cell = map_at(x, y);
      const bool seen = in_view[static_cast<std::size_t>(y * width + x)] != 0;
      std::putchar(cell == '.' && seen ? '*' : cell);
    }
    std::putchar('\n');
  }
  return 0;
}
