#include "system/file_plan.h"

namespace vantrel {

FilePlan plan_table_file(const PathFacts& facts) {
  using Way = FilePlan::Way;
  switch (facts.file) {
    case PathFacts::File::kMissing:
      // Made new either way; where the directory refuses, creating it in
      // place would be refused too, and says so.
      return {Way::kReplace};
    case PathFacts::File::kOther:
    case PathFacts::File::kUnknown:
      return {Way::kWriteInPlace};
    case PathFacts::File::kRegular:
      break;
  }
  if (!facts.file_writable) return {Way::kRefuse, facts.file_error};
  // Every other name of the file must see the new tables.
  if (facts.links > 1) return {Way::kWriteInPlace};
  if (!facts.directory_writable || facts.sticky_forbids_rename) return {Way::kWriteInPlace};
  // Its owner keeps it, and nobody else gains or loses the right to read it.
  if (!facts.identity_kept) return {Way::kWriteInPlace};
  return {Way::kReplace};
}

}  // namespace vantrel
