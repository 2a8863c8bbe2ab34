// The cases fov_bench measures: their maps of random opaque cells, made the
// same on every run, their names, and the maps as libtcod holds them.
#include <cstddef>
#include <cstdint>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <libtcod/fov.h>

#include "fov_bench.h"

namespace fov_bench {

std::vector<Map> make_maps(const Case& c) {
  const int size = 2 * c.radius + 1;
  const int count = c.opaque_percent == 0 ? 1 : kMapsPerCase;
  // A threshold on the generator's 32-bit output rather than a
  // distribution, whose values the standard leaves to each library.
  const auto threshold = static_cast<std::uint32_t>(
      (std::uint64_t{1} << 32) * static_cast<unsigned>(c.opaque_percent) / 100);
  std::vector<Map> maps;
  for (int m = 0; m < count; ++m) {
    std::mt19937 random(
        static_cast<std::uint32_t>(c.radius * 10000 + c.opaque_percent * 100 + m));
    Map map{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size * size))};
    for (std::uint8_t& cell : map.opaque) cell = random() < threshold ? 1 : 0;
    map.opaque[static_cast<std::size_t>(c.radius * size + c.radius)] = 0;
    maps.push_back(std::move(map));
  }
  return maps;
}

// Appended piece by piece: GCC 12 warns falsely of an overlap in
// "text" + std::string.
std::string case_name(const Case& c) {
  std::string name = "r";
  name.append(std::to_string(c.radius)).append("/");
  if (c.opaque_percent == 0) return name.append("open");
  return name.append("opaque").append(std::to_string(c.opaque_percent));
}

std::string timing_name(const Case& c, const char* who) {
  return "fov/" + case_name(c) + "/" + who;
}

TcodMap make_tcod_map(const Map& map) {
  TcodMap tcod(TCOD_map_new(map.size, map.size));
  if (!tcod) throw std::bad_alloc();
  for (int y = 0; y < map.size; ++y) {
    for (int x = 0; x < map.size; ++x) {
      const bool clear = !map.is_opaque(x, y);
      TCOD_map_set_properties(tcod.get(), x, y, clear, clear);
    }
  }
  return tcod;
}

}  // namespace fov_bench
