// Extended attributes on POSIX systems other than Linux: each names and
// sets them its own way (extattr, the xattr calls of macOS), and none is
// read here; a new file keeps only the owner and permission bits.
#include "system/file_system.h"

namespace vantrel {

int copy_attributes(int, const std::string&) { return 0; }

}  // namespace vantrel
