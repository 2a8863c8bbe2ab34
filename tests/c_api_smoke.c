/* The C API as a C program sees it: vantrel/vantrel.h compiled as C99 with
 * warnings as errors, linked against the shared library. A table, its view on
 * a small map, and a failure with its message. Exits 0 when all holds. */
#include <stdio.h>
#include <string.h>

#include "vantrel/vantrel.h"

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s (last error: \"%s\")\n", what, vantrel_last_error());
    ++failures;
  }
}

/* A wall at x = 4 in a room of 9 x 5, the viewer at (2, 2). */
#define WIDTH 9
#define HEIGHT 5

int main(void) {
  vantrel_table* table = NULL;
  vantrel_fov* fov = NULL;
  vantrel_table_file* file = NULL;
  vantrel_cell cells[4];
  uint8_t opaque[WIDTH * HEIGHT] = {0};
  uint8_t in_view[WIDTH * HEIGHT];
  uint8_t explored[WIDTH * HEIGHT] = {0};
  int y;
  vantrel_sight* sight = NULL;
  const vantrel_fov* kept = NULL;
  vantrel_fog* fog = NULL;
  const vantrel_cell viewers[2] = {{0, 0}, {8, 4}};

  check(vantrel_version() == VANTREL_VERSION, "the library's version is the header's");
  check(strcmp(vantrel_version_string(), VANTREL_VERSION_STRING) == 0, "the version string");

  check(vantrel_table_make(4, &table) == VANTREL_OK, "table 4 is made");
  check(vantrel_table_radius(table) == 4 && vantrel_table_line_count(table) == 6,
        "table 4 has 6 lines");
  /* Line 1 runs along the diagonal to (3, 3). */
  check(vantrel_table_line_length(table, 0) == 3 &&
            vantrel_table_line_points(table, 0, cells, 4) == VANTREL_OK && cells[0].x == 1 &&
            cells[0].y == 1 && cells[2].x == 3 && cells[2].y == 3,
        "line 1 of table 4 is (1,1) (2,2) (3,3)");

  check(vantrel_fov_new(table, &fov) == VANTREL_OK, "its field of view is built");
  vantrel_table_free(table);
  for (y = 0; y < HEIGHT; ++y) opaque[y * WIDTH + 4] = 1;
  check(vantrel_fov_compute(fov, 2, 2, WIDTH, HEIGHT, opaque, in_view) == VANTREL_OK,
        "the view is computed");
  check(in_view[2 * WIDTH + 2] == 1 && in_view[2 * WIDTH + 0] == 1, "the viewer's row is seen");
  check(in_view[2 * WIDTH + 4] == 1, "the wall is seen");
  check(in_view[2 * WIDTH + 5] == 0 && in_view[0 * WIDTH + 6] == 0, "nothing behind the wall is");
  check(vantrel_fov_compute(fov, WIDTH, 0, WIDTH, HEIGHT, opaque, in_view) ==
                VANTREL_INVALID_ARGUMENT &&
            vantrel_last_error()[0] != '\0',
        "a viewer off the map is refused with a message");
  {
    /* Looking east through a cone of 90 degrees, the cells in view listed. */
    vantrel_cone east = {0.0, 90.0};
    vantrel_cell listed[121];
    size_t count = 0;
    memset(in_view, 0, sizeof in_view);
    check(vantrel_fov_list_capacity(fov, VANTREL_WALLS_FACING) <= 121 &&
              vantrel_fov_list_cone(fov, 2, 2, WIDTH, HEIGHT, opaque, in_view,
                                    VANTREL_WALLS_FACING, east, listed, 121, &count) == VANTREL_OK,
          "the cells in a cone are listed");
    check(count > 1 && listed[0].x == 2 && listed[0].y == 2 && in_view[2 * WIDTH + 3] == 1 &&
              in_view[2 * WIDTH + 1] == 0,
          "the cone looks east alone");
  }
  vantrel_fov_free(fov);

  /* Radius 2 of a sight, for two viewers in opposite corners of the room. */
  check(vantrel_sight_new(3, &sight) == VANTREL_OK && vantrel_sight_fov(sight, 2, &kept) ==
            VANTREL_OK, "a sight gives the field of view of radius 2");
  check(vantrel_fog_new(2, &fog) == VANTREL_OK, "fog of war on two threads is made");
  memset(in_view, 0, sizeof in_view);
  check(vantrel_fog_update(fog, kept, viewers, 2, WIDTH, HEIGHT, opaque, in_view, explored, 0) ==
            VANTREL_OK, "the fog of war is updated");
  check(in_view[1 * WIDTH + 1] == 1 && in_view[3 * WIDTH + 7] == 1 && in_view[2 * WIDTH + 2] == 0,
        "both corners are seen, the middle is not");
  check(memcmp(in_view, explored, sizeof in_view) == 0, "and explored");
  vantrel_fog_free(fog);
  vantrel_sight_free(sight);

  check(vantrel_table_file_from_bytes("GIF89a", 6, &file) == VANTREL_TABLE_FILE_ERROR &&
            file == NULL,
        "bytes that are not a table file are refused");
  check(strstr(vantrel_last_error(), "does not begin with [TABLEINFO]") != NULL,
        "and the message says why");
  check(strcmp(vantrel_status_text(VANTREL_TABLE_FILE_ERROR), "table file error") == 0,
        "the status has its name");
  vantrel_table_file_free(NULL);

  if (failures == 0) printf("ok\n");
  return failures == 0 ? 0 : 1;
}
