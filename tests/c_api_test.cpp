// The C API against the C++ one: the same tables and the same views, and
// each failure a status and a message, with no exception and no handle
// left to the caller.
#include "vantrel/vantrel.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "table_file_bytes.h"
#include "test_files.h"
#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"
#include "vantrel/sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"

namespace vantrel {
namespace {

struct TableFree {
  void operator()(vantrel_table* table) const { vantrel_table_free(table); }
};
struct TableFileFree {
  void operator()(vantrel_table_file* file) const { vantrel_table_file_free(file); }
};
struct FovFree {
  void operator()(vantrel_fov* fov) const { vantrel_fov_free(fov); }
};
using TableHandle = std::unique_ptr<vantrel_table, TableFree>;
using TableFileHandle = std::unique_ptr<vantrel_table_file, TableFileFree>;
struct SightFree {
  void operator()(vantrel_sight* sight) const { vantrel_sight_free(sight); }
};
struct FogFree {
  void operator()(vantrel_fog* fog) const { vantrel_fog_free(fog); }
};
using FovHandle = std::unique_ptr<vantrel_fov, FovFree>;
using SightHandle = std::unique_ptr<vantrel_sight, SightFree>;
using FogHandle = std::unique_ptr<vantrel_fog, FogFree>;

// The table a handle holds, as the C++ API gives tables.
Table to_table(const vantrel_table* table) {
  std::vector<std::vector<Cell>> lines(vantrel_table_line_count(table));
  for (std::size_t index = 0; index < lines.size(); ++index) {
    std::vector<vantrel_cell> cells(vantrel_table_line_length(table, index));
    EXPECT_EQ(vantrel_table_line_points(table, index, cells.data(), cells.size()), VANTREL_OK);
    for (const vantrel_cell& cell : cells) lines[index].push_back(Cell{cell.x, cell.y});
  }
  return Table(vantrel_table_radius(table), std::move(lines));
}

TableHandle made_table(int radius) {
  vantrel_table* table = nullptr;
  EXPECT_EQ(vantrel_table_make(radius, &table), VANTREL_OK) << vantrel_last_error();
  return TableHandle(table);
}

TableFileHandle table_file(const std::string& bytes) {
  vantrel_table_file* file = nullptr;
  EXPECT_EQ(vantrel_table_file_from_bytes(bytes.data(), bytes.size(), &file), VANTREL_OK)
      << vantrel_last_error();
  return TableFileHandle(file);
}

// A call that makes a handle, made to start from an out pointer that is not
// null, and to check that it leaves null there.
template <class Handle, class Call>
std::function<vantrel_status()> leaving_null(Call call) {
  return [call] {
    Handle* out = reinterpret_cast<Handle*>(std::uintptr_t{64});
    const vantrel_status status = call(&out);
    EXPECT_EQ(out, nullptr);
    return status;
  };
}

TEST(CApi, GivesTheTablesOfTheCppApi) {
  for (const int radius : {1, 4, 12, 40}) {
    SCOPED_TRACE(radius);
    EXPECT_EQ(to_table(made_table(radius).get()), make_table(radius));
  }

  const std::string bytes = table_file_bytes(40);
  TempDir temp("c-api");
  std::ofstream(temp.path() / "LOS.TDF", std::ios::binary) << bytes;
  vantrel_table_file* opened = nullptr;
  ASSERT_EQ(vantrel_table_file_open((temp.path() / "LOS.TDF").string().c_str(), &opened),
            VANTREL_OK);
  std::vector<TableFileHandle> files;
  files.push_back(table_file(bytes));
  files.emplace_back(opened);
  for (const TableFileHandle& file : files) {
    ASSERT_EQ(vantrel_table_file_table_count(file.get()), 40u);
    for (std::size_t index = 0; index < 40; ++index) {
      EXPECT_EQ(vantrel_table_file_radius(file.get(), index), static_cast<int>(index) + 1);
    }
    EXPECT_EQ(vantrel_table_file_radius(file.get(), 40), 0);
    EXPECT_EQ(vantrel_table_file_has_table(file.get(), 40), 1);
    EXPECT_EQ(vantrel_table_file_has_table(file.get(), 41), 0);
    for (const int radius : {40, 1, 17}) {
      SCOPED_TRACE(radius);
      vantrel_table* table = nullptr;
      ASSERT_EQ(vantrel_table_file_read(file.get(), radius, &table), VANTREL_OK);
      EXPECT_EQ(to_table(TableHandle(table).get()), make_table(radius));
    }
  }
}

TEST(CApi, GivesTheViewsOfTheCppApi) {
  const int width = 37;
  const int height = 23;
  std::mt19937 random(7);
  std::bernoulli_distribution wall(0.2);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  // Near each edge and corner, where lines end at the map's edge, and where
  // the whole table fits.
  const Cell viewers[] = {{0, 0}, {36, 22}, {0, 22}, {36, 0}, {18, 11}, {3, 20}, {30, 2}};

  for (const int radius : {1, 9, 30}) {
    SCOPED_TRACE(radius);
    const FieldOfView expected_fov(make_table(radius));
    vantrel_fov* made = nullptr;
    ASSERT_EQ(vantrel_fov_new(made_table(radius).get(), &made), VANTREL_OK);
    const FovHandle fov(made);  // its table is freed already
    EXPECT_EQ(vantrel_fov_radius(fov.get()), radius);

    // Computed by several threads at once with one vantrel_fov.
    std::vector<std::thread> threads;
    for (const Cell viewer : viewers) {
      threads.emplace_back([&, viewer] {
        std::vector<std::uint8_t> expected(opaque.size());
        expected_fov.compute(viewer, width, height, std::span<const std::uint8_t>(opaque),
                             std::span<std::uint8_t>(expected));
        for (int round = 0; round < 20; ++round) {
          std::vector<std::uint8_t> in_view(opaque.size(), 7);
          EXPECT_EQ(vantrel_fov_compute(fov.get(), viewer.x, viewer.y, width, height,
                                        opaque.data(), in_view.data()),
                    VANTREL_OK);
          EXPECT_EQ(in_view, expected) << viewer.x << "," << viewer.y;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
}

// vantrel_fov_compute_with and vantrel_fov_mark against compute and mark
// of the C++ API, with each option; mark into a view holding a pattern.
TEST(CApi, ComputesAndMarksWithOptionsAsTheCppApi) {
  const int width = 30;
  const int height = 17;
  std::mt19937 random(11);
  std::bernoulli_distribution wall(0.25);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  std::vector<std::uint8_t> pattern(opaque.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i % 5);
  const FieldOfView expected_fov(make_table(7));
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(7).get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  const struct {
    unsigned options;
    Walls walls;
  } cases[] = {{0, Walls::kSeen},
               {VANTREL_WALLS_UNSEEN, Walls::kUnseen},
               {VANTREL_WALLS_FACING, Walls::kFacing}};
  for (const auto& c : cases) {
    for (const Cell viewer : {Cell{0, 0}, Cell{29, 16}, Cell{15, 8}, Cell{2, 14}}) {
      SCOPED_TRACE(testing::Message() << "options " << c.options << ", viewer " << viewer.x
                                      << "," << viewer.y);
      std::vector<std::uint8_t> expected(opaque.size());
      expected_fov.compute(viewer, width, height, std::span<const std::uint8_t>(opaque),
                           std::span<std::uint8_t>(expected), c.walls);
      std::vector<std::uint8_t> in_view = pattern;
      EXPECT_EQ(vantrel_fov_compute_with(fov.get(), viewer.x, viewer.y, width, height,
                                         opaque.data(), in_view.data(), c.options),
                VANTREL_OK);
      EXPECT_EQ(in_view, expected);

      expected = pattern;
      expected_fov.mark(viewer, width, height, std::span<const std::uint8_t>(opaque),
                        std::span<std::uint8_t>(expected), c.walls);
      in_view = pattern;
      EXPECT_EQ(vantrel_fov_mark(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                 in_view.data(), c.options),
                VANTREL_OK);
      EXPECT_EQ(in_view, expected);
    }
  }
}

// vantrel_fov_sees against the view of vantrel_fov_compute_with, for every
// target, with each option; its first calls from two threads at once.
TEST(CApi, SeesWhatTheViewHolds) {
  const int width = 30;
  const int height = 17;
  std::mt19937 random(5);
  std::bernoulli_distribution wall(0.3);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(9).get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  auto wrong_targets = [&](unsigned options, Cell viewer) {
    std::vector<std::uint8_t> view(opaque.size());
    EXPECT_EQ(vantrel_fov_compute_with(fov.get(), viewer.x, viewer.y, width, height,
                                       opaque.data(), view.data(), options),
              VANTREL_OK);
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int sees = 7;
        if (vantrel_fov_sees(fov.get(), viewer.x, viewer.y, x, y, width, height, opaque.data(),
                             options, &sees) != VANTREL_OK ||
            sees != view[static_cast<std::size_t>(y * width + x)]) {
          ++wrong;
        }
      }
    }
    return wrong;
  };
  int wrong[2] = {-1, -1};
  std::thread other([&] { wrong[1] = wrong_targets(0, Cell{3, 3}); });
  wrong[0] = wrong_targets(VANTREL_WALLS_UNSEEN, Cell{20, 10});
  other.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
  // Two-way sight (VANTREL_SYMMETRIC) with each walls option too.
  for (const unsigned walls :
       {0u, unsigned{VANTREL_WALLS_UNSEEN}, unsigned{VANTREL_WALLS_FACING}}) {
    for (const unsigned options : {walls, walls | VANTREL_SYMMETRIC}) {
      for (const Cell viewer : {Cell{0, 0}, Cell{29, 16}, Cell{15, 8}, Cell{2, 14}}) {
        EXPECT_EQ(wrong_targets(options, viewer), 0)
            << "options " << options << ", viewer " << viewer.x << "," << viewer.y;
      }
    }
  }
}

// vantrel_fov_list writes the cells of the view, each once, into the
// caller's cells, for each walls option; refuses too small a list without
// writing anything.
TEST(CApi, ListsTheCellsInView) {
  const int width = 30;
  const int height = 17;
  std::mt19937 random(11);
  std::bernoulli_distribution wall(0.25);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(7).get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  EXPECT_EQ(vantrel_fov_list_capacity(fov.get(), 0), 15u * 15u);
  EXPECT_EQ(vantrel_fov_list_capacity(fov.get(), VANTREL_WALLS_FACING), 17u * 17u);
  EXPECT_EQ(vantrel_fov_list_capacity(nullptr, 0), 0u);
  for (const unsigned options :
       {0u, unsigned{VANTREL_WALLS_UNSEEN}, unsigned{VANTREL_WALLS_FACING}}) {
    std::vector<vantrel_cell> cells(vantrel_fov_list_capacity(fov.get(), options));
    for (const Cell viewer : {Cell{0, 0}, Cell{15, 8}, Cell{29, 16}}) {
      std::vector<std::uint8_t> expected(opaque.size());
      ASSERT_EQ(vantrel_fov_compute_with(fov.get(), viewer.x, viewer.y, width, height,
                                         opaque.data(), expected.data(), options),
                VANTREL_OK);
      std::vector<std::uint8_t> in_view(opaque.size(), 0);
      std::size_t count = 7;
      ASSERT_EQ(vantrel_fov_list(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                 in_view.data(), options, cells.data(), cells.size(), &count),
                VANTREL_OK)
          << vantrel_last_error();
      EXPECT_EQ(in_view, expected);
      std::vector<std::uint8_t> listed(opaque.size(), 0);
      for (std::size_t i = 0; i < count; ++i) {
        ++listed[static_cast<std::size_t>(cells[i].y * width + cells[i].x)];
      }
      EXPECT_EQ(listed, expected) << "options " << options;
    }
  }
  std::vector<vantrel_cell> cells(vantrel_fov_list_capacity(fov.get(), 0) - 1,
                                  vantrel_cell{-1, -1});
  std::vector<std::uint8_t> in_view(opaque.size(), 0);
  std::size_t count = 7;
  EXPECT_EQ(vantrel_fov_list(fov.get(), 3, 3, width, height, opaque.data(), in_view.data(), 0,
                             cells.data(), cells.size(), &count),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(count, 0u);
  EXPECT_STREQ(vantrel_last_error(), "vantrel_fov_list: the list must hold 225 cells, not 224");
  EXPECT_EQ(std::count(in_view.begin(), in_view.end(), 0), static_cast<long>(in_view.size()));
  EXPECT_EQ(cells[0].x, -1);
  EXPECT_EQ(vantrel_fov_list(fov.get(), 3, 3, width, height, opaque.data(), in_view.data(), 0,
                             nullptr, 0, &count),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(vantrel_fov_list(fov.get(), 3, 3, width, height, opaque.data(), in_view.data(), 0,
                             cells.data(), cells.size(), nullptr),
            VANTREL_INVALID_ARGUMENT);
}

// The calls through a cone are the C++ ones; a cone that is not one is
// refused, naming the C call, with nothing written.
TEST(CApi, SeesThroughACone) {
  const int width = 25;
  const int height = 19;
  std::mt19937 random(13);
  std::bernoulli_distribution wall(0.2);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  const FieldOfView expected_fov(make_table(8));
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(8).get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  const Cell viewer{12, 9};
  std::vector<vantrel_cell> cells(vantrel_fov_list_capacity(fov.get(), VANTREL_WALLS_FACING));
  for (const unsigned options : {0u, unsigned{VANTREL_WALLS_FACING}}) {
    const Walls walls = options != 0 ? Walls::kFacing : Walls::kSeen;
    const vantrel_cone cone{300, 75};
    std::vector<std::uint8_t> expected(opaque.size());
    expected_fov.compute(viewer, width, height, std::span<const std::uint8_t>(opaque),
                         std::span<std::uint8_t>(expected), Cone{300, 75}, walls);
    std::vector<std::uint8_t> in_view(opaque.size(), 7);
    ASSERT_EQ(vantrel_fov_compute_cone(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                       in_view.data(), options, cone),
              VANTREL_OK);
    EXPECT_EQ(in_view, expected);
    std::fill(in_view.begin(), in_view.end(), 0);
    ASSERT_EQ(vantrel_fov_mark_cone(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                    in_view.data(), options, cone),
              VANTREL_OK);
    EXPECT_EQ(in_view, expected);
    std::fill(in_view.begin(), in_view.end(), 0);
    std::size_t count = 0;
    ASSERT_EQ(vantrel_fov_list_cone(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                    in_view.data(), options, cone, cells.data(), cells.size(),
                                    &count),
              VANTREL_OK);
    EXPECT_EQ(in_view, expected);
    EXPECT_EQ(count, static_cast<std::size_t>(std::count(expected.begin(), expected.end(), 1)));
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int sees = 7;
        ASSERT_EQ(vantrel_fov_sees_cone(fov.get(), viewer.x, viewer.y, x, y, width, height,
                                        opaque.data(), options, cone, &sees),
                  VANTREL_OK);
        wrong += sees != expected[static_cast<std::size_t>(y * width + x)] ? 1 : 0;
      }
    }
    EXPECT_EQ(wrong, 0);
    const SymmetricView symmetric(expected_fov);
    symmetric.compute(viewer, width, height, std::span<const std::uint8_t>(opaque),
                      std::span<std::uint8_t>(expected), Cone{300, 75}, walls);
    ASSERT_EQ(vantrel_fov_compute_cone(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                       in_view.data(), options | VANTREL_SYMMETRIC, cone),
              VANTREL_OK);
    EXPECT_EQ(in_view, expected);
  }
  std::vector<std::uint8_t> in_view(opaque.size(), 7);
  EXPECT_EQ(vantrel_fov_compute_cone(fov.get(), 1, 1, width, height, opaque.data(),
                                     in_view.data(), 0, vantrel_cone{0, 0}),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(std::string(vantrel_last_error()).rfind("vantrel_fov_compute_cone: a cone's width", 0),
            0u)
      << vantrel_last_error();
  EXPECT_EQ(vantrel_fov_mark_cone(fov.get(), 1, 1, width, height, opaque.data(), in_view.data(),
                                  VANTREL_SYMMETRIC, vantrel_cone{0, 90}),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(in_view, std::vector<std::uint8_t>(opaque.size(), 7));
}

// VANTREL_SYMMETRIC against SymmetricView, its first calls from two threads
// at once; refused by mark, which cannot hold it, and beyond the largest
// radius.
TEST(CApi, ComputesTheSymmetricViewWithCompute) {
  const int width = 30;
  const int height = 17;
  std::mt19937 random(8);
  std::bernoulli_distribution wall(0.2);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  const SymmetricView expected_view{FieldOfView(make_table(9))};
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(9).get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  auto wrong_views = [&](unsigned options, Walls walls) {
    int wrong = 0;
    for (const Cell viewer : {Cell{0, 0}, Cell{29, 16}, Cell{15, 8}, Cell{2, 14}}) {
      std::vector<std::uint8_t> expected(opaque.size());
      expected_view.compute(viewer, width, height, opaque, expected, walls);
      std::vector<std::uint8_t> in_view(opaque.size(), 7);
      if (vantrel_fov_compute_with(fov.get(), viewer.x, viewer.y, width, height, opaque.data(),
                                   in_view.data(), options | VANTREL_SYMMETRIC) != VANTREL_OK ||
          in_view != expected) {
        ++wrong;
      }
    }
    return wrong;
  };
  int wrong[2] = {-1, -1};
  std::thread other([&] { wrong[1] = wrong_views(0, Walls::kSeen); });
  wrong[0] = wrong_views(VANTREL_WALLS_UNSEEN, Walls::kUnseen);
  other.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);

  // Marked through a scratch, as SymmetricView::mark marks.
  std::vector<std::uint8_t> scratch(vantrel_fov_symmetric_scratch_size(fov.get()));
  EXPECT_EQ(scratch.size(), 21u * 21u);
  std::vector<std::uint8_t> expected(opaque.size(), 0);
  std::vector<std::uint8_t> marked(opaque.size(), 0);
  for (const Cell viewer : {Cell{0, 0}, Cell{29, 16}, Cell{15, 8}}) {
    expected_view.mark(viewer, width, height, opaque, expected, scratch, Walls::kFacing);
    ASSERT_EQ(vantrel_fov_mark_symmetric(fov.get(), viewer.x, viewer.y, width, height,
                                         opaque.data(), marked.data(), VANTREL_WALLS_FACING,
                                         scratch.data(), scratch.size()),
              VANTREL_OK)
        << vantrel_last_error();
  }
  EXPECT_EQ(marked, expected);
  EXPECT_EQ(vantrel_fov_mark_symmetric(fov.get(), 0, 0, width, height, opaque.data(),
                                       marked.data(), 0, scratch.data(), scratch.size() - 1),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_STREQ(vantrel_last_error(),
               "vantrel_fov_mark_symmetric: the scratch must hold 441 bytes, not 440");
  EXPECT_EQ(marked, expected);

  std::vector<std::uint8_t> in_view(opaque.size(), 7);
  EXPECT_EQ(vantrel_fov_mark(fov.get(), 0, 0, width, height, opaque.data(), in_view.data(),
                             VANTREL_SYMMETRIC),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_NE(std::string(vantrel_last_error()).find("vantrel_fov_mark: VANTREL_SYMMETRIC"),
            std::string::npos)
      << vantrel_last_error();

  vantrel_fov* too_large = nullptr;
  ASSERT_EQ(vantrel_fov_new(made_table(SymmetricView::kLargestSymmetricRadius + 1).get(), &too_large),
            VANTREL_OK);
  const FovHandle large(too_large);
  EXPECT_EQ(vantrel_fov_compute_with(large.get(), 0, 0, width, height, opaque.data(),
                                     in_view.data(), VANTREL_SYMMETRIC),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_NE(std::string(vantrel_last_error()).find("beyond the largest"), std::string::npos)
      << vantrel_last_error();
  EXPECT_EQ(in_view, std::vector<std::uint8_t>(opaque.size(), 7));
}

// Both calls refuse what vantrel_fov_compute refuses, and options they do
// not know, leaving the view as it was.
TEST(CApi, ComputeWithAndMarkRefuseUnknownOptionsAndWhatComputeRefuses) {
  const TableHandle table = made_table(3);
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(table.get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  const std::vector<std::uint8_t> opaque(6 * 4);
  std::vector<std::uint8_t> in_view(6 * 4, 7);
  using Call = vantrel_status (*)(const vantrel_fov*, int32_t, int32_t, int32_t, int32_t,
                                  const uint8_t*, uint8_t*, unsigned);
  const struct {
    const char* name;
    Call call;
  } functions[] = {{"vantrel_fov_compute_with", vantrel_fov_compute_with},
                   {"vantrel_fov_mark", vantrel_fov_mark}};
  const struct Case {
    const char* name;
    bool no_fov;
    int x;
    int width;
    bool no_map;
    bool no_view;
    unsigned options;
    std::string message;  // after the function's name
  } cases[] = {
      {"an unknown option", false, 0, 6, false, false, 8, ": unknown options 8"},
      {"both walls options", false, 0, 6, false, false, 5,
       ": VANTREL_WALLS_UNSEEN and VANTREL_WALLS_FACING exclude each other"},
      {"unknown options beside a known one", false, 0, 6, false, false, 0x81,
       ": unknown options 128"},
      {"no field of view", true, 0, 6, false, false, 0, ": `fov` is null"},
      {"no map", false, 0, 6, true, false, 1, ": `opaque` is null"},
      {"no view", false, 0, 6, false, true, 1, ": `in_view` is null"},
      {"a map of no cells", false, 0, 0, false, false, 1,
       ": a map must be at least 1 x 1 cells, not 0 x 4"},
      {"viewer off the map", false, 6, 6, false, false, 1,
       ": the viewer must stand on the map"},
  };
  for (const auto& f : functions) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << f.name << ", " << c.name);
      EXPECT_EQ(f.call(c.no_fov ? nullptr : fov.get(), c.x, 0, c.width, 4,
                       c.no_map ? nullptr : opaque.data(), c.no_view ? nullptr : in_view.data(),
                       c.options),
                VANTREL_INVALID_ARGUMENT);
      // The C function is named, the viewer's check by the C++ API too.
      EXPECT_EQ(std::string(vantrel_last_error()).rfind(std::string(f.name) + c.message, 0), 0u)
          << vantrel_last_error();
    }
  }
  EXPECT_EQ(in_view, std::vector<std::uint8_t>(6 * 4, 7));
}

// A view written over its own map would read what it has just written: each
// call refuses maps that share a byte, and writes nothing, however little
// they share; maps side by side are no fault.
TEST(CApi, ViewsAndFogRefuseMapsThatShareBytes) {
  const TableHandle table = made_table(4);
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(table.get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  vantrel_fog* fog_made = nullptr;
  ASSERT_EQ(vantrel_fog_new(1, &fog_made), VANTREL_OK);
  const FogHandle fog(fog_made);
  constexpr int kWidth = 9;
  constexpr int kHeight = 7;
  constexpr std::size_t kSize = kWidth * kHeight;
  const vantrel_cell viewer{4, 3};
  // Offsets of the view (or `visible`) and of `explored` in one buffer
  // whose map starts at 3 * kSize.
  constexpr std::size_t kMap = 3 * kSize;
  const struct Case {
    const char* name;
    std::size_t view;
    std::size_t explored;
    bool refused;
  } cases[] = {
      {"the view is the map", kMap, 0, true},
      {"the view ends on the map's first byte", kMap - kSize + 1, 0, true},
      {"the view starts on the map's last byte", kMap + kSize - 1, 0, true},
      {"explored is the map", 0, kMap, true},
      {"explored is the view", 0, 0, true},
      {"explored starts on the view's last byte", 0, kSize - 1, true},
      {"side by side", kMap - kSize, kMap + kSize, false},
  };
  using Call = std::function<vantrel_status(const std::uint8_t* map, std::uint8_t* view,
                                            std::uint8_t* explored)>;
  const struct {
    const char* name;
    bool takes_explored;
    Call call;
  } calls[] = {
      {"vantrel_fov_compute", false,
       [&](const std::uint8_t* map, std::uint8_t* view, std::uint8_t*) {
         return vantrel_fov_compute(fov.get(), viewer.x, viewer.y, kWidth, kHeight, map, view);
       }},
      {"vantrel_fov_compute_with symmetric", false,
       [&](const std::uint8_t* map, std::uint8_t* view, std::uint8_t*) {
         return vantrel_fov_compute_with(fov.get(), viewer.x, viewer.y, kWidth, kHeight, map,
                                         view, VANTREL_SYMMETRIC);
       }},
      {"vantrel_fov_mark", false,
       [&](const std::uint8_t* map, std::uint8_t* view, std::uint8_t*) {
         return vantrel_fov_mark(fov.get(), viewer.x, viewer.y, kWidth, kHeight, map, view, 0);
       }},
      {"vantrel_fog_update", true,
       [&](const std::uint8_t* map, std::uint8_t* view, std::uint8_t* explored) {
         return vantrel_fog_update(fog.get(), fov.get(), &viewer, 1, kWidth, kHeight, map, view,
                                   explored, 0);
       }},
  };
  for (const auto& call : calls) {
    for (const Case& c : cases) {
      if (!call.takes_explored && c.view == 0) continue;
      SCOPED_TRACE(testing::Message() << call.name << ": " << c.name);
      std::vector<std::uint8_t> buffer(6 * kSize, 0);
      buffer[kMap + 3 * kWidth + 6] = 1;  // a wall beside the viewer
      const std::vector<std::uint8_t> before = buffer;
      const vantrel_status status = call.call(
          buffer.data() + kMap, buffer.data() + c.view,
          call.takes_explored ? buffer.data() + c.explored : nullptr);
      if (!c.refused) {
        EXPECT_EQ(status, VANTREL_OK) << vantrel_last_error();
        continue;
      }
      EXPECT_EQ(status, VANTREL_INVALID_ARGUMENT);
      EXPECT_NE(std::string(vantrel_last_error()).find("must not overlap"), std::string::npos)
          << vantrel_last_error();
      EXPECT_EQ(buffer, before);
    }
  }
}

TEST(CApi, EachFailureHasItsStatusAndMessage) {
  const std::string good = table_file_bytes(3);
  const TableFileHandle file = table_file(good);
  std::string jump = good;
  jump.replace(jump.find("line1=2,1,1,1,2;"), 16, "line1=2,0,2,1,2;");
  const TableFileHandle damaged = table_file(jump);
  // One line of 32768 cells along the x axis: a table, but too far for a view.
  std::string far = "[TABLEINFO]\r\n{\r\nnumtables=1;\r\n}\r\n\r\n[Table32768]\r\n{\r\n"
                    "\tnumlines=1;\r\n\tline1=32768";
  for (int x = 1; x <= 32768; ++x) far += "," + std::to_string(x) + ",0";
  far += ";\r\n}\r\n";
  const TableFileHandle far_file = table_file(far);
  vantrel_table* far_table = nullptr;
  ASSERT_EQ(vantrel_table_file_read(far_file.get(), 32768, &far_table), VANTREL_OK);
  const TableHandle far_line(far_table);
  const TableHandle table = made_table(5);
  vantrel_fov* made = nullptr;
  ASSERT_EQ(vantrel_fov_new(table.get(), &made), VANTREL_OK);
  const FovHandle fov(made);
  std::vector<std::uint8_t> opaque(6 * 4);
  // A view that a failed computation must leave as it was.
  std::vector<std::uint8_t> in_view(6 * 4, 7);
  std::vector<vantrel_cell> cells(vantrel_table_line_length(table.get(), 0));

  auto compute = [&](int x, int y, int width, int height, const std::uint8_t* map,
                     std::uint8_t* view) {
    return [=, &fov] { return vantrel_fov_compute(fov.get(), x, y, width, height, map, view); };
  };
  // vantrel_fov_sees, checked to say "not seen" when it fails.
  auto sees = [&](int x, int y, int target_x, int target_y, int width, int height,
                  const std::uint8_t* map, unsigned options) {
    return [=, &fov] {
      int seen = 7;
      const vantrel_status status = vantrel_fov_sees(fov.get(), x, y, target_x, target_y, width,
                                                     height, map, options, &seen);
      EXPECT_EQ(seen, 0);
      return status;
    };
  };
  const vantrel_status kInvalid = VANTREL_INVALID_ARGUMENT;
  const vantrel_status kFileError = VANTREL_TABLE_FILE_ERROR;
  struct Case {
    const char* name;
    std::function<vantrel_status()> call;
    vantrel_status status;
    std::string message;
  } cases[] = {
      {"radius 0", leaving_null<vantrel_table>([](vantrel_table** out) {
         return vantrel_table_make(0, out);
       }),
       kInvalid, "vantrel_table_make: the radius must be from 1 to 46340, not 0"},
      {"radius past the largest", leaving_null<vantrel_table>([](vantrel_table** out) {
         return vantrel_table_make(46341, out);
       }),
       kInvalid, "vantrel_table_make: the radius must be from 1 to 46340, not 46341"},
      {"no out", [] { return vantrel_table_make(3, nullptr); }, kInvalid,
       "vantrel_table_make: `out` is null"},
      {"missing file", leaving_null<vantrel_table_file>([&](vantrel_table_file** out) {
         return vantrel_table_file_open((std::string(testing::TempDir()) + "/none/LOS.TDF").c_str(),
                                        out);
       }),
       kFileError, "/none/LOS.TDF: cannot open it: No such file or directory"},
      {"no path", leaving_null<vantrel_table_file>([](vantrel_table_file** out) {
         return vantrel_table_file_open(nullptr, out);
       }),
       kInvalid, "vantrel_table_file_open: `path` is null"},
      {"not a table file", leaving_null<vantrel_table_file>([](vantrel_table_file** out) {
         return vantrel_table_file_from_bytes("GIF89a", 6,
                                              out);
       }),
       kFileError, "table file: not a table file: it does not begin with [TABLEINFO]"},
      {"no bytes", leaving_null<vantrel_table_file>([](vantrel_table_file** out) {
         return vantrel_table_file_from_bytes(nullptr, 0,
                                              out);
       }),
       kFileError, "table file: not a table file: it is empty"},
      // More than any string can hold: out of memory, as in the C++ API.
      {"bytes past any size", leaving_null<vantrel_table_file>([](vantrel_table_file** out) {
         return vantrel_table_file_from_bytes("GIF89a", SIZE_MAX, out);
       }),
       VANTREL_OUT_OF_MEMORY, "out of memory"},
      {"null bytes of a size", leaving_null<vantrel_table_file>([](vantrel_table_file** out) {
         return vantrel_table_file_from_bytes(nullptr, 4,
                                              out);
       }),
       kInvalid, "vantrel_table_file_from_bytes: `bytes` is null"},
      {"no such table", leaving_null<vantrel_table>([&](vantrel_table** out) {
         return vantrel_table_file_read(file.get(), 4, out);
       }),
       kFileError, "table file: it has no Table 4"},
      {"a damaged table", leaving_null<vantrel_table>([&](vantrel_table** out) {
         return vantrel_table_file_read(damaged.get(), 2, out);
       }),
       kFileError,
       "table file: Table 2, line 1 (line 15 of the file): the step from (0,0) to (0,2) is not "
       "to a neighbouring cell"},
      {"no file to read", leaving_null<vantrel_table>([](vantrel_table** out) {
         return vantrel_table_file_read(nullptr, 1, out);
       }),
       kInvalid, "vantrel_table_file_read: `file` is null"},
      {"no table for a view", leaving_null<vantrel_fov>([](vantrel_fov** out) {
         return vantrel_fov_new(nullptr, out);
       }),
       kInvalid, "vantrel_fov_new: `table` is null"},
      {"a table too far for a view", leaving_null<vantrel_fov>([&](vantrel_fov** out) {
         return vantrel_fov_new(far_line.get(), out);
       }),
       kInvalid, "vantrel_fov_new: the table reaches beyond 32767 cells"},
      {"a line past the last", [&] {
         return vantrel_table_line_points(table.get(), 8, cells.data(), cells.size());
       },
       kInvalid, "vantrel_table_line_points: the table has 8 lines, no line of index 8"},
      {"no room for a line", [&] {
         return vantrel_table_line_points(table.get(), 0, cells.data(), cells.size() - 1);
       },
       kInvalid, "vantrel_table_line_points: line 0 has 4 cells, room was given for 3"},
      {"no cells", [&] { return vantrel_table_line_points(table.get(), 0, nullptr, 4); },
       kInvalid, "vantrel_table_line_points: `cells` is null"},
      {"viewer left of the map", compute(-1, 0, 6, 4, opaque.data(), in_view.data()), kInvalid,
       "vantrel_fov_compute: the viewer must stand on the map"},
      {"viewer right of the map", compute(6, 0, 6, 4, opaque.data(), in_view.data()), kInvalid,
       "vantrel_fov_compute: the viewer must stand on the map"},
      {"viewer below the map", compute(2, 4, 6, 4, opaque.data(), in_view.data()), kInvalid,
       "vantrel_fov_compute: the viewer must stand on the map"},
      {"a map of no cells", compute(0, 0, 0, 4, opaque.data(), in_view.data()), kInvalid,
       "vantrel_fov_compute: a map must be at least 1 x 1 cells, not 0 x 4"},
      {"a map of negative height", compute(0, 0, 6, -4, opaque.data(), in_view.data()), kInvalid,
       "vantrel_fov_compute: a map must be at least 1 x 1 cells, not 6 x -4"},
      {"no map", compute(0, 0, 6, 4, nullptr, in_view.data()), kInvalid,
       "vantrel_fov_compute: `opaque` is null"},
      {"no view", compute(0, 0, 6, 4, opaque.data(), nullptr), kInvalid,
       "vantrel_fov_compute: `in_view` is null"},
      {"no field of view",
       [&] { return vantrel_fov_compute(nullptr, 0, 0, 6, 4, opaque.data(), in_view.data()); },
       kInvalid, "vantrel_fov_compute: `fov` is null"},
      {"target off the map", sees(1, 1, 6, 1, 6, 4, opaque.data(), 0), kInvalid,
       "vantrel_fov_sees: the viewer and the target must stand on the map"},
      {"viewer off the map to see", sees(1, -1, 1, 1, 6, 4, opaque.data(), 0), kInvalid,
       "vantrel_fov_sees: the viewer and the target must stand on the map"},
      {"a map of no cells to see", sees(0, 0, 0, 0, 6, 0, opaque.data(), 0), kInvalid,
       "vantrel_fov_sees: a map must be at least 1 x 1 cells, not 6 x 0"},
      {"an unknown option to see", sees(0, 0, 1, 1, 6, 4, opaque.data(), 8), kInvalid,
       "vantrel_fov_sees: unknown options 8"},
      {"no map to see", sees(0, 0, 1, 1, 6, 4, nullptr, 0), kInvalid,
       "vantrel_fov_sees: `opaque` is null"},
      {"no field of view to see", [&] {
         int seen = 7;
         const vantrel_status status =
             vantrel_fov_sees(nullptr, 0, 0, 1, 1, 6, 4, opaque.data(), 0, &seen);
         EXPECT_EQ(seen, 0);
         return status;
       },
       kInvalid, "vantrel_fov_sees: `fov` is null"},
      {"nowhere to say what is seen",
       [&] { return vantrel_fov_sees(fov.get(), 0, 0, 1, 1, 6, 4, opaque.data(), 0, nullptr); },
       kInvalid, "vantrel_fov_sees: `sees` is null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.status);
    EXPECT_NE(std::string(vantrel_last_error()).find(c.message), std::string::npos)
        << vantrel_last_error();
    // The next call that succeeds clears it.
    const std::uint8_t clear = 0;
    std::uint8_t seen = 0;
    EXPECT_EQ(vantrel_fov_compute(fov.get(), 0, 0, 1, 1, &clear, &seen), VANTREL_OK);
    EXPECT_STREQ(vantrel_last_error(), "");
  }
  EXPECT_EQ(in_view, std::vector<std::uint8_t>(6 * 4, 7));
}

TEST(CApi, TheLastErrorIsTheCallingThreads) {
  vantrel_table* table = nullptr;
  ASSERT_EQ(vantrel_table_make(0, &table), VANTREL_INVALID_ARGUMENT);
  std::thread([] {
    EXPECT_STREQ(vantrel_last_error(), "");
    vantrel_table_file* file = nullptr;
    EXPECT_EQ(vantrel_table_file_from_bytes("x", 1, &file), VANTREL_TABLE_FILE_ERROR);
  }).join();
  EXPECT_STREQ(vantrel_last_error(),
               "vantrel_table_make: the radius must be from 1 to 46340, not 0");
}

// The last error holds its message in a room of its own thread's, with
// nothing to free when the thread ends: a message too long for it keeps
// the start and the end, which say what failed and why.
TEST(CApi, ALongMessageKeepsItsStartAndItsEnd) {
  std::string path = "/nonexistent/";
  for (int folder = 0; folder < 30; ++folder) path += std::string(99, 'd') + "/";
  path += "LOS.TDF";
  vantrel_table_file* file = nullptr;
  ASSERT_EQ(vantrel_table_file_open(path.c_str(), &file), VANTREL_TABLE_FILE_ERROR);
  const std::string message = vantrel_last_error();
  EXPECT_EQ(message.size(), 2047u);
  EXPECT_EQ(message.rfind("/nonexistent/ddd", 0), 0u) << message;
  EXPECT_NE(message.find("dd...dd"), std::string::npos) << message;
  const std::string end = "/LOS.TDF: cannot open it: No such file or directory";
  EXPECT_EQ(message.substr(message.size() - end.size()), end) << message;
  std::thread([] {
    vantrel_table* table = nullptr;
    EXPECT_EQ(vantrel_table_make(-1, &table), VANTREL_INVALID_ARGUMENT);
    EXPECT_STREQ(vantrel_last_error(),
                 "vantrel_table_make: the radius must be from 1 to 46340, not -1");
  }).join();
  EXPECT_EQ(message, vantrel_last_error());
}

// A sight's radii from both sources, and fog of war over them, against the
// C++ API.
TEST(CApi, SightAndFogOfWarAsTheCppApi) {
  const int width = 41;
  const int height = 23;
  std::mt19937 random(8);
  std::bernoulli_distribution wall(0.15);
  std::vector<std::uint8_t> opaque(width * height);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;

  vantrel_sight* made = nullptr;
  ASSERT_EQ(vantrel_sight_new(9, &made), VANTREL_OK) << vantrel_last_error();
  const SightHandle by_radius(made);
  ASSERT_EQ(vantrel_sight_from_file(table_file(table_file_bytes(6)).get(), &made), VANTREL_OK)
      << vantrel_last_error();
  const SightHandle from_file(made);  // the file is freed already
  EXPECT_EQ(vantrel_sight_largest_radius(by_radius.get()), 9);
  EXPECT_EQ(vantrel_sight_largest_radius(from_file.get()), 6);
  EXPECT_EQ(vantrel_sight_has_radius(from_file.get(), 6), 1);
  EXPECT_EQ(vantrel_sight_has_radius(from_file.get(), 7), 0);

  std::vector<vantrel_cell> viewers;
  std::uniform_int_distribution<int> x(0, width - 1);
  std::uniform_int_distribution<int> y(0, height - 1);
  // More than the C API converts at a time, so that an update takes several
  // batches.
  while (viewers.size() < 2500) viewers.push_back(vantrel_cell{x(random), y(random)});
  std::vector<Cell> cells;
  for (const vantrel_cell& viewer : viewers) cells.push_back(Cell{viewer.x, viewer.y});

  vantrel_fog* fog_made = nullptr;
  ASSERT_EQ(vantrel_fog_new(2, &fog_made), VANTREL_OK) << vantrel_last_error();
  const FogHandle fog(fog_made);
  EXPECT_EQ(vantrel_fog_threads(fog.get()), 2);
  FogOfWar cpp_fog(1);
  for (const vantrel_sight* sight : {by_radius.get(), from_file.get()}) {
    for (const int radius : {3, 6}) {
      for (const unsigned options :
           {0u, unsigned{VANTREL_WALLS_UNSEEN}, unsigned{VANTREL_WALLS_FACING}}) {
        const vantrel_fov* fov = nullptr;
        ASSERT_EQ(vantrel_sight_fov(sight, radius, &fov), VANTREL_OK) << vantrel_last_error();
        const vantrel_fov* again = nullptr;
        ASSERT_EQ(vantrel_sight_fov(sight, radius, &again), VANTREL_OK);
        EXPECT_EQ(again, fov);
        EXPECT_EQ(vantrel_fov_radius(fov), radius);

        std::vector<std::uint8_t> visible(opaque.size());
        std::vector<std::uint8_t> explored(opaque.size(), 0);
        explored[0] = 1;
        ASSERT_EQ(vantrel_fog_update(fog.get(), fov, viewers.data(), viewers.size(), width,
                                     height, opaque.data(), visible.data(), explored.data(),
                                     options),
                  VANTREL_OK)
            << vantrel_last_error();
        std::vector<std::uint8_t> expected(opaque.size());
        const Walls walls = options == VANTREL_WALLS_UNSEEN   ? Walls::kUnseen
                            : options == VANTREL_WALLS_FACING ? Walls::kFacing
                                                              : Walls::kSeen;
        cpp_fog.update(FieldOfView(make_table(radius)), cells, width, height, opaque, expected,
                       {}, walls);
        EXPECT_EQ(visible, expected);
        expected[0] = 1;
        EXPECT_EQ(explored, expected);
      }
    }
  }

  const vantrel_fov* fov = nullptr;
  EXPECT_EQ(vantrel_sight_fov(from_file.get(), 7, &fov), VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(fov, nullptr);
  EXPECT_EQ(vantrel_sight_new(0, &made), VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(vantrel_fog_new(-1, &fog_made), VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(fog_made, nullptr);
  ASSERT_EQ(vantrel_sight_fov(by_radius.get(), 4, &fov), VANTREL_OK);
  std::vector<std::uint8_t> visible(opaque.size());
  viewers[2400] = vantrel_cell{width, 0};
  EXPECT_EQ(vantrel_fog_update(fog.get(), fov, viewers.data(), viewers.size(), width, height,
                               opaque.data(), visible.data(), nullptr, 0),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_NE(std::string(vantrel_last_error()).find("vantrel_fog_update: viewer 2400 at (41,0)"),
            std::string::npos)
      << vantrel_last_error();
  EXPECT_EQ(std::count(visible.begin(), visible.end(), 1), 0);
  EXPECT_EQ(vantrel_fog_update(fog.get(), fov, nullptr, 1, width, height, opaque.data(),
                               visible.data(), nullptr, 0),
            VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(vantrel_fog_update(fog.get(), fov, nullptr, 0, width, height, opaque.data(),
                               visible.data(), nullptr, 0),
            VANTREL_OK);
}

// A former name still links and does what it did, with a warning where it
// is compiled.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
TEST(CApi, TheFormerNameOfACallStillWorks) {
  vantrel_table* made = nullptr;
  ASSERT_EQ(vantrel_make_table(4, &made), VANTREL_OK);
  const TableHandle table(made);
  EXPECT_EQ(to_table(table.get()), make_table(4));
  EXPECT_EQ(vantrel_make_table(0, &made), VANTREL_INVALID_ARGUMENT);
  EXPECT_EQ(made, nullptr);
  // Its message names the call that was made.
  EXPECT_STREQ(vantrel_last_error(),
               "vantrel_make_table: the radius must be from 1 to 46340, not 0");
}
#pragma GCC diagnostic pop

TEST(CApi, NullIsNoHandle) {
  vantrel_table_free(nullptr);
  vantrel_table_file_free(nullptr);
  vantrel_fov_free(nullptr);
  EXPECT_EQ(vantrel_table_radius(nullptr), 0);
  EXPECT_EQ(vantrel_table_line_count(nullptr), 0u);
  EXPECT_EQ(vantrel_table_line_length(nullptr, 0), 0u);
  EXPECT_EQ(vantrel_table_file_table_count(nullptr), 0u);
  EXPECT_EQ(vantrel_table_file_has_table(nullptr, 1), 0);
  EXPECT_EQ(vantrel_fov_radius(nullptr), 0);
  vantrel_sight_free(nullptr);
  vantrel_fog_free(nullptr);
  EXPECT_EQ(vantrel_sight_largest_radius(nullptr), 0);
  EXPECT_EQ(vantrel_sight_has_radius(nullptr, 1), 0);
  EXPECT_EQ(vantrel_fog_threads(nullptr), 0);
}

}  // namespace
}  // namespace vantrel
