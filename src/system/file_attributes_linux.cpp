// Extended attributes on Linux: the access control list is one of them
// (system.posix_acl_access), read and written as the others are.
#include <sys/xattr.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "system/file_system.h"

namespace vantrel {
namespace {

// Granted by a file to the process that runs it; the system takes it from
// any file written to, as it clears set-user-ID.
constexpr std::string_view kCapabilities = "security.capability";
constexpr std::string_view kLabelPrefix = "security.";

// The bytes that `read` gives, asked first how many there are: names, each
// ended by a NUL, or a value. Where they grow in between, asked again.
// False, with errno set, where the system cannot give them.
template <class Read>
bool read_all(Read read, std::string& bytes) {
  for (;;) {
    const ssize_t size = read(nullptr, 0);
    if (size < 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    const ssize_t got = read(bytes.data(), bytes.size());
    if (got >= 0) {
      bytes.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

// The names of a file's attributes, each ended by a NUL: none where its
// file system keeps none.
template <class List>
int names_of(List list, std::string& names) {
  if (read_all(list, names)) return 0;
  names.clear();
  return errno == ENOTSUP ? 0 : errno;
}

// Calls `visit` with each name of `names`, a view of a NUL-ended string;
// stops at the first nonzero result, and returns it.
template <class Visit>
int for_each_name(const std::string& names, Visit visit) {
  for (std::size_t at = 0; at < names.size();) {
    const std::string_view name(names.c_str() + at);
    at += name.size() + 1;
    if (name.empty()) continue;
    if (const int result = visit(name); result != 0) return result;
  }
  return 0;
}

bool holds_name(const std::string& names, std::string_view wanted) {
  return for_each_name(names, [&](std::string_view name) { return name == wanted ? 1 : 0; }) != 0;
}

}  // namespace

int copy_attributes(int fd, const std::string& old) {
  const char* path = old.c_str();
  std::string old_names;
  if (const int error_number = names_of(
          [&](char* list, std::size_t size) { return listxattr(path, list, size); }, old_names);
      error_number != 0) {
    return error_number;
  }
  // Those the old file lacks are taken first: an access list inherited
  // from the directory may fill the room that the old file's need.
  std::string new_names;
  if (const int listed = names_of(
          [&](char* list, std::size_t size) { return flistxattr(fd, list, size); }, new_names);
      listed != 0) {
    return listed;
  }
  if (const int error_number = for_each_name(new_names, [&](std::string_view name) {
        if (holds_name(old_names, name) || name.starts_with(kLabelPrefix)) return 0;
        if (fremovexattr(fd, name.data()) == 0 || errno == ENODATA) return 0;
        return errno;
      });
      error_number != 0) {
    return error_number;
  }
  std::string value;
  std::string held;
  return for_each_name(old_names, [&](std::string_view name) {
    if (name == kCapabilities) return 0;
    if (!read_all([&](void* bytes, std::size_t size) {
          return getxattr(path, name.data(), bytes, size);
        }, value)) {
      // Removed since it was listed.
      return errno == ENODATA ? 0 : errno;
    }
    // What the new file holds already, a label given by the system or an
    // access list inherited, is not written again.
    if (read_all([&](void* bytes, std::size_t size) {
          return fgetxattr(fd, name.data(), bytes, size);
        }, held) && held == value) {
      return 0;
    }
    return fsetxattr(fd, name.data(), value.data(), value.size(), 0) == 0 ? 0 : errno;
  });
}

}  // namespace vantrel
