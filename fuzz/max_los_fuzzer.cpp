// Feeds arbitrary command-line arguments to the reading of MaxLos, the table
// count and the decision of what a run does, and checks each against a plain
// model in 64-bit arithmetic with explicit wrap-around; and that the largest
// table a run may build keeps its grid's cell indices within 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/table/table_sweep.h"
#include "losfile/max_los.h"

namespace {

constexpr std::int64_t kTwoTo32 = std::int64_t{1} << 32;

// The signed 32-bit value whose bits are the low 32 bits of `value`.
std::int64_t wrap_to_int32(std::int64_t value) {
  std::int64_t low = value % kTwoTo32;
  if (low < 0) low += kTwoTo32;
  return low >= kTwoTo32 / 2 ? low - kTwoTo32 : low;
}

std::int64_t model_parse(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = wrap_to_int32(value * 10 + (text[at] - '0'));
  }
  return wrap_to_int32(negative ? -value : value);
}

std::int64_t model_table_count(std::int64_t m) {
  // C++ division truncates toward zero, as the count is defined.
  return m % 32 == 0 ? m / 32 : (m + 32) / 32;
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An argument ends at its first NUL, as in argv.
  const std::string argument(reinterpret_cast<const char*>(data), size);
  const std::string text = argument.c_str();

  const std::int64_t expected = model_parse(text);
  const std::int32_t max_los = vantrel::parse_max_los(text.c_str());
  check(max_los == expected);
  check(vantrel::table_count(max_los) == model_table_count(expected));
  if (expected > 0) check(vantrel::table_count(max_los) == (expected + 31) / 32);

  const vantrel::Request request = vantrel::read_request(text.c_str());
  check(request.max_los == expected);
  using Kind = vantrel::Request::Kind;
  if (expected == 0) {
    check(request.kind == Kind::kUsage);
  } else if (expected > vantrel::kLargestMaxLos) {
    check(request.kind == Kind::kTooLarge);
  } else {
    check(request.kind == Kind::kTables);
    check(request.tables == model_table_count(expected));
    // Every cell index of the largest table's coverage grid fits the 32
    // bits that the walks compute them in.
    const std::int32_t a = request.tables;
    check(a <= 0 || vantrel::coverage_grid_size(a) - 1 <= UINT32_MAX);
  }
  check(vantrel::read_request(nullptr).kind == Kind::kUsage);
  return 0;
}
