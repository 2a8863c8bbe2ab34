// The C API, vantrel/vantrel.h, on top of the C++ one: each handle holds the
// C++ object, and each call that can fail runs in guarded(), which turns what
// the C++ API throws into a status and the thread's last error, as the C++
// calls that take an Error classify it, and names the C function in the
// message, so that no exception and no C++ name reaches a C caller.
#include "vantrel/vantrel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "lib/cell.h"
#include "lib/error_report.h"
#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"

struct vantrel_table {
  vantrel::Table table;
};

struct vantrel_table_file {
  vantrel::TableFile file;
};

struct vantrel_fov {
  // A field of view of its own, or one that a vantrel_sight keeps.
  explicit vantrel_fov(vantrel::FieldOfView view) : own(std::move(view)), fov(*own) {}
  struct Kept {};
  vantrel_fov(const vantrel::FieldOfView& kept, Kept) : fov(kept) {}

  std::optional<vantrel::FieldOfView> own;
  const vantrel::FieldOfView& fov;
  // Built by the first vantrel_fov_sees, by one thread while the others wait.
  mutable std::once_flag sight_once;
  mutable std::unique_ptr<vantrel::LineOfSight> sight;
  // Built by the first vantrel_fov_compute_with that asks for
  // VANTREL_SYMMETRIC, the same way.
  mutable std::once_flag symmetric_once;
  mutable std::unique_ptr<vantrel::SymmetricView> symmetric;
};

struct vantrel_sight {
  explicit vantrel_sight(vantrel::Sight views)
      : sight(std::move(views)),
        handles(std::make_unique<Handle[]>(static_cast<std::size_t>(sight.largest_radius()))) {}

  // The handle of a radius, made once its field of view is built.
  struct Handle {
    std::once_flag once;
    std::unique_ptr<vantrel_fov> fov;
  };
  vantrel::Sight sight;
  std::unique_ptr<Handle[]> handles;  // radius r at r - 1
};

struct vantrel_fog {
  vantrel::FogOfWar fog;
};

namespace vantrel {

namespace {

// The viewers of a fog update converted to the C++ API's cells at a time,
// where they lie: 8 KB of the caller's stack.
constexpr std::size_t kViewersAtATime = 1024;

// The calling thread's last error: `shown` points at a fixed text or at
// `text`. Nothing in it needs destroying, so that a thread's first call
// registers no destructor, which fails, and aborts, when memory has run out.
struct LastError {
  char text[2048];
  const char* shown;
};
static_assert(std::is_trivially_destructible_v<LastError>);

constinit thread_local LastError last_error{{}, ""};

void clear_error() { last_error.shown = ""; }

// A number written without allocating, to go into a message.
class Decimal {
 public:
  template <class Integer>
  explicit Decimal(Integer value)
      : size_(static_cast<std::size_t>(
            std::to_chars(digits_, digits_ + sizeof digits_, value).ptr - digits_)) {}
  operator std::string_view() const { return {digits_, size_}; }

 private:
  char digits_[24];
  std::size_t size_;
};

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// `size`, less the bytes of a UTF-8 character that `text` holds only the
// start of.
std::size_t whole_characters(const char* text, std::size_t size) {
  std::size_t start = size;
  while (start > 0 && is_continuation(text[start - 1])) --start;
  if (start == 0) return size;
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  if (lead < 0xc0) return size;
  const std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
  return size - (start - 1) < length ? start - 1 : size;
}

// Sets the thread's last error to `parts` one after the other, and returns
// `status`. A message too long for the room keeps its start and its end,
// with "..." between them, and no character cut in two.
vantrel_status fail(vantrel_status status, std::initializer_list<std::string_view> parts) noexcept {
  std::size_t total = 0;
  for (const std::string_view part : parts) total += part.size();
  constexpr std::size_t kRoom = sizeof last_error.text - 1;
  constexpr std::string_view kCut = "...";
  // Bytes [0, head) and [tail, total) of the message are kept.
  const bool cut = total > kRoom;
  const std::size_t head = cut ? (kRoom - kCut.size()) / 2 : total;
  const std::size_t tail = cut ? total - (kRoom - kCut.size() - head) : total;
  char* const text = last_error.text;
  std::size_t size = 0;
  std::size_t at = 0;
  bool tail_started = false;
  for (const std::string_view part : parts) {
    for (const char c : part) {
      if (at < head) {
        text[size++] = c;
        if (cut && at + 1 == head) {
          size = whole_characters(text, size);
          for (const char dot : kCut) text[size++] = dot;
        }
      } else if (at >= tail && (tail_started || !is_continuation(c))) {
        tail_started = true;
        text[size++] = c;
      }
      ++at;
    }
  }
  text[size] = '\0';
  last_error.shown = text;
  return status;
}

// The status of what the C++ API reports.
vantrel_status status_of(Error::Code code) noexcept {
  switch (code) {
    case Error::Code::kNone:
      return VANTREL_OK;
    case Error::Code::kInvalidArgument:
      return VANTREL_INVALID_ARGUMENT;
    case Error::Code::kTableFile:
      return VANTREL_TABLE_FILE_ERROR;
    case Error::Code::kOutOfMemory:
      return VANTREL_OUT_OF_MEMORY;
    case Error::Code::kInternal:
      break;
  }
  return VANTREL_INTERNAL_ERROR;
}

// Sets the thread's last error to what `error` reports, the call named as a
// C caller knows it: a message of the C++ API that starts with the C++
// call's name ("vantrel::FieldOfView::compute: ...") starts with
// `function` instead. Returns the status.
vantrel_status fail_as(const char* function, const Error& error) noexcept {
  constexpr std::string_view kCppName = "vantrel::";
  const std::string_view message = error.message;
  const std::size_t name_end = message.find(": ");
  if (message.starts_with(kCppName) && name_end != std::string_view::npos) {
    return fail(status_of(error.code), {function, message.substr(name_end)});
  }
  return fail(status_of(error.code), {message});
}

// Runs `call`, which returns nothing and reports a failure by throwing, and
// gives its outcome as a status and the thread's last error, which names
// the C function `function`.
template <class Call>
vantrel_status guarded(const char* function, Call&& call) noexcept {
  Error error;
  if (catch_into(error, call)) {
    clear_error();
    return VANTREL_OK;
  }
  return fail_as(function, error);
}

// Sets *out to a new handle made by `make`, or to NULL when it fails.
template <class Handle, class Make>
vantrel_status make_handle(Handle** out, const char* function, Make&& make) noexcept {
  if (out == nullptr) {
    return fail(VANTREL_INVALID_ARGUMENT, {function, ": `out` is null"});
  }
  *out = nullptr;
  return guarded(function, [&] { *out = new Handle{make()}; });
}

vantrel_status null_argument(const char* function, const char* name) noexcept {
  return fail(VANTREL_INVALID_ARGUMENT, {function, ": `", name, "` is null"});
}

// Checks a map's size and the options, which the C++ API cannot check
// itself: sets `size` to width * height and `walls` to what the options ask
// for, or returns what is wrong. `symmetric` tells whether the function
// takes VANTREL_SYMMETRIC.
vantrel_status check_map(const char* function, int32_t width, int32_t height, unsigned options,
                         bool symmetric, std::size_t& size, Walls& walls) noexcept {
  // The spans need a size that fits, and a width and height it can multiply.
  size = 0;
  if (width > 0 && height > 0 &&
      static_cast<std::size_t>(height) <= SIZE_MAX / static_cast<std::size_t>(width)) {
    size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  if (size == 0) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {function, ": a map must be at least 1 x 1 cells, not ", Decimal(width), " x ",
                 Decimal(height)});
  }
  if (!symmetric && (options & VANTREL_SYMMETRIC) != 0) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {function,
                 ": VANTREL_SYMMETRIC is an option of vantrel_fov_compute_with and "
                 "vantrel_fov_sees only"});
  }
  constexpr unsigned kKnownOptions = VANTREL_WALLS_UNSEEN | VANTREL_SYMMETRIC |
                                     VANTREL_WALLS_FACING;
  if ((options & ~kKnownOptions) != 0) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {function, ": unknown options ", Decimal(options & ~kKnownOptions),
                 " (VANTREL_WALLS_UNSEEN is ", Decimal(VANTREL_WALLS_UNSEEN),
                 ", VANTREL_SYMMETRIC ", Decimal(VANTREL_SYMMETRIC), ", VANTREL_WALLS_FACING ",
                 Decimal(VANTREL_WALLS_FACING), ")"});
  }
  constexpr unsigned kBothWalls = VANTREL_WALLS_UNSEEN | VANTREL_WALLS_FACING;
  if ((options & kBothWalls) == kBothWalls) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {function, ": VANTREL_WALLS_UNSEEN and VANTREL_WALLS_FACING exclude each other"});
  }
  walls = (options & VANTREL_WALLS_UNSEEN) != 0   ? Walls::kUnseen
          : (options & VANTREL_WALLS_FACING) != 0 ? Walls::kFacing
                                                  : Walls::kSeen;
  return VANTREL_OK;
}

// Checks the arguments of a view that the C++ API cannot check itself (the
// viewer and the map's size it checks against the spans' sizes), then runs
// `view` with the map and the view as spans and the options as Walls.
// `symmetric` as check_map takes it.
// The symmetric view and the line of sight of a field of view, each built
// at its first use by any thread.
const SymmetricView& symmetric_of(const vantrel_fov& handle) {
  std::call_once(handle.symmetric_once,
                 [&] { handle.symmetric = std::make_unique<SymmetricView>(handle.fov); });
  return *handle.symmetric;
}
const LineOfSight& line_of(const vantrel_fov& handle) {
  std::call_once(handle.sight_once,
                 [&] { handle.sight = std::make_unique<LineOfSight>(handle.fov); });
  return *handle.sight;
}

template <class View>
vantrel_status with_view(const char* function, const vantrel_fov* fov, int32_t width,
                         int32_t height, const uint8_t* opaque, uint8_t* in_view,
                         unsigned options, bool symmetric, View&& view) noexcept {
  if (fov == nullptr) return null_argument(function, "fov");
  if (opaque == nullptr) return null_argument(function, "opaque");
  if (in_view == nullptr) return null_argument(function, "in_view");
  std::size_t size = 0;
  Walls walls = Walls::kSeen;
  const vantrel_status status =
      check_map(function, width, height, options, symmetric, size, walls);
  if (status != VANTREL_OK) return status;
  return guarded(function, [&] {
    view(std::span<const std::uint8_t>(opaque, size), std::span<std::uint8_t>(in_view, size),
         walls);
  });
}

// The same for whether a viewer sees a target: checks `sees`, the field of
// view, the map and the options (`symmetric`: whether the function takes
// VANTREL_SYMMETRIC), then sets *sees to what `look` says of the map as a
// span, 0 on failure.
template <class Look>
vantrel_status with_target(const char* function, const vantrel_fov* fov, int32_t width,
                           int32_t height, const uint8_t* opaque, unsigned options,
                           bool symmetric, int* sees, Look&& look) noexcept {
  if (sees == nullptr) return null_argument(function, "sees");
  *sees = 0;
  if (fov == nullptr) return null_argument(function, "fov");
  if (opaque == nullptr) return null_argument(function, "opaque");
  std::size_t size = 0;
  Walls walls = Walls::kSeen;
  const vantrel_status status =
      check_map(function, width, height, options, symmetric, size, walls);
  if (status != VANTREL_OK) return status;
  return guarded(function, [&] {
    *sees = look(std::span<const std::uint8_t>(opaque, size), walls) ? 1 : 0;
  });
}

}  // namespace
}  // namespace vantrel

using vantrel::Decimal;
using vantrel::fail;
using vantrel::line_of;
using vantrel::make_handle;
using vantrel::null_argument;
using vantrel::symmetric_of;

extern "C" {

const char* vantrel_status_text(vantrel_status status) {
  switch (status) {
    case VANTREL_OK:
      return "ok";
    case VANTREL_INVALID_ARGUMENT:
      return "invalid argument";
    case VANTREL_TABLE_FILE_ERROR:
      return "table file error";
    case VANTREL_OUT_OF_MEMORY:
      return "out of memory";
    case VANTREL_INTERNAL_ERROR:
      return "internal error";
  }
  return "unknown status";
}

const char* vantrel_last_error(void) { return vantrel::last_error.shown; }

vantrel_status vantrel_table_make(int radius, vantrel_table** out) {
  return make_handle(out, "vantrel_table_make", [&] { return vantrel::make_table(radius); });
}

vantrel_status vantrel_make_table(int radius, vantrel_table** out) {
  return make_handle(out, "vantrel_make_table", [&] { return vantrel::make_table(radius); });
}

void vantrel_table_free(vantrel_table* table) { delete table; }

int vantrel_table_radius(const vantrel_table* table) {
  return table != nullptr ? table->table.radius() : 0;
}

size_t vantrel_table_line_count(const vantrel_table* table) {
  return table != nullptr ? table->table.lines().size() : 0;
}

size_t vantrel_table_line_length(const vantrel_table* table, size_t index) {
  if (table == nullptr || index >= table->table.lines().size()) return 0;
  return table->table.lines()[index].size();
}

vantrel_status vantrel_table_line_points(const vantrel_table* table, size_t index,
                                         vantrel_cell* cells, size_t capacity) {
  constexpr const char* kFunction = "vantrel_table_line_points";
  if (table == nullptr) return null_argument(kFunction, "table");
  if (cells == nullptr) return null_argument(kFunction, "cells");
  const auto& lines = table->table.lines();
  if (index >= lines.size()) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {kFunction, ": the table has ", Decimal(lines.size()), " lines, no line of index ",
                 Decimal(index)});
  }
  const std::vector<vantrel::Cell>& line = lines[index];
  if (capacity < line.size()) {
    return fail(VANTREL_INVALID_ARGUMENT,
                {kFunction, ": line ", Decimal(index), " has ", Decimal(line.size()),
                 " cells, room was given for ", Decimal(capacity)});
  }
  for (std::size_t k = 0; k < line.size(); ++k) cells[k] = {line[k].x, line[k].y};
  vantrel::clear_error();
  return VANTREL_OK;
}

vantrel_status vantrel_table_file_open(const char* path, vantrel_table_file** out) {
  if (path == nullptr) {
    if (out != nullptr) *out = nullptr;
    return null_argument("vantrel_table_file_open", "path");
  }
  return make_handle(out, "vantrel_table_file_open",
                     [&] { return vantrel::TableFile(std::string(path)); });
}

vantrel_status vantrel_table_file_from_bytes(const void* bytes, size_t size,
                                             vantrel_table_file** out) {
  if (bytes == nullptr && size != 0) {
    if (out != nullptr) *out = nullptr;
    return null_argument("vantrel_table_file_from_bytes", "bytes");
  }
  const std::string_view view =
      size == 0 ? std::string_view() : std::string_view(static_cast<const char*>(bytes), size);
  return make_handle(out, "vantrel_table_file_from_bytes",
                     [&] { return vantrel::TableFile::from_bytes(view); });
}

void vantrel_table_file_free(vantrel_table_file* file) { delete file; }

size_t vantrel_table_file_table_count(const vantrel_table_file* file) {
  return file != nullptr ? file->file.radii().size() : 0;
}

int vantrel_table_file_radius(const vantrel_table_file* file, size_t index) {
  if (file == nullptr || index >= file->file.radii().size()) return 0;
  return file->file.radii()[index];
}

int vantrel_table_file_has_table(const vantrel_table_file* file, int radius) {
  return file != nullptr && file->file.has_table(radius) ? 1 : 0;
}

vantrel_status vantrel_table_file_read(vantrel_table_file* file, int radius, vantrel_table** out) {
  if (file == nullptr) {
    if (out != nullptr) *out = nullptr;
    return null_argument("vantrel_table_file_read", "file");
  }
  return make_handle(out, "vantrel_table_file_read",
                     [&] { return file->file.table(radius); });
}

vantrel_status vantrel_fov_new(const vantrel_table* table, vantrel_fov** out) {
  if (table == nullptr) {
    if (out != nullptr) *out = nullptr;
    return null_argument("vantrel_fov_new", "table");
  }
  return make_handle(out, "vantrel_fov_new",
                     [&] { return vantrel::FieldOfView(table->table); });
}

void vantrel_fov_free(vantrel_fov* fov) { delete fov; }

int vantrel_fov_radius(const vantrel_fov* fov) { return fov != nullptr ? fov->fov.radius() : 0; }

vantrel_status vantrel_fov_compute(const vantrel_fov* fov, int32_t x, int32_t y, int32_t width,
                                   int32_t height, const uint8_t* opaque, uint8_t* in_view) {
  return vantrel::with_view("vantrel_fov_compute", fov, width, height, opaque, in_view, 0, false,
                            [&](auto map, auto view, vantrel::Walls) {
                              fov->fov.compute(vantrel::Cell{x, y}, width, height, map, view);
                            });
}

vantrel_status vantrel_fov_compute_with(const vantrel_fov* fov, int32_t x, int32_t y,
                                        int32_t width, int32_t height, const uint8_t* opaque,
                                        uint8_t* in_view, unsigned options) {
  return vantrel::with_view(
      "vantrel_fov_compute_with", fov, width, height, opaque, in_view, options, true,
      [&](auto map, auto view, vantrel::Walls walls) {
        if ((options & VANTREL_SYMMETRIC) == 0) {
          fov->fov.compute(vantrel::Cell{x, y}, width, height, map, view, walls);
          return;
        }
        symmetric_of(*fov).compute(vantrel::Cell{x, y}, width, height, map, view, walls);
      });
}

vantrel_status vantrel_fov_mark(const vantrel_fov* fov, int32_t x, int32_t y, int32_t width,
                                int32_t height, const uint8_t* opaque, uint8_t* in_view,
                                unsigned options) {
  return vantrel::with_view("vantrel_fov_mark", fov, width, height, opaque, in_view, options, false,
                            [&](auto map, auto view, vantrel::Walls walls) {
                              fov->fov.mark(vantrel::Cell{x, y}, width, height, map, view, walls);
                            });
}

// The C cell and the C++ one are the same two 32-bit integers, so that a
// list is written straight into the caller's cells.
static_assert(sizeof(vantrel_cell) == sizeof(vantrel::Cell) &&
              offsetof(vantrel_cell, x) == offsetof(vantrel::Cell, x) &&
              offsetof(vantrel_cell, y) == offsetof(vantrel::Cell, y) &&
              std::is_standard_layout_v<vantrel::Cell> &&
              std::is_same_v<decltype(vantrel::Cell::x), int32_t>);

vantrel_status vantrel_fov_list(const vantrel_fov* fov, int32_t x, int32_t y, int32_t width,
                                int32_t height, const uint8_t* opaque, uint8_t* in_view,
                                unsigned options, vantrel_cell* cells, size_t capacity,
                                size_t* count) {
  constexpr const char* kFunction = "vantrel_fov_list";
  if (count == nullptr) return null_argument(kFunction, "count");
  *count = 0;
  if (cells == nullptr) return null_argument(kFunction, "cells");
  return vantrel::with_view(
      kFunction, fov, width, height, opaque, in_view, options, false,
      [&](auto map, auto view, vantrel::Walls walls) {
        *count = fov->fov.list(vantrel::Cell{x, y}, width, height, map, view,
                               std::span(reinterpret_cast<vantrel::Cell*>(cells), capacity), walls);
      });
}

vantrel_status vantrel_fov_compute_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                        int32_t width, int32_t height, const uint8_t* opaque,
                                        uint8_t* in_view, unsigned options, vantrel_cone cone) {
  return vantrel::with_view(
      "vantrel_fov_compute_cone", fov, width, height, opaque, in_view, options, true,
      [&](auto map, auto view, vantrel::Walls walls) {
        const vantrel::Cone cone_of_view{cone.direction, cone.width};
        if ((options & VANTREL_SYMMETRIC) == 0) {
          fov->fov.compute(vantrel::Cell{x, y}, width, height, map, view, cone_of_view, walls);
          return;
        }
        symmetric_of(*fov).compute(vantrel::Cell{x, y}, width, height, map, view, cone_of_view,
                                   walls);
      });
}

vantrel_status vantrel_fov_sees_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                     int32_t target_x, int32_t target_y, int32_t width,
                                     int32_t height, const uint8_t* opaque, unsigned options,
                                     vantrel_cone cone, int* sees) {
  return vantrel::with_target("vantrel_fov_sees_cone", fov, width, height, opaque, options,
                              false, sees, [&](auto map, vantrel::Walls walls) {
                                return line_of(*fov).sees(
                                    vantrel::Cell{x, y}, vantrel::Cell{target_x, target_y},
                                    width, height, map,
                                    vantrel::Cone{cone.direction, cone.width}, walls);
                              });
}

vantrel_status vantrel_fov_mark_cone(const vantrel_fov* fov, int32_t x, int32_t y,
                                     int32_t width, int32_t height, const uint8_t* opaque,
                                     uint8_t* in_view, unsigned options, vantrel_cone cone) {
  return vantrel::with_view("vantrel_fov_mark_cone", fov, width, height, opaque, in_view,
                            options, false, [&](auto map, auto view, vantrel::Walls walls) {
                              fov->fov.mark(vantrel::Cell{x, y}, width, height, map, view,
                                            vantrel::Cone{cone.direction, cone.width}, walls);
                            });
}

vantrel_status vantrel_fov_list_cone(const vantrel_fov* fov, int32_t x, int32_t y, int32_t width,
                                     int32_t height, const uint8_t* opaque, uint8_t* in_view,
                                     unsigned options, vantrel_cone cone, vantrel_cell* cells,
                                     size_t capacity, size_t* count) {
  constexpr const char* kFunction = "vantrel_fov_list_cone";
  if (count == nullptr) return null_argument(kFunction, "count");
  *count = 0;
  if (cells == nullptr) return null_argument(kFunction, "cells");
  return vantrel::with_view(
      kFunction, fov, width, height, opaque, in_view, options, false,
      [&](auto map, auto view, vantrel::Walls walls) {
        *count = fov->fov.list(vantrel::Cell{x, y}, width, height, map, view,
                               std::span(reinterpret_cast<vantrel::Cell*>(cells), capacity),
                               vantrel::Cone{cone.direction, cone.width}, walls);
      });
}

vantrel_status vantrel_fov_mark_symmetric(const vantrel_fov* fov, int32_t x, int32_t y,
                                          int32_t width, int32_t height, const uint8_t* opaque,
                                          uint8_t* in_view, unsigned options, uint8_t* scratch,
                                          size_t scratch_size) {
  constexpr const char* kFunction = "vantrel_fov_mark_symmetric";
  if (scratch == nullptr) return null_argument(kFunction, "scratch");
  return vantrel::with_view(kFunction, fov, width, height, opaque, in_view, options, false,
                            [&](auto map, auto view, vantrel::Walls walls) {
                              symmetric_of(*fov).mark(vantrel::Cell{x, y}, width, height, map,
                                                      view, std::span(scratch, scratch_size),
                                                      walls);
                            });
}

size_t vantrel_fov_symmetric_scratch_size(const vantrel_fov* fov) {
  if (fov == nullptr) return 0;
  const auto side = static_cast<std::size_t>(2 * fov->fov.radius() + 3);
  return side * side;
}

size_t vantrel_fov_list_capacity(const vantrel_fov* fov, unsigned options) {
  if (fov == nullptr) return 0;
  return fov->fov.list_capacity((options & VANTREL_WALLS_FACING) != 0 ? vantrel::Walls::kFacing
                                                                      : vantrel::Walls::kSeen);
}

vantrel_status vantrel_fov_sees(const vantrel_fov* fov, int32_t x, int32_t y, int32_t target_x,
                                int32_t target_y, int32_t width, int32_t height,
                                const uint8_t* opaque, unsigned options, int* sees) {
  return vantrel::with_target(
      "vantrel_fov_sees", fov, width, height, opaque, options, true, sees,
      [&](auto map, vantrel::Walls walls) {
        const vantrel::LineOfSight& line = line_of(*fov);
        const vantrel::Cell viewer{x, y};
        const vantrel::Cell target{target_x, target_y};
        return (options & VANTREL_SYMMETRIC) != 0
                   ? line.sees_both_ways(viewer, target, width, height, map, walls)
                   : line.sees(viewer, target, width, height, map, walls);
      });
}

vantrel_status vantrel_sight_new(int largest_radius, vantrel_sight** out) {
  return make_handle(out, "vantrel_sight_new", [&] { return vantrel::Sight(largest_radius); });
}

vantrel_status vantrel_sight_from_file(vantrel_table_file* file, vantrel_sight** out) {
  if (file == nullptr) {
    if (out != nullptr) *out = nullptr;
    return null_argument("vantrel_sight_from_file", "file");
  }
  return make_handle(out, "vantrel_sight_from_file",
                     [&] { return vantrel::Sight(file->file); });
}

void vantrel_sight_free(vantrel_sight* sight) { delete sight; }

int vantrel_sight_largest_radius(const vantrel_sight* sight) {
  return sight != nullptr ? sight->sight.largest_radius() : 0;
}

int vantrel_sight_has_radius(const vantrel_sight* sight, int radius) {
  return sight != nullptr && sight->sight.has_radius(radius) ? 1 : 0;
}

vantrel_status vantrel_sight_fov(const vantrel_sight* sight, int radius, const vantrel_fov** out) {
  constexpr const char* kFunction = "vantrel_sight_fov";
  if (out == nullptr) return null_argument(kFunction, "out");
  *out = nullptr;
  if (sight == nullptr) return null_argument(kFunction, "sight");
  return vantrel::guarded(kFunction, [&] {
    // Throws for a radius it does not have, before a handle is looked at.
    const vantrel::FieldOfView& view = sight->sight.field_of_view(radius);
    vantrel_sight::Handle& handle = sight->handles[static_cast<std::size_t>(radius - 1)];
    std::call_once(handle.once, [&] { handle.fov = std::make_unique<vantrel_fov>(view, vantrel_fov::Kept{}); });
    *out = handle.fov.get();
  });
}

vantrel_status vantrel_fog_new(int threads, vantrel_fog** out) {
  return make_handle(out, "vantrel_fog_new", [&] { return vantrel::FogOfWar(threads); });
}

void vantrel_fog_free(vantrel_fog* fog) { delete fog; }

int vantrel_fog_threads(const vantrel_fog* fog) { return fog != nullptr ? fog->fog.threads() : 0; }

vantrel_status vantrel_fog_update(vantrel_fog* fog, const vantrel_fov* fov,
                                  const vantrel_cell* viewers, size_t count, int32_t width,
                                  int32_t height,
                                  const uint8_t* opaque, uint8_t* visible, uint8_t* explored,
                                  unsigned options) {
  constexpr const char* kFunction = "vantrel_fog_update";
  if (fog == nullptr) return null_argument(kFunction, "fog");
  if (visible == nullptr) return null_argument(kFunction, "visible");
  if (viewers == nullptr && count != 0) return null_argument(kFunction, "viewers");
  return vantrel::with_view(
      kFunction, fov, width, height, opaque, visible, options, false,
      [&](auto map, auto view, vantrel::Walls walls) {
        const std::span<std::uint8_t> seen = explored != nullptr
                                                 ? std::span<std::uint8_t>(explored, view.size())
                                                 : std::span<std::uint8_t>();
        // Every viewer checked before any is marked, as one update would.
        for (std::size_t i = 0; i < count; ++i) {
          vantrel::check_viewer_on_map(kFunction, i, vantrel::Cell{viewers[i].x, viewers[i].y},
                                       width, height);
        }
        // The C++ API's cells, converted a batch at a time where they lie:
        // the views marked into the maps are the same in one update or in
        // several, and no memory is taken.
        std::array<vantrel::Cell, vantrel::kViewersAtATime> cells;
        std::size_t done = 0;
        do {
          const std::size_t batch = std::min(count - done, cells.size());
          for (std::size_t i = 0; i < batch; ++i) {
            cells[i] = vantrel::Cell{viewers[done + i].x, viewers[done + i].y};
          }
          fog->fog.update(fov->fov, std::span<const vantrel::Cell>(cells.data(), batch), width,
                          height, map, view, seen, walls);
          done += batch;
        } while (done < count);
      });
}

}  // extern "C"
