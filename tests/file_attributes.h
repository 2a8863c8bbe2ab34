// Extended attributes of files for tests, the access control list among
// them, read and written as the system keeps them. Linux only.
#ifndef VANTREL_TESTS_FILE_ATTRIBUTES_H_
#define VANTREL_TESTS_FILE_ATTRIBUTES_H_

#include <sys/xattr.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>

namespace vantrel {

inline constexpr char kAccessList[] = "system.posix_acl_access";
inline constexpr char kDefaultList[] = "system.posix_acl_default";

// An entry of an access control list: its tag (ACL_USER_OBJ 0x01, ACL_USER
// 0x02, ACL_GROUP_OBJ 0x04, ACL_GROUP 0x08, ACL_MASK 0x10, ACL_OTHER 0x20),
// its rights (4 read, 2 write, 1 execute) and the user or group it names.
struct ListEntry {
  std::uint16_t tag;
  std::uint16_t rights;
  std::uint32_t id = 0xFFFFFFFF;  // none
};

// The list as the attribute holds it: version 2, then each entry in the
// host's byte order, in the order given (sorted by tag, then id).
inline std::string access_list(std::initializer_list<ListEntry> entries) {
  std::string bytes(4, '\0');
  const std::uint32_t version = 2;
  std::memcpy(bytes.data(), &version, 4);
  for (const ListEntry& entry : entries) {
    char packed[8];
    std::memcpy(packed, &entry.tag, 2);
    std::memcpy(packed + 2, &entry.rights, 2);
    std::memcpy(packed + 4, &entry.id, 4);
    bytes.append(packed, sizeof packed);
  }
  return bytes;
}

// The value of attribute `name` of `file`, or none.
inline std::optional<std::string> attribute_of(const std::filesystem::path& file,
                                               const char* name) {
  const ssize_t size = getxattr(file.c_str(), name, nullptr, 0);
  if (size < 0) return std::nullopt;
  std::string value(static_cast<std::size_t>(size), '\0');
  const ssize_t got = getxattr(file.c_str(), name, value.data(), value.size());
  if (got < 0) return std::nullopt;
  value.resize(static_cast<std::size_t>(got));
  return value;
}

// True when the attribute could be set.
inline bool set_attribute(const std::filesystem::path& file, const char* name,
                          const std::string& value) {
  return setxattr(file.c_str(), name, value.data(), value.size(), 0) == 0;
}

}  // namespace vantrel

#endif  // VANTREL_TESTS_FILE_ATTRIBUTES_H_
