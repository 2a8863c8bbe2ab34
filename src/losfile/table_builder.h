// The pipeline that joins the parts: sweeps each table (lib/table_sweep.h),
// formats its block (table_format.h) and writes it through a table stream
// (table_stream.h). Prints nothing and touches no file of its own.
//
// Threads: the owner, the thread that made the builder, calls every member
// function. When the stream has a worker, a large table has most of its line
// entries formatted on the worker's thread, which goes on with them while
// the owner sweeps the next table; those fills read the table they belong
// to, and the builder waits for them before it reuses or frees that table.
#ifndef VANTREL_TABLE_BUILDER_H_
#define VANTREL_TABLE_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "lib/cell.h"
#include "lib/table/table_sweep.h"
#include "losfile/table_stream.h"

namespace vantrel {

class TableBuilder {
 public:
  // `stream` must outlive the builder. `kept_points`: see EndpointList.
  explicit TableBuilder(TableStream& stream,
                        std::size_t kept_points = EndpointList::kKeptPoints);
  // Waits until the worker is done with the tables.
  ~TableBuilder();
  TableBuilder(const TableBuilder&) = delete;
  TableBuilder& operator=(const TableBuilder&) = delete;

  // Writes the block of the table of `radius` (1 .. 46340) to the stream and
  // returns its number of lines.
  //
  // Everything a table needs is allocated before any of its text is
  // written. When that fails while the stream has a worker, the builder goes
  // on with one thread, which needs less memory, and tries again; when it
  // fails with one thread, it throws std::bad_alloc, with nothing of the
  // table written.
  std::int32_t build(std::int32_t radius);

 private:
  struct Table;

  // Sweeps the table of `radius` into tables_[slot] and makes ready all
  // that writing it needs. Throws std::bad_alloc.
  Table& prepare(std::size_t slot, std::int32_t radius);
  // Writes the prepared table's block; allocates nothing.
  void write(std::int32_t radius, Table& table);

  TableStream& stream_;
  std::size_t kept_points_;
  // With a worker, tables take turns in two slots, since the worker may
  // still be formatting the lines of the one before; otherwise one serves.
  std::unique_ptr<Table> tables_[2];
  std::size_t slot_ = 0;  // of the latest table
  std::vector<MinorCoord> walk_;  // walks recomputed on the owner's thread
};

}  // namespace vantrel

#endif  // VANTREL_TABLE_BUILDER_H_
