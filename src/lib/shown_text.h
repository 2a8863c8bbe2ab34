// Bytes from a file or a command line, shown so that a user can read them
// in a one-line message and no terminal acts on them. Pure.
#ifndef VANTREL_SHOWN_TEXT_H_
#define VANTREL_SHOWN_TEXT_H_

#include <string>
#include <string_view>

namespace vantrel {

// `bytes` with line ends, tabs and backslashes escaped ("\r", "\n", "\t",
// "\\"), other control and non-ASCII bytes in hex ("\x1b").
std::string shown(std::string_view bytes);

}  // namespace vantrel

#endif  // VANTREL_SHOWN_TEXT_H_
