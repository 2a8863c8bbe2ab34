/* What a viewer sees on a small map, computed with libvantrel's C API: a
 * line-of-sight table of radius 8 (read from a table file when one is named,
 * made in memory otherwise), the field of view it defines, and the map
 * printed with the cells in view marked. Builds against the installed
 * library, with CMake (CMakeLists.txt beside this file) or with pkg-config:
 *
 *   cc -std=c99 see.c $(pkg-config --cflags --libs vantrel) -o see-c
 *   ./see-c [LOS.TDF]
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vantrel/vantrel.h>

/* '#' is opaque, '.' clear; the viewer stands at '@'. */
static const char* const kMap[] = {
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
enum { kWidth = 30, kHeight = sizeof kMap / sizeof kMap[0], kRadius = 8 };

/* Table kRadius of the file at `path`, or made in memory when `path` is
 * NULL. */
static vantrel_status get_table(const char* path, vantrel_table** table) {
  vantrel_table_file* file = NULL;
  vantrel_status status;
  if (path == NULL) return vantrel_table_make(kRadius, table);
  status = vantrel_table_file_open(path, &file);
  if (status == VANTREL_OK) status = vantrel_table_file_read(file, kRadius, table);
  vantrel_table_file_free(file);
  return status;
}

int main(int argc, char** argv) {
  uint8_t opaque[kWidth * kHeight];
  uint8_t in_view[kWidth * kHeight];
  int32_t viewer_x = 0;
  int32_t viewer_y = 0;
  vantrel_table* table = NULL;
  vantrel_fov* fov = NULL;
  vantrel_status status;
  int x;
  int y;

  for (y = 0; y < kHeight; ++y) {
    for (x = 0; x < kWidth; ++x) {
      opaque[y * kWidth + x] = kMap[y][x] == '#';
      if (kMap[y][x] == '@') {
        viewer_x = x;
        viewer_y = y;
      }
    }
  }

  /* A field of view is built once from its table, which may be freed then;
   * each view costs one walk of the table's lines and allocates nothing. */
  status = get_table(argc > 1 ? argv[1] : NULL, &table);
  if (status == VANTREL_OK) status = vantrel_fov_new(table, &fov);
  vantrel_table_free(table);
  if (status == VANTREL_OK) {
    status = vantrel_fov_compute(fov, viewer_x, viewer_y, kWidth, kHeight, opaque, in_view);
  }
  if (status != VANTREL_OK) {
    fprintf(stderr, "see: %s\n", vantrel_last_error());
    vantrel_fov_free(fov);
    return 1;
  }

  printf("viewer at (%d, %d), sight radius %d: '*' a clear cell in view, '#' opaque\n",
         (int)viewer_x, (int)viewer_y, vantrel_fov_radius(fov));
  for (y = 0; y < kHeight; ++y) {
    for (x = 0; x < kWidth; ++x) {
      const char cell = kMap[y][x];
      putchar(cell == '.' && in_view[y * kWidth + x] ? '*' : cell);
    }
    putchar('\n');
  }
  vantrel_fov_free(fov);
  return 0;
}
