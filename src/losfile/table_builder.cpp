#include "losfile/table_builder.h"

#include <algorithm>
#include <limits>
#include <new>

#include "lib/table/line_walk.h"
#include "losfile/table_format.h"

namespace vantrel {
namespace {

// Of a large table, the owner formats the first entries and the worker the
// rest, a buffer of the stream at a time. The owner's share of the table's
// room (LineEntryText::room), in percent, balances the two threads: the
// owner also sweeps the next table, the worker also writes the file. Below
// kSideFromRoom a table is formatted faster than handed over. Both were
// tuned by measurement on a 2-core virtual machine; to tune them again,
// compare BM_BuildTable/400/1 (bench/) and the wall time of bench/run.sh.
constexpr std::size_t kFirstPartShare = 40;
constexpr std::size_t kSideFromRoom = std::size_t{256} << 10;

std::size_t entry_room(Endpoint end) {
  return LineEntryText::room(static_cast<std::size_t>(walk_length(end)));
}

// Every fill must fit a buffer of the stream, even a single longest entry.
static_assert(LineEntryText::room(std::numeric_limits<MinorCoord>::max()) <=
              TableStream::kBufferSize);

}  // namespace

// A swept table, with what the worker needs to format some of its lines.
// The endpoints are ascending; the lines are written descending.
struct TableBuilder::Table {
  explicit Table(std::size_t kept_points) : endpoints(kept_points) {}

  std::size_t line_count() const { return endpoints.entries().size(); }

  // The endpoint of line `k` (from 0).
  Endpoint line_end(std::size_t k) const {
    return endpoints.entries()[line_count() - 1 - k].end;
  }

  // The walk of line `k`: the kept one, or else computed into `scratch`.
  CompactWalk line_walk(std::size_t k, MinorCoord* scratch) const {
    const EndpointList::Entry& entry = endpoints.entries()[line_count() - 1 - k];
    if (const MinorCoord* kept = endpoints.kept_walk(entry)) {
      return {entry.end, {kept, static_cast<std::size_t>(walk_length(entry.end))}};
    }
    return compute_walk(entry.end, scratch);
  }

  // Stores the entries of lines first .. last - 1 at `out`; returns their
  // end. Runs on the worker's thread.
  char* put_lines(char* out, std::size_t first, std::size_t last) {
    for (std::size_t k = first; k < last; ++k) {
      out = text.put(out, static_cast<std::int32_t>(k + 1), line_walk(k, walk.data()));
    }
    return out;
  }

  EndpointList endpoints;
  LineEntryText text;            // prepared for the table; both threads read it
  bool numbered = false;         // text can put every entry of the table
  std::vector<MinorCoord> walk;  // walks recomputed on the worker's thread
  Worker::Ticket last_fill = 0;  // the worker's last job on the lines
};

TableBuilder::TableBuilder(TableStream& stream, std::size_t kept_points)
    : stream_(stream), kept_points_(kept_points) {}

TableBuilder::~TableBuilder() { stream_.wait_for_worker(); }

std::int32_t TableBuilder::build(std::int32_t radius) {
  if (stream_.has_worker()) slot_ = 1 - slot_;
  Table* table = nullptr;
  try {
    table = &prepare(slot_, radius);
  } catch (const std::bad_alloc&) {
    if (!stream_.has_worker()) throw;
    // Two threads need more memory than one: the worker's buffers, two
    // tables' walks. Go on with one, as if no thread could be had.
    stream_.stop_worker();
    tables_[1 - slot_].reset();
    table = &prepare(slot_, radius);
  }
  write(radius, *table);
  return static_cast<std::int32_t>(table->line_count());
}

TableBuilder::Table& TableBuilder::prepare(std::size_t slot, std::int32_t radius) {
  if (!tables_[slot]) tables_[slot] = std::make_unique<Table>(kept_points_);
  Table& table = *tables_[slot];
  // The worker may still be formatting the lines this table held last.
  stream_.wait_for(table.last_fill);
  table.last_fill = 0;
  sweep_table(radius, table.endpoints);
  const std::int32_t largest = std::max(static_cast<std::int32_t>(table.line_count()), radius);
  table.numbered = LineEntryText::can_put(largest);
  if (table.numbered) table.text.prepare(largest);
  const std::size_t room = walk_room(static_cast<std::size_t>(radius));
  if (walk_.size() < room) walk_.resize(room);
  if (table.walk.size() < room) table.walk.resize(room);
  return table;
}

void TableBuilder::write(std::int32_t radius, Table& table) {
  const std::size_t count = table.line_count();
  write_table_opening(stream_, radius);
  write_line_count(stream_, static_cast<std::int32_t>(count));

  // The owner's part first: a small table whole, else the first share.
  std::size_t first_part = count;
  if (table.numbered && stream_.has_worker()) {
    std::size_t table_room = 0;
    for (const EndpointList::Entry& entry : table.endpoints.entries()) {
      table_room += entry_room(entry.end);
    }
    if (table_room >= kSideFromRoom) {
      first_part = 0;
      for (std::size_t room = 0; room * 100 < table_room * kFirstPartShare;) {
        room += entry_room(table.line_end(first_part++));
      }
    }
  }
  // Once the stream drops writes, the rest of the table is not worth its
  // walks.
  for (std::size_t k = 0; k < first_part && stream_.accepting(); ++k) {
    write_line_entry(stream_, table.text, static_cast<std::int32_t>(k + 1),
                     table.line_walk(k, walk_.data()));
  }

  // The worker's part, in buffer-sized pieces.
  for (std::size_t next = first_part; next < count && stream_.accepting();) {
    std::size_t end = next + 1;
    for (std::size_t room = entry_room(table.line_end(next)); end < count; ++end) {
      room += entry_room(table.line_end(end));
      if (room > TableStream::kBufferSize) break;
    }
    const Worker::Ticket fill = stream_.write_filled(
        [&table, next, end](char* out) { return table.put_lines(out, next, end); });
    if (fill != 0) table.last_fill = fill;
    next = end;
  }
  write_table_closing(stream_);
}

}  // namespace vantrel
