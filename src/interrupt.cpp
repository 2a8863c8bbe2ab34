#include "interrupt.h"

#include <cerrno>

#include "table_file_state.h"

namespace vantrel {

std::optional<std::string_view> take_over_and_clean_up(RemoveFile remove) noexcept {
  const std::optional<TableFileState> state = take_over_for_interrupt();
  if (!state) return std::nullopt;
  switch (*state) {
    case TableFileState::kUntouched:
      break;
    case TableFileState::kNewFileNamed:
      (void)remove(new_file_path());
      break;
    case TableFileState::kReplacing:
      // While it is renamed, a new file that is gone is in place already.
      if (remove(new_file_path()) == ENOENT) return "vantrel: interrupted\n";
      break;
    case TableFileState::kWritingInPlace:
      return "vantrel: interrupted; LOS.TDF is incomplete\n";
    case TableFileState::kComplete:
      return "vantrel: interrupted\n";
  }
  return "vantrel: interrupted; LOS.TDF left as it was\n";
}

}  // namespace vantrel
