#include "losfile/max_los.h"

namespace vantrel {

std::int32_t parse_max_los(const char* text) {
  auto is_space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r';
  };
  while (is_space(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  // Unsigned arithmetic wraps modulo 2^32; the final conversion to a signed
  // value is modular as well.
  std::uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10u + static_cast<std::uint32_t>(*text - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::int32_t table_count(std::int32_t max_los) {
  // Division truncates toward zero, so negative values count toward zero
  // too. In 64 bits max_los + 32 cannot overflow, and every result fits.
  const std::int64_t m = max_los;
  return static_cast<std::int32_t>(m % 32 == 0 ? m / 32 : (m + 32) / 32);
}

Request read_request(const char* argument) {
  Request request;
  if (argument == nullptr) return request;
  request.max_los = parse_max_los(argument);
  if (request.max_los == 0) return request;
  if (request.max_los > kLargestMaxLos) {
    request.kind = Request::Kind::kTooLarge;
    return request;
  }
  request.kind = Request::Kind::kTables;
  request.tables = table_count(request.max_los);
  return request;
}

}  // namespace vantrel
