// Benchmarks of the hot pieces of table generation: the line walk, the
// radius sweep and the writing of line entries, each on its own, and whole
// tables into a stream that discards its bytes.
#include <cstdint>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "lib/table/line_walk.h"
#include "lib/table/table_sweep.h"
#include "losfile/table_builder.h"
#include "losfile/table_format.h"
#include "losfile/table_stream.h"

namespace {

using vantrel::ByteSink;
using vantrel::CompactWalk;
using vantrel::TableStream;

class DiscardSink final : public ByteSink {
 public:
  int write(const char*, std::size_t size) override {
    benchmark::DoNotOptimize(size);
    return 0;
  }
};

// A stream that counts nothing and keeps nothing.
void attach_discard(TableStream& stream) {
  stream.attach(std::make_unique<DiscardSink>());
}

// The plain walk, point by point (the definition the fast walk follows).
void BM_WalkLine(benchmark::State& state) {
  const auto radius = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    for (std::int32_t x = 1; x < radius; x += 7) {
      benchmark::DoNotOptimize(vantrel::walk_line(x, radius));
    }
  }
}
BENCHMARK(BM_WalkLine)->Arg(100)->Arg(400);

// The radius sweep of one table: coverage grid, fast walks, marking.
void BM_Sweep(benchmark::State& state) {
  const auto radius = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(vantrel::table_endpoints(radius));
  }
}
BENCHMARK(BM_Sweep)->Arg(100)->Arg(400);

// Writing line entries: a walk of `radius` points along y, the minor
// coordinate rising evenly to radius / 3.
void BM_WriteLineEntry(benchmark::State& state) {
  const auto radius = static_cast<std::int32_t>(state.range(0));
  std::vector<vantrel::MinorCoord> minor(static_cast<std::size_t>(radius));
  for (std::size_t k = 0; k < minor.size(); ++k) {
    minor[k] = static_cast<vantrel::MinorCoord>((k + 1) / 3);
  }
  const CompactWalk walk{{radius / 3, radius}, minor};
  TableStream stream;
  attach_discard(stream);
  vantrel::LineEntryText text;
  std::int32_t number = 1;
  for (auto _ : state) {
    vantrel::write_line_entry(stream, text, number, walk);
    number = number % 1000 + 1;
  }
  state.SetItemsProcessed(state.iterations() * radius);
}
BENCHMARK(BM_WriteLineEntry)->Arg(100)->Arg(400);

// Whole tables, sweep and writing, on this thread alone (second argument 0)
// or with a worker as the tool builds them (1); real time, since with a
// worker two threads share the work. The measure for tuning how a table's
// lines are shared between the threads (table_builder.cpp).
void BM_BuildTable(benchmark::State& state) {
  const auto radius = static_cast<std::int32_t>(state.range(0));
  TableStream stream({}, state.range(1) != 0 ? TableStream::Threads::kTwo
                                             : TableStream::Threads::kOne);
  attach_discard(stream);
  vantrel::TableBuilder builder(stream);
  for (auto _ : state) {
    benchmark::DoNotOptimize(builder.build(radius));
  }
}
BENCHMARK(BM_BuildTable)->ArgsProduct({{100, 400}, {0, 1}})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
