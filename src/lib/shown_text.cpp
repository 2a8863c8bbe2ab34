#include "lib/shown_text.h"

namespace vantrel {

std::string shown(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    switch (c) {
      case '\r': text += "\\r"; break;
      case '\n': text += "\\n"; break;
      case '\t': text += "\\t"; break;
      case '\\': text += "\\\\"; break;
      default:
        if (c >= 0x20 && c < 0x7f) {
          text += c;
        } else {
          constexpr char kDigits[] = "0123456789abcdef";
          const auto byte = static_cast<unsigned char>(c);
          text += "\\x";
          text += kDigits[byte >> 4];
          text += kDigits[byte & 15];
        }
    }
  }
  return text;
}

}  // namespace vantrel
