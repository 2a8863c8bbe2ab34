// What the calls that do not throw report instead of throwing.
//
// Every call of the C++ API that can fail comes in two forms: one that
// throws, and one that takes an Error& as its last argument, is noexcept (or
// throws only what a callback of yours throws), and on failure fills the
// Error in and returns an empty result (false, an empty Table or
// std::nullopt). The second form is the one to use in code built with
// -fno-exceptions:
//
//   vantrel::Error error;
//   const vantrel::Table table = vantrel::make_table(radius, error);
//   if (error) log(error.message);
#ifndef VANTREL_ERROR_H_
#define VANTREL_ERROR_H_

#include <string>

namespace vantrel {

struct Error {
  enum class Code {
    kNone = 0,         // the call succeeded
    kInvalidArgument,  // an argument out of range (what the throwing form
                       // throws std::invalid_argument for)
    kTableFile,        // a table file that cannot be read or is no table
                       // file (TableFileError)
    kOutOfMemory,      // memory ran out (std::bad_alloc), or another
                       // resource: a thread that cannot be started
    kInternal,         // a failure the library did not foresee: a fault of
                       // the library's own, to be reported to its makers
  };

  Code code = Code::kNone;
  // What went wrong, in a user's words, as the throwing form's exception
  // says it; "out of memory" for kOutOfMemory, empty for kNone.
  std::string message;

  explicit operator bool() const noexcept { return code != Code::kNone; }
  // Back to kNone. Each call that takes an Error does this first.
  void clear() noexcept {
    code = Code::kNone;
    message.clear();
  }
};

}  // namespace vantrel

#endif  // VANTREL_ERROR_H_
