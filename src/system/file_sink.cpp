#include "system/file_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "system/file_plan.h"
#include "system/file_system.h"
#include "system/interrupt.h"

namespace vantrel {
namespace {

// Reserves disk space for a file that grows by large writes, ahead of them:
// writing into space already allocated costs the system markedly less than
// having it allocate page by page. Purely an advice: where the system cannot
// (no space, a file-size limit, not a regular file), the writes go on as
// they would have and fail, if they must, by themselves. What is reserved
// past the end of the file is given back when it is closed.
class SpaceReserver {
 public:
  void before_write(int fd, std::uint64_t end) {
    if (!usable_ || end <= reserved_) return;
    const std::uint64_t ahead = std::clamp<std::uint64_t>(reserved_, kSmallest, kLargest);
    const std::uint64_t length = std::max(end - reserved_, ahead);
    if (!reserve_space(fd, reserved_, length)) {
      usable_ = false;
      return;
    }
    reserved_ += length;
  }

  void before_close(int fd, std::uint64_t end) {
    // Nothing to report if this fails: the file's bytes are all there.
    if (reserved_ > end) (void)truncate_file(fd, end);
  }

 private:
  static constexpr std::uint64_t kSmallest = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kLargest = std::uint64_t{64} << 20;
  std::uint64_t reserved_ = 0;  // from offset 0
  bool usable_ = true;
};

struct OpenFailure {
  int error_number = 0;
  std::string_view operation = "open";
  // The new file was refused where the old one may still be written in
  // place: the directory refuses new files (or their name, too long beside
  // a long one), or the system refuses the new file the old owner (EINVAL:
  // one a user namespace does not map).
  bool write_in_place = false;
};

bool refused(int error_number) {
  return error_number == EACCES || error_number == EPERM || error_number == EROFS;
}

// The table file: written in place, or as a new file that takes the old
// one's place when closed.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(InterruptWatch watch) : watched_(watch == InterruptWatch::kTableFile) {}
  // Not closed: a new file is removed, the old one stays.
  ~FileSink() override { abandon(); }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // Opens `path` itself and truncates it, or creates it where `facts` say
  // it is missing.
  OpenFailure open_in_place(const char* path, const PathFacts& facts) {
    // Opening a FIFO waits for a reader, with interrupts free to end the
    // run: nothing has changed yet.
    fd_ = open_for_writing(path, facts.file == PathFacts::File::kMissing);
    if (fd_ < 0) return {errno};
    // The state says "truncated" from the moment it is: no interrupt comes
    // in between.
    std::optional<InterruptsBlocked> blocked;
    if (watched_) blocked.emplace();
    if (const int error_number = empty_file(fd_); error_number != 0) {
      (void)close_file(fd_);
      fd_ = -1;
      return {error_number};
    }
    if (watched_) writing_in_place_begun();
    return {};
  }

  // Creates the new file that will replace `target`, which exists when
  // `old` is given, and gives it the old file's identity.
  OpenFailure open_new(const std::string& target, const FileStatus* old) {
    target_ = target;
    new_path_ = target + ".new-" + std::to_string(process_id());
    const std::size_t base_size = new_path_.size();
    new_path_.reserve(base_size + 4);
    for (int attempt = 0; fd_ < 0; ++attempt) {
      if (attempt > 0) {
        new_path_.resize(base_size);
        new_path_ += '-';
        new_path_ += std::to_string(attempt);
      }
      if (new_path_.size() >= kLongestNewFilePath) return {ENAMETOOLONG, "open", true};
      int error_number = 0;
      {
        // Made and named for the handler at one moment: no interrupt
        // leaves it behind, nor removes a file of that name that another
        // run made.
        std::optional<InterruptsBlocked> blocked;
        if (watched_) blocked.emplace();
        fd_ = create_new_file(new_path_.c_str(), old);
        if (fd_ >= 0) {
          if (watched_) new_file_created(new_path_.c_str());
        } else {
          error_number = errno;
        }
      }
      if (fd_ < 0 && (error_number != EEXIST || attempt == 99)) {
        return {error_number, "open", refused(error_number) || error_number == ENAMETOOLONG};
      }
    }
    created_ = true;
    if (old != nullptr) {
      old_ = *old;
      // The bits first, while the file is still the process's to change
      // and to remove (the file is empty: nobody can read anything yet);
      // then the owner, and the bits again, which a change of owner may
      // clear.
      if (const int error_number = copy_mode(fd_, *old); error_number != 0) {
        abandon();
        return {error_number, "set the permissions of"};
      }
      if (const int error_number = copy_owner(fd_, *old); error_number != 0) {
        abandon();
        return {error_number, "set the owner of",
                refused(error_number) || error_number == EINVAL};
      }
      if (const int error_number = copy_mode(fd_, *old); error_number != 0) {
        abandon();
        return {error_number, "set the permissions of"};
      }
      // Last, on the final bits: the access control list's mask is the
      // group's bits of the mode.
      if (const int error_number = copy_attributes(fd_, target); error_number != 0) {
        abandon();
        return {error_number, "keep the ACL and extended attributes of"};
      }
    }
    return {};
  }

  int write(const char* data, std::size_t size) override {
    space_.before_write(fd_, written_ + size);
    while (size > 0) {
      const long written = write_some(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        write_failed_ = true;
        return errno;
      }
      if (written == 0) {
        write_failed_ = true;
        return EIO;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
      written_ += static_cast<std::uint64_t>(written);
    }
    return 0;
  }

  CloseFailure close() override {
    if (fd_ < 0) return {};
    space_.before_close(fd_, written_);
    // Writing may have cleared the set-user-ID bits of a new file.
    if (created_ && old_ && !write_failed_) {
      if (const int error_number = copy_mode(fd_, *old_); error_number != 0) {
        abandon();
        return {error_number, "set the permissions of"};
      }
    }
    const int error_number = close_file(fd_);
    fd_ = -1;
    const bool good = !write_failed_ && error_number == 0;
    if (!created_) {
      // Written in place: a failure leaves it incomplete.
      if (good && watched_) file_complete();
      return {error_number, "close"};
    }
    if (!good) {
      abandon();
      return {error_number, "close"};
    }
    if (watched_) replacing_begun();
    if (const int failed = replace_file(new_path_.c_str(), target_.c_str()); failed != 0) {
      if (watched_) replace_refused();
      abandon();
      return {failed, "replace"};
    }
    created_ = false;
    if (watched_) file_complete();
    return {};
  }

 private:
  // Closes what is open; removes a new file not yet in place.
  void abandon() {
    if (fd_ >= 0) {
      (void)close_file(fd_);
      fd_ = -1;
    }
    if (created_) {
      (void)remove_file(new_path_.c_str());
      created_ = false;
      if (watched_) new_file_removed();
    }
  }

  const bool watched_;  // the interrupt handler is told what becomes of the file
  int fd_ = -1;
  std::string target_;    // the file to replace
  std::string new_path_;  // the new file beside it
  bool created_ = false;  // new_path_ exists, made by this sink, not in place
  std::optional<FileStatus> old_;  // the file replaced, where there is one
  std::uint64_t written_ = 0;
  bool write_failed_ = false;  // set where write() runs, read at close()
  SpaceReserver space_;
};

// Bytes the file may take: the file system's free room, plus the old
// file's when it is truncated first. nullopt when the system cannot say,
// or where the bytes go elsewhere (a device).
std::optional<std::uint64_t> room_for(const std::string& target, const FileStatus& status,
                                      FilePlan::Way way) {
  if (status.facts.file != PathFacts::File::kMissing &&
      status.facts.file != PathFacts::File::kRegular) {
    return std::nullopt;
  }
  std::optional<std::uint64_t> room = free_space(target);
  if (room && way == FilePlan::Way::kWriteInPlace) *room += status.bytes_on_disk;
  return room;
}

}  // namespace

OpenedFile open_file_sink(const char* path, ExpectedSize size, InterruptWatch watch) {
  auto sink = std::make_unique<FileSink>(watch);
  const std::string target = follow_links(path);
  FileStatus status;
  status.facts.file = PathFacts::File::kUnknown;
  if (!target.empty()) status = describe_file(target);
  const FilePlan plan = plan_table_file(status.facts);
  if (plan.way == FilePlan::Way::kRefuse) return {nullptr, "open", plan.error_number};

  if (size.at_most > 0) {
    if (const std::optional<std::uint64_t> room = room_for(target, status, plan.way);
        room && *room < size.at_most && size.at_least) {
      if (const std::uint64_t needed = size.at_least(); *room < needed) {
        return {nullptr, "open", ENOSPC, needed, *room};
      }
    }
  }

  if (plan.way == FilePlan::Way::kReplace) {
    const bool exists = status.facts.file == PathFacts::File::kRegular;
    const OpenFailure failure = sink->open_new(target, exists ? &status : nullptr);
    if (failure.error_number == 0) return {std::move(sink), "open", 0, 0, 0, true};
    if (!failure.write_in_place) return {nullptr, failure.operation, failure.error_number};
  }
  if (const OpenFailure failure = sink->open_in_place(path, status.facts);
      failure.error_number != 0) {
    return {nullptr, failure.operation, failure.error_number};
  }
  return {std::move(sink)};
}

}  // namespace vantrel
