// The boundary between the library's throwing code and the calls that
// report an Error instead, which the C API and the Python module cross the
// same way: one classification of what the library throws.
#ifndef VANTREL_ERROR_REPORT_H_
#define VANTREL_ERROR_REPORT_H_

#include <new>
#include <stdexcept>
#include <system_error>

#include "vantrel/error.h"
#include "vantrel/table.h"

namespace vantrel {

// Fills `error` in, keeping kOutOfMemory's message free of allocation
// ("out of memory" fits the string's own room).
inline void report(Error& error, Error::Code code, const char* message) noexcept {
  error.code = code;
  try {
    error.message.assign(message);
  } catch (...) {
    error.code = Error::Code::kOutOfMemory;
    error.message.clear();
    error.message.assign("out of memory");
  }
}

// Runs `call` with `error` cleared; what it throws, `error` reports.
// Returns whether it succeeded.
template <class Call>
bool catch_into(Error& error, Call&& call) noexcept {
  error.clear();
  try {
    call();
    return true;
  } catch (const TableFileError& failure) {
    report(error, Error::Code::kTableFile, failure.what());
  } catch (const std::invalid_argument& failure) {
    report(error, Error::Code::kInvalidArgument, failure.what());
  } catch (const std::bad_alloc&) {
    report(error, Error::Code::kOutOfMemory, "out of memory");
  } catch (const std::length_error&) {
    // A size past what a container can hold: no memory would be enough.
    report(error, Error::Code::kOutOfMemory, "out of memory");
  } catch (const std::system_error& failure) {
    // A thread that cannot be started: a resource that ran out.
    report(error, Error::Code::kOutOfMemory, failure.what());
  } catch (const std::exception& failure) {
    report(error, Error::Code::kInternal, failure.what());
  } catch (...) {
    report(error, Error::Code::kInternal, "an exception that is not a std::exception");
  }
  return false;
}

}  // namespace vantrel

#endif  // VANTREL_ERROR_REPORT_H_
