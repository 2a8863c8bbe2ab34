// vantrel._vantrel: libvantrel's tables, field of view, line of sight and fog
// of war over numpy arrays, for the package `vantrel`.
//
// A map is a 2-D array of bool or uint8 in C order, shape (height, width),
// read where it lies, never copied (but for the fog of war and the
// symmetric view of a map of clear cells, which invert it into a buffer):
// non-zero marks an opaque cell, or a clear one when `transparent` is true.
// Cells are (row, column), as numpy indexes the map; the library's (x, y)
// is (column, row). The GIL is released while anything is computed.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "lib/error_report.h"
#include "vantrel/cell.h"
#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"
#include "vantrel/version.h"

namespace py = pybind11;

namespace vantrel {
namespace {

// True for Python's bool and numpy's.
bool is_bool(py::handle value) {
  // Looked up once and kept for the life of the process.
  static PyObject* const numpy_bool =
      py::object(py::module_::import("numpy").attr("bool_")).release().ptr();
  return PyBool_Check(value.ptr()) ||
         PyObject_TypeCheck(value.ptr(), reinterpret_cast<PyTypeObject*>(numpy_bool));
}

// An int argument that is a count or a radius: any integer of Python's or
// numpy's that fits, but not a bool, which pybind11's int takes as 0 or 1.
struct Whole {
  int value;
};

}  // namespace
}  // namespace vantrel

namespace pybind11::detail {

template <>
struct type_caster<vantrel::Whole> {
  PYBIND11_TYPE_CASTER(vantrel::Whole, const_name("int"));
  bool load(handle source, bool) {
    if (!source || vantrel::is_bool(source) || !PyIndex_Check(source.ptr())) return false;
    const object index = reinterpret_steal<object>(PyNumber_Index(source.ptr()));
    if (!index) {
      PyErr_Clear();
      return false;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0 || v < INT_MIN || v > INT_MAX) return false;
    value.value = static_cast<int>(v);
    return true;
  }
  static handle cast(vantrel::Whole whole, return_value_policy, handle) {
    return PyLong_FromLong(whole.value);
  }
};

}  // namespace pybind11::detail

namespace vantrel {
namespace {

// A map or view as the library takes it: bytes row by row.
struct Grid {
  std::uint8_t* cells = nullptr;
  int width = 0;
  int height = 0;

  std::size_t size() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  std::span<const std::uint8_t> bytes() const { return {cells, size()}; }
  std::span<std::uint8_t> mutable_bytes() const { return {cells, size()}; }
};

// Checks that `array` is a map or view: 2-D, of bool or uint8, in C order,
// writeable when `writeable`. `what` names it in the messages.
Grid grid_of(const py::array& array, const char* what, bool writeable) {
  // The dtype's fields read in place: a view of a small map costs less than
  // a microsecond, and every call counts.
  const auto* dtype =
      py::detail::array_descriptor_proxy(py::detail::array_proxy(array.ptr())->descr);
  if (dtype->elsize != 1 || (dtype->kind != 'b' && dtype->kind != 'u')) {
    throw py::type_error(std::string(what) + " must be an array of bool or uint8, not " +
                         py::str(py::handle(array.dtype())).cast<std::string>());
  }
  if (array.ndim() != 2) {
    throw py::value_error(std::string(what) + " must be a 2-D array (rows, columns), not " +
                          std::to_string(array.ndim()) + "-D");
  }
  if (!(array.flags() & py::array::c_style)) {
    throw py::value_error(std::string(what) +
                          " must be in C order (numpy.ascontiguousarray makes it so)");
  }
  if (array.shape(0) > INT_MAX || array.shape(1) > INT_MAX) {
    throw py::value_error(std::string(what) + " has more than 2**31 - 1 rows or columns");
  }
  if (writeable && !array.writeable()) {
    throw py::value_error(std::string(what) + " is read-only");
  }
  // The data is only read through a map's Grid.
  return {static_cast<std::uint8_t*>(const_cast<void*>(array.data())),
          static_cast<int>(array.shape(1)), static_cast<int>(array.shape(0))};
}

bool overlap(const Grid& a, const Grid& b) {
  return a.cells < b.cells + b.size() && b.cells < a.cells + a.size();
}

// An output of the shape of `map`: `out` checked, or a new bool array.
// `fresh` is set when the array is new and already cleared.
py::array output_for(const Grid& map, std::optional<py::array> out, const char* what, Grid& grid,
                     bool* fresh = nullptr) {
  py::array array;
  if (out) {
    array = *out;
    grid = grid_of(array, what, true);
    if (grid.width != map.width || grid.height != map.height) {
      throw py::value_error(std::string(what) + " must have the shape of the map");
    }
    if (overlap(grid, map)) throw py::value_error(std::string(what) + " overlaps the map");
    if (fresh) *fresh = false;
  } else if (fresh) {
    array = py::module_::import("numpy").attr("zeros")(
        py::make_tuple(map.height, map.width), py::dtype::of<bool>());
    grid = grid_of(array, what, true);
    *fresh = true;
  } else {
    array = py::array(py::dtype::of<bool>(), {map.height, map.width});
    grid = grid_of(array, what, true);
  }
  return array;
}

// A (row, column) as the library's cell; one beyond int32 is off every map.
Cell cell_of(std::pair<std::int64_t, std::int64_t> row_column) {
  auto coordinate = [](std::int64_t v) {
    return v < INT32_MIN || v > INT32_MAX ? std::int32_t{-1} : static_cast<std::int32_t>(v);
  };
  return {coordinate(row_column.second), coordinate(row_column.first)};
}

// Refuses a cell off `map` as Python gives it: `what` at (row, column).
void check_on_map(const Grid& map, std::int64_t row, std::int64_t column, const std::string& what) {
  if (row < 0 || column < 0 || row >= map.height || column >= map.width) {
    throw py::value_error(what + " at (" + std::to_string(row) + ", " + std::to_string(column) +
                          ") is not on the map of " + std::to_string(map.height) + " x " +
                          std::to_string(map.width) + " cells (rows, columns)");
  }
}

// The same for each of n viewers, (row, column) pairs of T.
template <class T>
void check_on_map(const Grid& map, const T* viewers, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    check_on_map(map, static_cast<std::int64_t>(viewers[2 * i]),
                 static_cast<std::int64_t>(viewers[2 * i + 1]), "viewer " + std::to_string(i));
  }
}

// The walls of a call: `walls` by name ("seen", "unseen" or "facing"), or
// tcod's light_walls, True for "seen" and False for "unseen"; "seen" when
// neither is given. Null handles are arguments not given.
Walls walls_of(const char* call, py::handle walls, py::handle light_walls) {
  const bool named = walls && !walls.is_none();
  if (named && light_walls && !light_walls.is_none()) {
    throw py::type_error(std::string(call) + "(): give walls or light_walls, not both");
  }
  if (named) {
    if (!py::isinstance<py::str>(walls)) {
      throw py::type_error(std::string(call) + "(): walls must be \"seen\", \"unseen\" or "
                           "\"facing\"");
    }
    const std::string name = py::str(walls);
    if (name == "seen") return Walls::kSeen;
    if (name == "unseen") return Walls::kUnseen;
    if (name == "facing") return Walls::kFacing;
    throw py::value_error(std::string(call) + "(): walls must be \"seen\", \"unseen\" or "
                          "\"facing\", not " + std::string(py::repr(walls)));
  }
  if (light_walls && !light_walls.is_none()) {
    const int truth = PyObject_IsTrue(light_walls.ptr());
    if (truth < 0) throw py::error_already_set();
    return truth != 0 ? Walls::kSeen : Walls::kUnseen;
  }
  return Walls::kSeen;
}

// A map of clear cells as the predicate the library takes, reading the map
// where it lies; captured by value, as the library wants it.
struct Opaque {
  const std::uint8_t* clear;
  std::size_t width;
  bool operator()(std::int32_t x, std::int32_t y) const {
    return clear[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] == 0;
  }
};

// Writes the opaque cells of a map of clear cells into `opaque`.
void invert(const Grid& clear, std::vector<std::uint8_t>& opaque) {
  opaque.resize(clear.size());
  std::transform(clear.cells, clear.cells + clear.size(), opaque.begin(),
                 [](std::uint8_t c) { return static_cast<std::uint8_t>(c == 0); });
}

// The opaque cells of `map` as bytes, for the calls that read bytes alone:
// the map itself, or for a map of clear cells (`transparent`) its inverse,
// written into `inverted`.
std::span<const std::uint8_t> opaque_bytes(const Grid& map, bool transparent,
                                           std::vector<std::uint8_t>& inverted) {
  if (!transparent) return map.bytes();
  invert(map, inverted);
  return inverted;
}

std::vector<py::array> lines_of(const Table& table) {
  std::vector<py::array> lines;
  lines.reserve(table.lines().size());
  for (const std::vector<Cell>& line : table.lines()) {
    py::array_t<std::int32_t> cells({static_cast<py::ssize_t>(line.size()), py::ssize_t{2}});
    auto at = cells.mutable_unchecked<2>();
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto n = static_cast<py::ssize_t>(i);
      at(n, 0) = line[i].x;
      at(n, 1) = line[i].y;
    }
    lines.push_back(std::move(cells));
  }
  return lines;
}

std::string path_of(const py::object& path) {
  // str or bytes, as os.fspath gives them; a NUL would cut the name short.
  std::string name = py::module_::import("os").attr("fspath")(path).cast<std::string>();
  if (name.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return name;
}

// The field of view of every radius up to a largest one: a Sight, and the
// symmetric views built from it as they are asked for. Any number of
// threads may use one at once.
class PyFieldOfView {
 public:
  explicit PyFieldOfView(int largest_radius) : sight_(largest_radius) {}
  explicit PyFieldOfView(TableFile& file) : sight_(file) {}

  const Sight& sight() const { return sight_; }
  int radius_or_largest(std::optional<int> radius) const {
    return radius ? *radius : sight_.largest_radius();
  }

  // Called without the GIL.
  void compute(const Grid& map, Cell viewer, int radius, Walls walls, bool transparent,
               bool symmetric, std::optional<Cone> cone, const Grid& out) const {
    if (cone || symmetric) {
      // The symmetric view and the view through a cone read bytes alone: a
      // map of clear cells is inverted into a buffer of this call's.
      std::vector<std::uint8_t> inverted;
      const std::span<const std::uint8_t> opaque = opaque_bytes(map, transparent, inverted);
      const std::span<std::uint8_t> view = out.mutable_bytes();
      if (!symmetric) {
        sight_.field_of_view(radius).compute(viewer, map.width, map.height, opaque, view, *cone,
                                             walls);
      } else if (cone) {
        symmetric_view(radius).compute(viewer, map.width, map.height, opaque, view, *cone,
                                       walls);
      } else {
        symmetric_view(radius).compute(viewer, map.width, map.height, opaque, view, walls);
      }
      return;
    }
    const FieldOfView& view = sight_.field_of_view(radius);
    if (transparent) {
      view.compute(viewer, map.width, map.height,
                   Opaque{map.cells, static_cast<std::size_t>(map.width)}, out.mutable_bytes(),
                   walls);
    } else {
      view.compute(viewer, map.width, map.height, map.bytes(), out.mutable_bytes(), walls);
    }
  }

  // The cells in view, each once. Called without the GIL.
  std::vector<Cell> list(const Grid& map, Cell viewer, int radius, Walls walls, bool transparent,
                         std::optional<Cone> cone) const {
    const FieldOfView& view = sight_.field_of_view(radius);
    // The list reads bytes alone.
    std::vector<std::uint8_t> inverted;
    const std::span<const std::uint8_t> opaque = opaque_bytes(map, transparent, inverted);
    std::vector<std::uint8_t> in_view(map.size());
    std::vector<Cell> cells(view.list_capacity(walls));
    cells.resize(cone ? view.list(viewer, map.width, map.height, opaque, in_view, cells, *cone,
                                  walls)
                      : view.list(viewer, map.width, map.height, opaque, in_view, cells, walls));
    return cells;
  }

  bool sees(const Grid& map, Cell viewer, Cell target, int radius, Walls walls, bool transparent,
            bool symmetric, std::optional<Cone> cone) const {
    const LineOfSight& line = sight_.line_of_sight(radius);
    if (cone) {
      // Through a cone sees() reads bytes alone.
      std::vector<std::uint8_t> inverted;
      return line.sees(viewer, target, map.width, map.height,
                       opaque_bytes(map, transparent, inverted), *cone, walls);
    }
    if (transparent) {
      const Opaque opaque{map.cells, static_cast<std::size_t>(map.width)};
      return symmetric ? line.sees_both_ways(viewer, target, map.width, map.height, opaque, walls)
                       : line.sees(viewer, target, map.width, map.height, opaque, walls);
    }
    return symmetric
               ? line.sees_both_ways(viewer, target, map.width, map.height, map.bytes(), walls)
               : line.sees(viewer, target, map.width, map.height, map.bytes(), walls);
  }

 private:
  // The symmetric view of `radius`, built at its first use.
  const SymmetricView& symmetric_view(int radius) const {
    const FieldOfView& view = sight_.field_of_view(radius);
    std::lock_guard lock(symmetric_mutex_);
    std::unique_ptr<SymmetricView>& symmetric = symmetric_[radius];
    if (!symmetric) symmetric = std::make_unique<SymmetricView>(view);
    return *symmetric;
  }

  Sight sight_;
  mutable std::mutex symmetric_mutex_;  // guards symmetric_
  mutable std::map<int, std::unique_ptr<SymmetricView>> symmetric_;
};

// Fog of war of one Sight, with the viewers and (for maps of clear
// cells) the opaque cells kept between updates, so that an update of as
// many viewers on a map of the same size allocates nothing.
class PyFogOfWar {
 public:
  PyFogOfWar(std::shared_ptr<PyFieldOfView> view, int threads)
      : view_(std::move(view)), fog_(threads) {}

  int threads() const { return fog_.threads(); }
  const PyFieldOfView& view() const { return *view_; }

  // Called without the GIL. `viewers` holds n (row, column) pairs of T,
  // `radii` n radii or nothing.
  template <class T>
  void update(const Grid& map, const T* viewers, std::size_t n, const std::int64_t* radii,
              int radius, Walls walls, bool transparent, const Grid& visible,
              const Grid* explored) {
    std::lock_guard lock(mutex_);
    // A map of clear cells is inverted into the buffer kept for the next
    // update.
    const std::span<const std::uint8_t> opaque = opaque_bytes(map, transparent, opaque_);
    const std::span<std::uint8_t> seen =
        explored ? explored->mutable_bytes() : std::span<std::uint8_t>{};
    if (radii) {
      viewers_of_radius_.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        viewers_of_radius_[i] = {cell_of({viewers[2 * i], viewers[2 * i + 1]}),
                                 static_cast<int>(radii[i])};
      }
      fog_.update(view_->sight(), viewers_of_radius_, map.width, map.height, opaque,
                  visible.mutable_bytes(), seen, walls);
      return;
    }
    cells_.resize(n);
    for (std::size_t i = 0; i < n; ++i) cells_[i] = cell_of({viewers[2 * i], viewers[2 * i + 1]});
    fog_.update(view_->sight().field_of_view(radius), cells_, map.width, map.height, opaque,
                visible.mutable_bytes(), seen, walls);
  }

 private:
  std::shared_ptr<PyFieldOfView> view_;
  std::mutex mutex_;  // one update at a time, each from a thread without the GIL
  FogOfWar fog_;
  std::vector<Cell> cells_;
  std::vector<Viewer> viewers_of_radius_;
  std::vector<std::uint8_t> opaque_;
};

// `value` as a numpy array: itself, or one that numpy makes of it (of a
// list, say), which the caller keeps for as long as it reads the data.
py::array array_of(py::handle value, const std::string& what) {
  if (py::isinstance<py::array>(value)) return py::reinterpret_borrow<py::array>(value);
  py::array array = py::array::ensure(value);
  if (!array) throw py::type_error(what + " must be a numpy array");
  return array;
}

// Viewers as an (n, 2) C-ordered array of int32 or int64, converted to
// int64 when they are given otherwise.
py::array viewers_of(const py::object& viewers) {
  py::array array = py::array::ensure(viewers);
  if (!array) throw py::type_error("viewers must be an array of (row, column)");
  // No viewer at all, as a turn without units gives it ([] is an array of
  // floats to numpy).
  if (array.size() == 0 && array.ndim() <= 2) {
    return py::array_t<std::int64_t>(std::vector<py::ssize_t>{0, 2});
  }
  // Integers only: a float or a bool taken for a cell would be cut to one.
  if (array.dtype().kind() != 'i' && array.dtype().kind() != 'u') {
    throw py::type_error("viewers must be an array of integers (row, column)");
  }
  const py::dtype dtype = array.dtype();
  if (dtype.kind() == 'u' && array.ndim() == 2 && array.shape(1) == 2) {
    // Named as given, before int64 would wrap the largest.
    const auto given =
        py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!given) throw py::type_error("viewers must be an array of integers (row, column)");
    const std::uint64_t* const cells = given.data();
    for (py::ssize_t i = 0; i < given.shape(0); ++i) {
      if (cells[2 * i] > INT32_MAX || cells[2 * i + 1] > INT32_MAX) {
        throw py::value_error("viewer " + std::to_string(i) + " at (" +
                              std::to_string(cells[2 * i]) + ", " +
                              std::to_string(cells[2 * i + 1]) + ") is not on the map");
      }
    }
  }
  // Read where they lie only as int32 or int64 of this machine's byte order.
  const bool integers = dtype.kind() == 'i' && (dtype.itemsize() == 4 || dtype.itemsize() == 8) &&
                        dtype.attr("isnative").cast<bool>();
  if (!integers || !(array.flags() & py::array::c_style)) {
    array = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!array) throw py::type_error("viewers must be an array of integers (row, column)");
  }
  if (array.ndim() != 2 || array.shape(1) != 2) {
    throw py::value_error("viewers must be an array of shape (n, 2): (row, column) each");
  }
  return array;
}

// Radii as a C-ordered array of n int64, each of them an int: one beyond
// is named as it was given, as no Sight has it.
py::array radii_of(const py::object& radii, py::ssize_t n, int largest) {
  const py::array given = py::array::ensure(radii);
  if (!given || (given.size() > 0 && given.dtype().kind() != 'i' && given.dtype().kind() != 'u')) {
    throw py::type_error("radii must be an array of integers");
  }
  auto no_radius = [largest](const std::string& radius) {
    return py::value_error("radii: no radius " + radius + " (the largest is " +
                           std::to_string(largest) + ")");
  };
  if (given.size() > 0 && given.dtype().kind() == 'u') {
    // Checked before they are made int64, which would wrap the largest.
    const auto given_radii =
        py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>::ensure(given);
    if (!given_radii) throw py::type_error("radii must be an array of integers");
    for (const std::uint64_t radius :
         std::span(given_radii.data(), static_cast<std::size_t>(given_radii.size()))) {
      if (radius > INT_MAX) throw no_radius(std::to_string(radius));
    }
  }
  auto array = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(given);
  if (!array) throw py::type_error("radii must be an array of integers");
  if (array.ndim() != 1 || array.shape(0) != n) {
    throw py::value_error("radii must hold one radius per viewer");
  }
  for (const std::int64_t radius : std::span(array.data(), static_cast<std::size_t>(n))) {
    if (radius < INT_MIN || radius > INT_MAX) throw no_radius(std::to_string(radius));
  }
  return array;
}

py::array fog_update(PyFogOfWar& fog, const py::object& map_arg, const py::object& viewers_arg,
                     std::optional<py::array> visible_arg, std::optional<py::array> explored_arg,
                     std::optional<Whole> radius, const py::object& radii_arg,
                     const py::object& walls_arg, const py::object& light_walls_arg,
                     bool transparent) {
  // Every argument read, and the caller's code that reading may run (an
  // __index__, say) done, before any array's data is taken.
  const py::array viewers = viewers_of(viewers_arg);
  const auto n = static_cast<std::size_t>(viewers.shape(0));
  const Walls walls = walls_of("update", walls_arg, light_walls_arg);
  std::optional<py::array> radii;
  if (!radii_arg.is_none()) {
    if (radius) throw py::value_error("give radius or radii, not both");
    radii = radii_of(radii_arg, viewers.shape(0), fog.view().sight().largest_radius());
  }
  const int r = fog.view().radius_or_largest(radius ? std::optional<int>(radius->value)
                                                    : std::nullopt);
  const py::array map_array = array_of(map_arg, "map");
  const Grid map = grid_of(map_array, "map", false);
  Grid visible;
  bool fresh = false;
  py::array result = output_for(map, std::move(visible_arg), "visible", visible, &fresh);
  Grid explored;
  if (explored_arg) {
    output_for(map, explored_arg, "explored", explored);
    if (overlap(explored, visible)) throw py::value_error("explored overlaps visible");
  }
  if (viewers.dtype().itemsize() == 4) {
    check_on_map(map, static_cast<const std::int32_t*>(viewers.data()), n);
  } else {
    check_on_map(map, static_cast<const std::int64_t*>(viewers.data()), n);
  }
  const auto* radii_data = radii ? static_cast<const std::int64_t*>(radii->data()) : nullptr;
  const Grid* explored_grid = explored_arg ? &explored : nullptr;
  py::gil_scoped_release release;
  if (viewers.dtype().itemsize() == 4) {
    fog.update(map, static_cast<const std::int32_t*>(viewers.data()), n, radii_data, r, walls,
               transparent, visible, explored_grid);
  } else {
    fog.update(map, static_cast<const std::int64_t*>(viewers.data()), n, radii_data, r, walls,
               transparent, visible, explored_grid);
  }
  return result;
}

// The arguments of a call that takes *args and **kwargs, by name: matching
// keywords this way costs a tenth of what pybind11's own matching does,
// which is as much as a view of a small map.
class Arguments {
 public:
  // `names` lists every argument, the first `positional` of them allowed
  // by position (the others by keyword alone).
  Arguments(const char* call, const py::args& args, const py::kwargs& kwargs,
            std::span<const char* const> names, std::size_t positional)
      : call_(call), names_(names) {
    if (args.size() > positional) {
      throw py::type_error(call_ + "() takes at most " + std::to_string(positional) +
                           " positional arguments");
    }
    for (std::size_t i = 0; i < args.size(); ++i) values_[i] = args[i];
    for (const auto& [key, value] : kwargs) {
      std::size_t i = 0;
      while (i < names.size() &&
             PyUnicode_CompareWithASCIIString(key.ptr(), names[i]) != 0) {
        ++i;
      }
      if (i == names.size()) {
        throw py::type_error(call_ + "() got an unexpected keyword argument '" +
                             py::str(key).cast<std::string>() + "'");
      }
      if (values_[i]) {
        throw py::type_error(call_ + "() got multiple values for argument '" + names[i] + "'");
      }
      values_[i] = value;
    }
  }

  // Argument i, or a null handle when it is not given.
  py::handle operator[](std::size_t i) const { return values_[i]; }
  py::array array(std::size_t i) const { return array_of(required(i), name(i)); }
  // An array that is written to: one that numpy would make of a list would
  // not be the caller's.
  py::array output(std::size_t i) const {
    const py::handle value = required(i);
    if (!py::isinstance<py::array>(value)) throw py::type_error(name(i) + " must be a numpy array");
    return py::reinterpret_borrow<py::array>(value);
  }
  std::pair<std::int64_t, std::int64_t> cell(std::size_t i) const {
    const py::handle value = required(i);
    std::pair<std::int64_t, std::int64_t> cell;
    if (!py::isinstance<py::sequence>(value) || py::len(value) != 2) {
      throw py::type_error(name(i) + " must be a (row, column) pair of integers");
    }
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    cell.first = integer(pair[0], i);
    cell.second = integer(pair[1], i);
    return cell;
  }
  std::optional<int> optional_int(std::size_t i) const {
    if (!values_[i] || values_[i].is_none()) return std::nullopt;
    const std::int64_t value = integer(values_[i], i);
    if (value < INT_MIN || value > INT_MAX) throw py::value_error(name(i) + " is out of range");
    return static_cast<int>(value);
  }
  // A cone as (direction, width) in degrees, or nothing when not given.
  std::optional<Cone> cone(std::size_t i) const {
    if (!values_[i] || values_[i].is_none()) return std::nullopt;
    const py::handle value = values_[i];
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value) ||
        py::len(value) != 2) {
      throw py::type_error(name(i) + " must be a (direction, width) pair of degrees");
    }
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    return Cone{degrees(pair[0], i), degrees(pair[1], i)};
  }
  bool flag(std::size_t i, bool otherwise) const {
    if (!values_[i]) return otherwise;
    const int truth = PyObject_IsTrue(values_[i].ptr());
    if (truth < 0) throw py::error_already_set();
    return truth != 0;
  }

 private:
  std::string name(std::size_t i) const { return call_ + "(): " + names_[i]; }
  py::handle required(std::size_t i) const {
    if (!values_[i]) {
      throw py::type_error(call_ + "() missing required argument '" + names_[i] + "'");
    }
    return values_[i];
  }
  double degrees(py::handle value, std::size_t i) const {
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      throw py::type_error(name(i) + " must hold numbers");
    }
    return number;
  }
  std::int64_t integer(py::handle value, std::size_t i) const {
    // Any integer, numpy's included; not a float, nor a bool, which is an
    // integer to Python but no cell or radius.
    if (!PyIndex_Check(value.ptr()) || is_bool(value)) {
      throw py::type_error(name(i) + " must hold integers");
    }
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) return overflow < 0 ? INT64_MIN : INT64_MAX;
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    return v;
  }

  std::string call_;
  std::span<const char* const> names_;
  std::array<py::handle, 10> values_{};  // at least names_.size()
};

constexpr const char* kComputeArguments[] = {
    "map", "viewer", "radius", "light_walls", "transparent", "symmetric", "out", "walls", "cone"};
constexpr const char* kSeesArguments[] = {"map",         "viewer",      "target", "radius",
                                          "light_walls", "transparent", "walls",  "symmetric",
                                          "cone"};

constexpr const char* kListArguments[] = {"map",         "viewer", "radius", "walls",
                                          "transparent", "cone"};

constexpr const char* kModuleDoc = R"(libvantrel's tables and field of view, over numpy arrays.

Maps are 2-D numpy arrays of bool or uint8 in C order, shape (height, width),
read where they lie: non-zero marks an opaque cell, or a clear one with
transparent=True (as the tcod package takes its maps). Cells are given as
(row, column), the order in which numpy indexes the map: view[row, column].
Views are bool arrays of the map's shape, True where a cell is in view.

Errors: ValueError for arguments out of range (a viewer off the map, a map
of the wrong shape or order), TypeError for a map of another dtype,
vantrel.TableFileError (an OSError) for a table file that cannot be read or
is no table file, MemoryError when memory runs out, RuntimeError for a fault
of the library's own. Messages give cells as (row, column).)";

}  // namespace
}  // namespace vantrel

PYBIND11_MODULE(_vantrel, m) {
  using namespace vantrel;
  using namespace pybind11::literals;
  m.doc() = kModuleDoc;
  m.attr("__version__") = VANTREL_VERSION_STRING;

  // What the library throws, as the C API and the calls that take an Error
  // classify it: ValueError for an argument, MemoryError for memory or a
  // thread that cannot start, RuntimeError for a fault of the library's
  // own; the C++ call's name left out of the message, which the traceback
  // gives in Python's words. Tried after the ones registered below, and
  // after pybind11's own exceptions, which pass on as they are; local to
  // this module, so that other modules' exceptions stay theirs.
  py::register_local_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const py::builtin_exception&) {
      throw;
    } catch (const py::error_already_set&) {
      throw;
    } catch (const TableFileError&) {
      throw;
    } catch (...) {
      Error error;
      catch_into(error, [] { throw; });
      std::string_view message = error.message;
      constexpr std::string_view kCppName = "vantrel::";
      if (const std::size_t end = message.find(": ");
          message.starts_with(kCppName) && end != std::string_view::npos) {
        message.remove_prefix(end + 2);
      }
      const std::string text(message);
      switch (error.code) {
        case Error::Code::kInvalidArgument:
          PyErr_SetString(PyExc_ValueError, text.c_str());
          return;
        case Error::Code::kOutOfMemory:
          PyErr_SetString(PyExc_MemoryError, text.c_str());
          return;
        case Error::Code::kNone:
        case Error::Code::kTableFile:
        case Error::Code::kInternal:
          break;
      }
      PyErr_SetString(PyExc_RuntimeError, ("vantrel internal error: " + text).c_str());
    }
  });
  // The library's TableFileError; OSError, since it is what reading a file
  // raises, a missing file included.
  py::register_exception<TableFileError>(m, "TableFileError", PyExc_OSError);

  m.def(
      "make_table",
      [](Whole radius) {
        Table table;
        {
          py::gil_scoped_release release;
          table = make_table(radius.value);
        }
        return lines_of(table);
      },
      "radius"_a,
      R"(Table `radius` (1 to 46340) exactly as the vantrel tool writes it: its
lines in order, each an (n, 2) int32 array of the (x, y) of the cells it
steps through from the origin (left out), x the column, as in LOS.TDF.
Raises ValueError for a radius out of range.)");

  py::class_<TableFile>(m, "TableFile", R"(The tables of a table file (LOS.TDF).

TableFile(path) opens and indexes the file; each table is read when asked
for. Raises vantrel.TableFileError for a file that cannot be read or is no
table file. Not for two threads at once.)")
      .def(py::init([](const py::object& path) {
             const std::string name = path_of(path);
             // Opening may wait (a FIFO waits for a writer): other threads run.
             py::gil_scoped_release release;
             return TableFile(name);
           }),
           "path"_a)
      .def_static(
          "from_bytes",
          [](const py::bytes& bytes, const std::string& name) {
            return TableFile::from_bytes(std::string(bytes), name);
          },
          "data"_a, "name"_a = "table file",
          "The tables of a table file's bytes, which are copied; `name` names it in errors.")
      .def_property_readonly(
          "radii", [](const TableFile& file) { return file.radii(); },
          "The radii of the file's tables, in the order of the file.")
      .def(
          "__contains__", [](const TableFile& file, Whole radius) {
            return file.has_table(radius.value);
          },
          "radius"_a)
      .def(
          "table",
          [](TableFile& file, Whole radius) { return lines_of(file.table(radius.value)); },
          "radius"_a,
          R"(Table `radius` of the file, as make_table() gives a table. Raises
vantrel.TableFileError when the file has no such table or it is not one.)");

  py::class_<PyFieldOfView, std::shared_ptr<PyFieldOfView>>(
      m, "Sight", R"(The fields of view of every radius up to a largest one (C++'s Sight).

Sight(radius) takes the tables make_table() makes, 1 to `radius`;
Sight(table_file) the tables of a TableFile, read now. The view of a
radius is built at its first use (or by prepare()) and kept. Any number of
threads may use one Sight at once. FieldOfView is its former name.

    view = vantrel.Sight(12)
    seen = view.compute(opaque, (row, column), walls="facing")  # True: opaque
    seen = view.compute(floor, (row, column), 8, transparent=True))")
      .def(py::init([](Whole radius) { return std::make_shared<PyFieldOfView>(radius.value); }),
           "radius"_a)
      .def(py::init<TableFile&>(), "file"_a)
      .def_property_readonly(
          "radius", [](const PyFieldOfView& v) { return v.sight().largest_radius(); },
          "The largest radius.")
      .def(
          "has_radius",
          [](const PyFieldOfView& v, Whole r) { return v.sight().has_radius(r.value); },
          "radius"_a, "Whether it has views of radius `radius`.")
      .def(
          "prepare",
          [](const PyFieldOfView& v, Whole radius) {
            py::gil_scoped_release release;
            v.sight().prepare(radius.value);
          },
          "radius"_a,
          "Builds the view (and line of sight) of `radius` now, so that no later call waits "
          "for it. Raises ValueError for a radius it does not have.")
      .def(
          "compute",
          [](const PyFieldOfView& v, const py::args& args, const py::kwargs& kwargs) {
            const Arguments given("compute", args, kwargs, kComputeArguments, 3);
            // Every argument read, and the caller's code that reading may
            // run (an __index__, say) done, before an array's data is taken.
            // The map is held until the view is computed: one given as a
            // list is an array of this call's.
            const py::array map_array = given.array(0);
            std::optional<py::array> out;
            if (given[6] && !given[6].is_none()) out = given.output(6);
            const int r = v.radius_or_largest(given.optional_int(2));
            const auto row_column = given.cell(1);
            const Walls walls = walls_of("compute", given[7], given[3]);
            const bool transparent = given.flag(4, false);
            const bool symmetric = given.flag(5, false);
            const std::optional<Cone> cone = given.cone(8);
            const Grid map = grid_of(map_array, "map", false);
            check_on_map(map, row_column.first, row_column.second, "viewer");
            const Cell cell = cell_of(row_column);
            Grid view;
            py::array result = output_for(map, std::move(out), "out", view);
            py::gil_scoped_release release;
            v.compute(map, cell, r, walls, transparent, symmetric, cone, view);
            return result;
          },
          R"(compute(map, viewer, radius=None, *, walls="seen", transparent=False, symmetric=False, out=None, cone=None) -> numpy.ndarray

The view of a viewer at `viewer` (row, column) on `map`, by the table of
`radius` (the largest when None): a bool array of the map's shape, True
for the cells in view. `walls` says which opaque cells are in view:
"seen", where a line of the table ends on one (the default, as in the
first versions); "unseen", none but the viewer's; "facing", as a game shows
them, without holes: also each opaque cell next to a clear cell in view
that is no farther from the viewer along either axis. light_walls=True or
False, tcod's word, is walls="seen" or "unseen". cone=(direction, width)
limits the view to the cells whose direction from the viewer lies within
`width` degrees (above 0, at most 360) centred on `direction`, edges
included: 0 looks east (along columns), 90 south (down the rows), 180
west, 270 north; the facing walls of its clear cells are lit after it.
With symmetric=True a clear cell is in view only when the viewer is in its
view too (radii up to 200; a map of clear cells is then inverted into a
buffer of this call's, as it is for a cone). `out`, a
C-ordered bool or uint8 array of the map's shape, is filled in and returned
instead of a new array. Raises ValueError for a viewer off the map, a
radius it does not have or a cone that is not one.)")
      .def(
          "sees",
          [](const PyFieldOfView& v, const py::args& args, const py::kwargs& kwargs) {
            const Arguments given("sees", args, kwargs, kSeesArguments, 4);
            // As compute(): the arguments read before the map's data is taken.
            const py::array map_array = given.array(0);
            const auto viewer_at = given.cell(1);
            const auto target_at = given.cell(2);
            const int r = v.radius_or_largest(given.optional_int(3));
            const Walls walls = walls_of("sees", given[6], given[4]);
            const bool transparent = given.flag(5, false);
            const bool symmetric = given.flag(7, false);
            const std::optional<Cone> cone = given.cone(8);
            if (cone && symmetric) {
              throw py::value_error("sees(): a cone does not go with symmetric=True");
            }
            const Grid map = grid_of(map_array, "map", false);
            check_on_map(map, viewer_at.first, viewer_at.second, "viewer");
            check_on_map(map, target_at.first, target_at.second, "target");
            const Cell viewer = cell_of(viewer_at);
            const Cell target = cell_of(target_at);
            py::gil_scoped_release release;
            return v.sees(map, viewer, target, r, walls, transparent, symmetric, cone);
          },
          R"(sees(map, viewer, target, radius=None, *, walls="seen", transparent=False, symmetric=False, cone=None) -> bool

Whether `target` is in the view of `viewer` (both (row, column)), as
compute() with the same arguments would say, without computing the view.
With symmetric=True, whether sight works both ways: twice the cost of one
way, at any radius; with cone=(direction, width), whether it is in the view
through that cone (not with symmetric=True).
Raises ValueError for a cell off the map.)")
      .def(
          "list",
          [](const PyFieldOfView& v, const py::args& args, const py::kwargs& kwargs) {
            const Arguments given("list", args, kwargs, kListArguments, 3);
            const py::array map_array = given.array(0);
            const auto viewer_at = given.cell(1);
            const int r = v.radius_or_largest(given.optional_int(2));
            const Walls walls = walls_of("list", given[3], nullptr);
            const bool transparent = given.flag(4, false);
            const std::optional<Cone> cone = given.cone(5);
            const Grid map = grid_of(map_array, "map", false);
            check_on_map(map, viewer_at.first, viewer_at.second, "viewer");
            const Cell viewer = cell_of(viewer_at);
            std::vector<Cell> cells;
            {
              py::gil_scoped_release release;
              cells = v.list(map, viewer, r, walls, transparent, cone);
            }
            py::array_t<std::int32_t> rows_columns(
                {static_cast<py::ssize_t>(cells.size()), py::ssize_t{2}});
            std::int32_t* out = rows_columns.mutable_data();
            for (const Cell& cell : cells) {
              *out++ = cell.y;
              *out++ = cell.x;
            }
            return rows_columns;
          },
          R"(list(map, viewer, radius=None, *, walls="seen", transparent=False, cone=None) -> numpy.ndarray

The cells in the view of `viewer` (row, column), each once, as an (n, 2)
int32 array of (row, column), the viewer first: the True cells of
compute() with the same arguments, made as the lines reach them, without a
pass over the map. Raises ValueError for a viewer off the map or a cone
that is not one.)");

  py::class_<PyFogOfWar>(m, "FogOfWar", R"(What any of many viewers sees, on one thread or several.

FogOfWar(view, threads=1): fog of war by the views of a Sight on
`threads` threads, the caller's included (0: one per core). The threads
are started once and wait between updates. One update runs at a time;
another thread's update waits for it.)")
      .def(py::init([](std::shared_ptr<PyFieldOfView> view, Whole threads) {
             if (!view) throw py::type_error("FogOfWar needs a Sight, not None");
             return std::make_unique<PyFogOfWar>(std::move(view), threads.value);
           }),
           "view"_a, "threads"_a = 1)
      .def_property_readonly("threads", &PyFogOfWar::threads,
                             "How many threads an update runs on, the caller's included.")
      .def("update", &fog_update, "map"_a, "viewers"_a, "visible"_a = py::none(),
           "explored"_a = py::none(), py::kw_only(), "radius"_a = py::none(),
           "radii"_a = py::none(), "walls"_a = py::none(), "light_walls"_a = py::none(),
           "transparent"_a = false,
           R"(Sets to True in `visible`, and in `explored` when given, every cell that
one of `viewers` (an (n, 2) array of (row, column)) sees; leaves the other
cells as they are, so clear `visible` first when it is to hold this
update's views alone. Returns `visible`, a new cleared array when None.
Each viewer sees by the table of `radius` (the largest when None), or of
its own radius in `radii` (an array of n), with `walls` as compute() takes
it (or light_walls). A map of clear cells
(transparent=True) is inverted into a buffer kept for the next update.
Raises ValueError, before any cell is set, for a viewer off the map.)");

  // For bench/python_bench.py: the same views and updates looped in C++,
  // the seconds of each.
  m.def(
      "_time_view",
      [](const PyFieldOfView& v, const py::array& map_array,
         std::pair<std::int64_t, std::int64_t> viewer, int radius, bool transparent,
         py::array out, int repeats) {
        const Grid map = grid_of(map_array, "map", false);
        const Grid view = grid_of(out, "out", true);
        const Cell cell = cell_of(viewer);
        py::gil_scoped_release release;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < repeats; ++i) {
          v.compute(map, cell, radius, Walls::kSeen, transparent, false, std::nullopt, view);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
               repeats;
      });
  m.def("_time_fog", [](PyFogOfWar& fog, const py::array& map_array, const py::object& viewers,
                        int radius, py::array visible, int repeats) {
    const Grid map = grid_of(map_array, "map", false);
    const Grid seen = grid_of(visible, "visible", true);
    const auto array =
        py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(
            viewers_of(viewers));
    const std::int64_t* data = array.data();
    const auto n = static_cast<std::size_t>(array.shape(0));
    std::vector<Cell> cells(n);
    for (std::size_t i = 0; i < n; ++i) cells[i] = cell_of({data[2 * i], data[2 * i + 1]});
    py::gil_scoped_release release;
    const FieldOfView& view = fog.view().sight().field_of_view(radius);
    FogOfWar plain(fog.threads());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i) {
      plain.update(view, cells, map.width, map.height, map.bytes(), seen.mutable_bytes());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
           repeats;
  });
}
