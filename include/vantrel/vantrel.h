/* libvantrel for C, and for any language that calls C: line-of-sight tables,
 * made in memory or read from a table file, and the field of view they
 * define, as the C++ API in table.h and field_of_view.h gives them. Plain C99.
 *
 * Cells are x = column, y = row; a map of width x height cells is a byte per
 * cell, row by row: cell (x, y) is byte y * width + x. Objects are opaque
 * handles that the library allocates and frees. A function that can fail
 * returns a vantrel_status, and vantrel_last_error() tells what failed, naming
 * the function ("vantrel_fov_compute: the viewer must stand on the map, ...")
 * or, for a table file, the file ("LOS.TDF: it has no Table 12"); no C++
 * exception ever leaves the library. */
#ifndef VANTREL_VANTREL_H_
#define VANTREL_VANTREL_H_

#include <stddef.h>
#include <stdint.h>

#include "vantrel/export.h"
#include "vantrel/version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a call came to. New failures may be added within a major version: treat
 * any status but VANTREL_OK as a failure. */
typedef enum vantrel_status {
  VANTREL_OK = 0,
  /* A null pointer, a radius or index out of range, a viewer off the map. */
  VANTREL_INVALID_ARGUMENT = 1,
  /* A table file that cannot be read, has no such table, or is not one. */
  VANTREL_TABLE_FILE_ERROR = 2,
  VANTREL_OUT_OF_MEMORY = 3,
  /* An error the library did not foresee: a fault of the library. */
  VANTREL_INTERNAL_ERROR = 4
} vantrel_status;

/* A fixed name for `status`, such as "invalid argument"; "unknown status" for
 * a value that is none. Static storage; cost: none; safe from any thread. */
VANTREL_API const char* vantrel_status_text(vantrel_status status);

/* What the last failure on the calling thread was, in a user's words, such as
 * "LOS.TDF: it has no Table 12" or "out of memory". Every function that returns
 * a vantrel_status sets it: to "" when it returns VANTREL_OK. The text belongs
 * to the library and stays valid until the thread's next call that returns a
 * status; a message of more than 2047 bytes keeps its start and its end, with
 * "..." between them. Cost: none; each thread has its own, which needs no
 * memory of its own beyond the thread's. */
VANTREL_API const char* vantrel_last_error(void);

/* A cell of the grid. In a table, the origin (0, 0) is where the viewer
 * stands. */
typedef struct vantrel_cell {
  int32_t x;
  int32_t y;
} vantrel_cell;

/* ---- Tables ------------------------------------------------------------- */

/* One line-of-sight table: lines from the origin to cells of the quarter plane
 * x >= 0, y >= 0 within its radius, each as the cells it steps through, one
 * step to a neighbouring cell at a time; the origin itself is left out. Lines
 * are indexed from 0: index 0 is "line1" of a table file. A table never
 * changes once made, so any number of threads may read one at once. */
typedef struct vantrel_table vantrel_table;

/* Makes table `radius` (1 to 46340) exactly as the vantrel tool writes it, in
 * *out, to be freed with vantrel_table_free. Takes microseconds for the radii
 * of a game's sight, and memory as the table's points (about 4,500 for a
 * radius of 50). Errors: VANTREL_INVALID_ARGUMENT for a radius out of range or
 * a null `out`, VANTREL_OUT_OF_MEMORY. On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_table_make(int radius, vantrel_table** out);
/* The former name of vantrel_table_make, kept for the programs that call it. */
VANTREL_API VANTREL_DEPRECATED("use vantrel_table_make") vantrel_status
vantrel_make_table(int radius, vantrel_table** out);

/* Frees a table; NULL is ignored. Views made from it stay usable. */
VANTREL_API void vantrel_table_free(vantrel_table* table);

/* The table's radius; 0 for NULL. */
VANTREL_API int vantrel_table_radius(const vantrel_table* table);

/* The number of lines of the table; 0 for NULL. */
VANTREL_API size_t vantrel_table_line_count(const vantrel_table* table);

/* The number of cells of line `index`, the origin left out; 0 for NULL or an
 * index past the last line. */
VANTREL_API size_t vantrel_table_line_length(const vantrel_table* table, size_t index);

/* Copies the cells of line `index`, from the origin outwards, into `cells`,
 * which holds `capacity` cells: vantrel_table_line_length of them are
 * written. Cost: the copy. Errors: VANTREL_INVALID_ARGUMENT for a null
 * `table` or `cells`, an index past the last line or a capacity too small;
 * nothing is written then. */
VANTREL_API vantrel_status vantrel_table_line_points(const vantrel_table* table, size_t index,
                                                     vantrel_cell* cells, size_t capacity);

/* ---- Table files -------------------------------------------------------- */

/* The tables of one table file, such as the LOS.TDF that the vantrel tool
 * writes, opened once: it is read through once to note where each table
 * begins, then each table is read when asked for. Whatever the file holds, the
 * answer is a table or VANTREL_TABLE_FILE_ERROR, never a crash. Not safe to
 * use from two threads at once, even to read: tables are read through one
 * open file. Distinct table files may be used by distinct threads. */
typedef struct vantrel_table_file vantrel_table_file;

/* Opens and indexes the table file at `path`, which must be a file that can be
 * read again where a table begins (not a pipe), in *out, to be freed with
 * vantrel_table_file_free; the file stays open until then. Cost: a read of the
 * whole file. Errors: VANTREL_TABLE_FILE_ERROR when the file cannot be read
 * or its tables cannot be found, VANTREL_INVALID_ARGUMENT for a null `path`
 * or `out`, VANTREL_OUT_OF_MEMORY. On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_table_file_open(const char* path, vantrel_table_file** out);

/* The same for the `size` bytes at `bytes`, which are copied: the caller may
 * free them on return. NULL is taken for no bytes when `size` is 0. Messages
 * name the file "table file". Errors: as vantrel_table_file_open, and
 * VANTREL_INVALID_ARGUMENT for null `bytes` with a size other than 0. */
VANTREL_API vantrel_status vantrel_table_file_from_bytes(const void* bytes, size_t size,
                                                         vantrel_table_file** out);

/* Frees a table file and closes the file; NULL is ignored. Tables read from it
 * stay usable. */
VANTREL_API void vantrel_table_file_free(vantrel_table_file* file);

/* The number of tables in the file; 0 for NULL. */
VANTREL_API size_t vantrel_table_file_table_count(const vantrel_table_file* file);

/* The radius of table `index` (from 0) in the order of the file; 0 for NULL or
 * an index past the last table. */
VANTREL_API int vantrel_table_file_radius(const vantrel_table_file* file, size_t index);

/* 1 when the file has a table of radius `radius`, else 0 (also for NULL).
 * Cost: a look-up among the radii; the table itself is not read or checked. */
VANTREL_API int vantrel_table_file_has_table(const vantrel_table_file* file, int radius);

/* Reads table `radius` into *out, to be freed with vantrel_table_free,
 * checking that it is a table: braces around a numlines entry and as many
 * line entries, numbered from 1, each with as many points as it states, each
 * point a step to a neighbouring cell from the one before (from the origin
 * first), within 0 to the radius on both axes. Cost: a read of that table.
 * Errors: VANTREL_TABLE_FILE_ERROR when the file has no such table, it is not
 * one, or the file changed since it was opened so that the table is no longer
 * where it was; VANTREL_INVALID_ARGUMENT for a null `file` or `out`;
 * VANTREL_OUT_OF_MEMORY. On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_table_file_read(vantrel_table_file* file, int radius,
                                                   vantrel_table** out);

/* ---- Field of view ------------------------------------------------------ */

/* The field of view that a table defines: for a viewer at cell O, the lines
 * of the table, each turned by each of the 8 symmetries of the square, are
 * walked from O outwards; a cell is in view when some turned line reaches it
 * with no opaque cell before it on that line. The first opaque cell of a line
 * is in view (walls are seen, unless VANTREL_WALLS_UNSEEN is asked for; see
 * VANTREL_WALLS_FACING for walls without holes), O is in view, a line ends
 * at the map's edge.
 * Built once, it computes views without allocating or changing: any number of
 * threads may compute with one vantrel_fov at once. */
typedef struct vantrel_fov vantrel_fov;

/* Builds the field of view of `table` in *out, to be freed with
 * vantrel_fov_free; it keeps no reference to the table. Takes up to 64 bytes
 * per point of the table, about twice that while built (a radius of 50 takes
 * about 200 KB, 500 about 20 MB). Errors: VANTREL_INVALID_ARGUMENT for a null
 * `table` or `out`, or a table whose lines do not step from the origin to a
 * neighbouring cell at a time or reach beyond 32767 cells;
 * VANTREL_OUT_OF_MEMORY. On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_fov_new(const vantrel_table* table, vantrel_fov** out);

/* Frees a field of view; NULL is ignored. No thread may be computing with it. */
VANTREL_API void vantrel_fov_free(vantrel_fov* fov);

/* How far from the viewer the lines of its table reach: the table's radius
 * for every table the vantrel tool writes, less for a hand-made table whose
 * lines fall short of it (0 for one without lines); 0 for NULL. */
VANTREL_API int vantrel_fov_radius(const vantrel_fov* fov);

/* Computes what a viewer at (x, y) sees on a map of width x height cells,
 * where `opaque` holds a byte per cell, non-zero where sight stops: sets each
 * byte of `in_view`, which holds width * height bytes too, to 1 for a cell in
 * view and to 0 for any other. Cost: one walk of the table's lines from the
 * viewer, skipping what lies behind an opaque cell; allocates nothing. Errors:
 * VANTREL_INVALID_ARGUMENT for a null pointer, a width or height below 1, a
 * viewer off the map, or an `in_view` that shares bytes with `opaque`;
 * `in_view` is left as it was then. */
VANTREL_API vantrel_status vantrel_fov_compute(const vantrel_fov* fov, int32_t x, int32_t y,
                                               int32_t width, int32_t height,
                                               const uint8_t* opaque, uint8_t* in_view);

/* Options of vantrel_fov_compute_with and vantrel_fov_mark, or'ed together;
 * 0 is none. VANTREL_WALLS_UNSEEN: no opaque cell is in view but the
 * viewer's own (the viewer's cell is in view, opaque or not); lines still
 * stop at the first opaque cell, and clear cells are in view as without it.
 * Without it the first opaque cell of each line is in view (walls are lit). */
#define VANTREL_WALLS_UNSEEN 0x1u
/* VANTREL_SYMMETRIC, of vantrel_fov_compute_with only: the symmetric view
 * (vantrel/symmetric_view.h). A clear cell B is in view of the viewer A
 * when B is in A's view and A is in B's, so that of two clear cells each
 * sees the other or neither does; an opaque cell is in view as without it,
 * and the viewer always. It goes with either VANTREL_WALLS_ option or none. */
#define VANTREL_SYMMETRIC 0x2u
/* VANTREL_WALLS_FACING: the walls as a game shows them, without the holes
 * that lines ending elsewhere leave. An opaque cell W is in view when a line
 * reaches it, as without options, or when one of its eight neighbours C is a
 * clear cell in view that is no farther from the viewer than W along either
 * axis (|C.x - x| <= |W.x - x| and |C.y - y| <= |W.y - y|, the viewer at
 * (x, y)); such a wall may lie one cell beyond the radius. With
 * VANTREL_SYMMETRIC, C is in the symmetric view. Costs up to three reads of
 * the map more per clear cell in view. Not with VANTREL_WALLS_UNSEEN. Without
 * options the walls are as in the first versions, for existing callers. */
#define VANTREL_WALLS_FACING 0x4u

/* vantrel_fov_compute with `options`: with 0 it is vantrel_fov_compute, to
 * the byte. With VANTREL_SYMMETRIC, the first such call with a vantrel_fov
 * builds an index of the lines of its table, which grows as the cube of its
 * radius (a radius of 12 about 43 KB, 50 about 2.1 MB, 200 about
 * 109 MB and half a second); later calls allocate nothing. Threads: as
 * vantrel_fov_compute, the first call included. Errors: as
 * vantrel_fov_compute, and VANTREL_INVALID_ARGUMENT for a bit of `options`
 * that is none of the VANTREL_ options above, both walls options, or
 * VANTREL_SYMMETRIC with a radius beyond 200 or a hand-made table whose
 * lines the index refuses (vantrel/symmetric_view.h); VANTREL_OUT_OF_MEMORY
 * when the index cannot be built. `in_view` is left as it was on failure. */
VANTREL_API vantrel_status vantrel_fov_compute_with(const vantrel_fov* fov, int32_t x, int32_t y,
                                                    int32_t width, int32_t height,
                                                    const uint8_t* opaque, uint8_t* in_view,
                                                    unsigned options);

/* The same walk for an engine that clears its view itself: sets to 1 the
 * byte of `in_view` of each cell in view and touches no other byte, neither
 * reading nor writing it; the caller clears the view once, then only the
 * (2r + 1) x (2r + 1) cells around the last viewer (r: vantrel_fov_radius),
 * or (2r + 3) x (2r + 3) with VANTREL_WALLS_FACING, whose walls may lie a
 * cell beyond.
 * Cost: one walk of the table's lines from the viewer, skipping what lies
 * behind an opaque cell, whatever the map's size; allocates nothing. Errors:
 * as vantrel_fov_compute_with, and VANTREL_INVALID_ARGUMENT for
 * VANTREL_SYMMETRIC, which only a whole view can hold; `in_view` is left as
 * it was then. Threads:
 * many threads may mark at once with one vantrel_fov, each into its own
 * `in_view`; into the same one from several threads at once is a data race
 * unless the caller orders the calls. */
VANTREL_API vantrel_status vantrel_fov_mark(const vantrel_fov* fov, int32_t x, int32_t y,
                                            int32_t width, int32_t height, const uint8_t* opaque,
                                            uint8_t* in_view, unsigned options);

/* vantrel_fov_mark, listing the cells it puts in view: each cell whose byte of
 * `in_view` it turns from 0 to 1 is written to `cells`, once, in the order the
 * lines reach them (the viewer first), and *count is set to their number.
 * With `in_view` cleared as vantrel_fov_mark says, the list is the whole
 * view: a game reads the cells in view alone, without a pass over the
 * square. `cells` must hold vantrel_fov_list_capacity(fov, options) cells.
 * Options as vantrel_fov_mark. Cost: about that of vantrel_fov_mark;
 * allocates nothing. Errors: as vantrel_fov_mark, and
 * VANTREL_INVALID_ARGUMENT for a null `cells` or `count`, a capacity too
 * small, or cells that share bytes with the maps; nothing is written then,
 * and *count is 0. */
VANTREL_API vantrel_status vantrel_fov_list(const vantrel_fov* fov, int32_t x, int32_t y,
                                            int32_t width, int32_t height, const uint8_t* opaque,
                                            uint8_t* in_view, unsigned options,
                                            vantrel_cell* cells, size_t capacity,
                                            size_t* count);

/* vantrel_fov_mark of the symmetric view (VANTREL_SYMMETRIC of
 * vantrel_fov_compute_with): sets to 1 the byte of `in_view` of each cell in
 * it and touches no other, at the cost of the view and not of the map. The
 * view is made in `scratch`, `scratch_size` bytes of the caller's, at least
 * vantrel_fov_symmetric_scratch_size(fov); its bytes mean nothing after the
 * call. `options`: a walls option or none. The first call with a vantrel_fov
 * builds its symmetric view's index, as vantrel_fov_compute_with does.
 * Errors: as vantrel_fov_mark, and VANTREL_INVALID_ARGUMENT for a null or too
 * small scratch, or one that shares bytes with the maps; `in_view` is left as
 * it was then. */
VANTREL_API vantrel_status vantrel_fov_mark_symmetric(const vantrel_fov* fov, int32_t x,
                                                      int32_t y, int32_t width, int32_t height,
                                                      const uint8_t* opaque, uint8_t* in_view,
                                                      unsigned options, uint8_t* scratch,
                                                      size_t scratch_size);

/* The bytes of scratch vantrel_fov_mark_symmetric takes: (2r + 3)^2, r the
 * radius; 0 for NULL. */
VANTREL_API size_t vantrel_fov_symmetric_scratch_size(const vantrel_fov* fov);

/* The most cells vantrel_fov_list writes with `options`: (2r + 1)^2, r its
 * radius, or (2r + 3)^2 with VANTREL_WALLS_FACING; 0 for NULL. */
VANTREL_API size_t vantrel_fov_list_capacity(const vantrel_fov* fov, unsigned options);

/* A cone of sight: the cells whose direction from the viewer's centre to
 * their centre lies within `width` degrees centred on `direction`, edges
 * included; the viewer is always in it. Degrees go clockwise on a map drawn
 * row 0 at the top: 0 looks along +x (east), 90 along +y (south), 180 west,
 * 270 north. `width` is above 0 and at most 360; `direction` any finite
 * angle. With VANTREL_WALLS_FACING the walls next to the clear cells of the
 * cone's view are lit, even just outside it. */
typedef struct vantrel_cone {
  double direction;
  double width;
} vantrel_cone;

/* vantrel_fov_compute_with, vantrel_fov_mark, vantrel_fov_list and
 * vantrel_fov_sees through a cone: the cells of the view whose direction lies
 * in `cone`. VANTREL_SYMMETRIC goes with vantrel_fov_compute_cone alone, which
 * then cuts the symmetric view to the cone. Errors: theirs, and
 * VANTREL_INVALID_ARGUMENT for a cone that is not one; nothing is written
 * then. Cost: theirs, and a few cells a row of the square (compute) or a test
 * of each cell the lines reach (mark, list). */
VANTREL_API vantrel_status vantrel_fov_compute_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                                    int32_t width, int32_t height,
                                                    const uint8_t* opaque, uint8_t* in_view,
                                                    unsigned options, vantrel_cone cone);
VANTREL_API vantrel_status vantrel_fov_mark_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                                 int32_t width, int32_t height,
                                                 const uint8_t* opaque, uint8_t* in_view,
                                                 unsigned options, vantrel_cone cone);
VANTREL_API vantrel_status vantrel_fov_sees_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                                 int32_t target_x, int32_t target_y,
                                                 int32_t width, int32_t height,
                                                 const uint8_t* opaque, unsigned options,
                                                 vantrel_cone cone, int* sees);
VANTREL_API vantrel_status vantrel_fov_list_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                                 int32_t width, int32_t height,
                                                 const uint8_t* opaque, uint8_t* in_view,
                                                 unsigned options, vantrel_cone cone,
                                                 vantrel_cell* cells, size_t capacity,
                                                 size_t* count);

/* Whether a viewer at (x, y) sees the cell (target_x, target_y): sets *sees
 * to 1 when vantrel_fov_compute_with with the same map and `options` would
 * set the target's byte to 1, to 0 otherwise (a target further than the
 * radius is not seen, nor with VANTREL_WALLS_FACING one further than the
 * radius plus one). Cost: a walk back from the target along the lines
 * through it only, up to the first opaque cell, whatever the table's size.
 * The first call with a vantrel_fov builds its index of lines: 12 bytes per
 * cell of its tree and 4 per cell within its radius (a radius of 12 about
 * 10 KB, 50 about 210 KB); later calls allocate nothing. With
 * VANTREL_SYMMETRIC, whether sight works both ways: the target's byte of the
 * symmetric view, at twice the cost and without its index. Errors:
 * VANTREL_INVALID_ARGUMENT for a null pointer, a width or height below 1, an
 * unknown option or both walls options, or a viewer or target off the map;
 * VANTREL_OUT_OF_MEMORY when the index cannot be built. *sees is 0 on
 * failure. Threads: as vantrel_fov_compute, the first call included. */
VANTREL_API vantrel_status vantrel_fov_sees(const vantrel_fov* fov, int32_t x, int32_t y,
                                            int32_t target_x, int32_t target_y, int32_t width,
                                            int32_t height, const uint8_t* opaque,
                                            unsigned options, int* sees);

/* ---- Views of every radius ---------------------------------------------- */

/* The fields of view of every sight radius up to a largest one: the view of
 * radius r is the view by the lines of table r (not table k cut short, whose
 * lines differ). A radius's vantrel_fov is built when it is first asked for
 * and kept until the vantrel_sight is freed. Threads: any number of threads
 * may use one vantrel_sight at once, a radius's first use included (one
 * builds it while the others wait). */
typedef struct vantrel_sight vantrel_sight;

/* Radii 1 to `largest_radius`, each by the table the vantrel tool writes for
 * it, in *out, to be freed with vantrel_sight_free. Builds nothing yet:
 * about 100 bytes per radius. Errors: VANTREL_INVALID_ARGUMENT for a null
 * `out` or a largest radius below 1 or above 32767; VANTREL_OUT_OF_MEMORY.
 * On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_sight_new(int largest_radius, vantrel_sight** out);

/* The radii of a table file, each by its table there: reads every table of
 * the file now and keeps each until its radius is built; the file may be
 * freed on return. Errors: VANTREL_TABLE_FILE_ERROR when a table cannot be
 * read or is none; VANTREL_INVALID_ARGUMENT for a null argument, a file
 * without tables, or one with a table beyond 32767; VANTREL_OUT_OF_MEMORY.
 * On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_sight_from_file(vantrel_table_file* file,
                                                   vantrel_sight** out);

/* Frees a sight and every vantrel_fov it gave; NULL is ignored. No thread
 * may be using it or them. */
VANTREL_API void vantrel_sight_free(vantrel_sight* sight);

/* The largest radius it has; 0 for NULL. */
VANTREL_API int vantrel_sight_largest_radius(const vantrel_sight* sight);

/* 1 when it has radius `radius` (every one from 1 to the largest when made
 * by radius, the file's when made from one), else 0 (also for NULL). */
VANTREL_API int vantrel_sight_has_radius(const vantrel_sight* sight, int radius);

/* The field of view of radius `radius` in *out, built now if it is not yet
 * (as vantrel_fov_new: up to 64 bytes per point of the table), for every
 * vantrel_fov_ call but vantrel_fov_free: it belongs to the sight, and lives
 * as long as it. Cost once built: a look-up. Errors:
 * VANTREL_INVALID_ARGUMENT for a null argument or a radius it does not have,
 * or a file's table that is no field of view; VANTREL_OUT_OF_MEMORY (the
 * radius is tried again at its next use). On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_sight_fov(const vantrel_sight* sight, int radius,
                                             const vantrel_fov** out);

/* ---- Fog of war --------------------------------------------------------- */

/* What any of many viewers sees, on one thread or several: the threads are
 * started once, by vantrel_fog_new, wait asleep between updates and are
 * stopped by vantrel_fog_free; an update starts none and allocates nothing.
 * Threads: updates of one vantrel_fog from several threads at once take turns,
 * 1,024 viewers at a time, each batch waiting for the one before; the result
 * of each is the same as alone. Nothing an update was given is used once it
 * returns. */
typedef struct vantrel_fog vantrel_fog;

/* Fog of war on `threads` threads, the caller's included, in *out, to be
 * freed with vantrel_fog_free: 1 starts no thread, 0 one per core of the
 * machine. The threads block every signal. Errors: VANTREL_INVALID_ARGUMENT
 * for a null `out` or a count below 0 or above 256; VANTREL_OUT_OF_MEMORY,
 * also when a thread cannot be started. On failure *out is set to NULL. */
VANTREL_API vantrel_status vantrel_fog_new(int threads, vantrel_fog** out);

/* Stops its threads and frees it; NULL is ignored. */
VANTREL_API void vantrel_fog_free(vantrel_fog* fog);

/* The threads an update runs on, the caller's included; 0 for NULL. */
VANTREL_API int vantrel_fog_threads(const vantrel_fog* fog);

/* Marks into `visible`, and into `explored` unless it is NULL, the view by
 * `fov` of each of the `count` viewers at `viewers` (the same cell may be
 * given more than once), on a map as vantrel_fov_compute takes it: each byte of
 * a cell that some viewer sees is set to 1, and no other byte is written.
 * The caller clears `visible` before an update when it is to hold this
 * update's views alone, and keeps `explored` from one to the next. For
 * viewers of several radii, one update per radius, each with its own
 * vantrel_sight_fov, into the same maps. The result is the same on any
 * number of threads. Cost: vantrel_fov_mark of each viewer, shared among the
 * threads, whatever the map's size. Errors: VANTREL_INVALID_ARGUMENT for a
 * null `fog`, `fov`, `opaque` or `visible`, null `viewers` with a count
 * above 0, a width or height below 1, an unknown option, both walls options
 * or VANTREL_SYMMETRIC (fog of war is of plain views), maps that share
 * bytes, or a viewer off the map (the message gives its index); no byte is
 * written then. */
VANTREL_API vantrel_status vantrel_fog_update(vantrel_fog* fog, const vantrel_fov* fov,
                                              const vantrel_cell* viewers, size_t count,
                                              int32_t width, int32_t height, const uint8_t* opaque,
                                              uint8_t* visible, uint8_t* explored,
                                              unsigned options);

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_VANTREL_H_ */
