// Text inside SVG pictures: any bytes as well-formed XML, and numbers as
// attributes take them. Pure.
#ifndef VANTREL_SVG_TEXT_H_
#define VANTREL_SVG_TEXT_H_

#include <string>
#include <string_view>

namespace vantrel {

// Appends `text` as XML character data: markup escaped, and each byte that
// is not part of a character XML allows (a control byte, a byte that is not
// UTF-8) shown as \xNN, so that any file name makes a well-formed picture.
void add_xml_text(std::string& svg, std::string_view text);

// `value` with up to six significant digits: "12.5", "0.08".
std::string number_text(double value);

}  // namespace vantrel

#endif  // VANTREL_SVG_TEXT_H_
