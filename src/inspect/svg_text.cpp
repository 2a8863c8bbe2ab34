#include "inspect/svg_text.h"

#include <cstdio>

namespace vantrel {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` of a
// character XML allows, or 0.
std::size_t xml_character_length(std::string_view text) {
  const auto byte = [&](std::size_t n) { return static_cast<unsigned char>(text[n]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
  std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                       : lead >= 0xe0 && lead <= 0xef ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t n = 1; n < length; ++n) {
    if ((byte(n) & 0xc0) != 0x80) return 0;
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF, and not the
  // two non-characters U+FFFE and U+FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) ||
      (lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) >= 0x90) ||
      (lead == 0xef && byte(1) == 0xbf && byte(2) >= 0xbe)) {
    return 0;
  }
  return length;
}

}  // namespace

void SvgWriter::add_xml_text(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = xml_character_length(text);
    if (length == 0) {
      constexpr char kDigits[] = "0123456789abcdef";
      const auto byte = static_cast<unsigned char>(text[0]);
      const char escaped[] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
      append(std::string_view(escaped, sizeof escaped));
      text.remove_prefix(1);
      continue;
    }
    switch (text[0]) {
      case '<': append("&lt;"); break;
      case '>': append("&gt;"); break;
      case '&': append("&amp;"); break;
      case '\\': append("\\\\"); break;
      default: append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
}

void SvgWriter::append(std::string_view text) {
  bytes_ += text.size();
  // Markup is never split between two parts, and text added as XML text
  // holds no '<': a '<' not followed by '/' or '?' opens an element.
  for (std::size_t at = text.find('<'); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    if (at + 1 < text.size() && text[at + 1] != '/' && text[at + 1] != '?') ++elements_;
  }
  if (sink_ == nullptr || error_number_ != 0) return;
  if (buffer_.size() + text.size() > kBufferSize) {
    if (flush() != 0) return;
    if (text.size() > kBufferSize) {
      error_number_ = sink_->write(text.data(), text.size());
      return;
    }
  }
  buffer_.append(text);
}

int SvgWriter::flush() {
  if (sink_ != nullptr && error_number_ == 0 && !buffer_.empty()) {
    error_number_ = sink_->write(buffer_.data(), buffer_.size());
  }
  buffer_.clear();
  return error_number_;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::int64_t round_number_from(double target) {
  for (std::int64_t base = 1;; base *= 10) {
    for (const std::int64_t factor : {1, 2, 5}) {
      if (static_cast<double>(base * factor) >= target) return base * factor;
    }
  }
}

}  // namespace vantrel
