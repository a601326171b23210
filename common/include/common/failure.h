// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Failures where a procedure that the error log names meets them: failure
// numbers, CurrentError, the two report procedures and the guards. Below the
// guards a failure travels as a value (platform::OsError, an errno).
//
// Code inside a guarded procedure signals an unexpected failure by throwing
// RuntimeFailure (see fail()). The guard at the top of the procedure catches
// it, leaves its number in CurrentError and hands the procedure's name to
// gProcError (log and continue) or gProcFatalError (tell the user, log, end).
#include <cerrno>
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/os_error.h"

namespace msifter::common {

// Failure numbers; each has a standard description.
namespace err {
enum Number : int32_t {
  None = 0,
  ReturnWithoutGosub = 3,
  InvalidArgument = 5,
  Overflow = 6,
  OutOfMemory = 7,
  Subscript = 9,
  DivisionByZero = 11,
  TypeMismatch = 13,
  OutOfStringSpace = 14,
  Internal = 51,
  BadFileName = 52,
  FileNotFound = 53,
  BadFileMode = 54,
  FileAlreadyOpen = 55,
  DeviceIO = 57,
  FileExists = 58,
  DiskFull = 61,
  InputPastEnd = 62,
  TooManyFiles = 67,
  DeviceUnavailable = 68,
  PermissionDenied = 70,
  DiskNotReady = 71,
  RenameAcrossDisks = 74,
  PathFileAccess = 75,
  PathNotFound = 76,
  ObjectRequired = 424,
  Automation = 440
};
}  // namespace err

// The standard Japanese description of a number; a generic text for numbers
// without one.
std::string standardDescription(int32_t number);
// The failure number that fits an errno value (ENOENT 53, EACCES 70, ...).
int32_t errorNumberFromErrno(int errnoValue);

struct ErrorRecord {
  int32_t number = 0;
  std::string description;
  std::string source;
  std::string helpFile;
  int32_t helpContext = 0;
};

// CurrentError: one per program. The window thread and the run's worker
// thread use it one after the other; debug builds check that no thread
// touches it while another one is reporting.
ErrorRecord& currentError();
void clearError();
// Fills CurrentError from the number alone: the standard description and the
// program as source. Raising 0 counts as an invalid argument (5).
void raiseError(int32_t number);

class RuntimeFailure : public std::runtime_error {
 public:
  explicit RuntimeFailure(int32_t number);
  int32_t number() const noexcept { return number_; }

 private:
  int32_t number_;
};

[[noreturn]] void fail(int32_t number);
// fail() with the number that fits errno.
[[noreturn]] void failErrno(int errnoValue);

// Thrown by the test double's endProgram so that a test sees the end of the
// program without its process ending. Deliberately not a std::exception: no
// guard may swallow the end of the program.
struct ProgramEnded {
  int exitCode = 0;
};

// While false, gProcError shows its report in a dialog as well.
extern bool gblnNoErrDialog;

void gProcError(std::string_view procName, std::string_view detail);
[[noreturn]] void gProcFatalError(std::string_view procName, std::string_view detail);

class ThreadOwner;

namespace detail {
// Who holds CurrentError while a report is made.
ThreadOwner& currentErrorOwner();
// Leaves the caught failure's number in CurrentError. Must be called from
// inside a catch block.
void recordCaughtFailure();
}  // namespace detail

namespace detail {
// Sets up the guard (CurrentError cleared), runs the body and, when it
// fails, leaves the number in CurrentError and returns what onFailure gives.
template <class F, class OnFailure>
auto guarded(F&& body, OnFailure&& onFailure) -> decltype(std::forward<F>(body)()) {
  clearError();
  try {
    return std::forward<F>(body)();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    recordCaughtFailure();
  }
  return onFailure();
}
}  // namespace detail

// The guard every guarded procedure uses:
//   return guardLog("gFindFile", false, [&] { ...; return true; });
// CurrentError is cleared on entry (the guard is set up); a failure is
// reported to gProcError under `name` and `failValue` is returned.
template <class R, class F>
R guardLog(std::string_view name, R failValue, F&& body) {
  return detail::guarded(std::forward<F>(body), [&]() -> R {
    gProcError(name, "");
    return std::move(failValue);
  });
}

// The guard of a procedure whose failure is a value: the body returns the
// system's answer (platform::OsError) and the caller gets it back as it is.
// Only here does a failed answer become a failure number, in CurrentError
// for the report under `name` (with the failing call and path as its
// detail). An unexpected failure thrown inside is reported as by guardLog
// and answered as EIO.
template <class F>
platform::OsError guardResult(std::string_view name, F&& body) {
  return detail::guarded(
      [&]() -> platform::OsError {
        platform::OsError result = std::forward<F>(body)();
        if (result) {
          raiseError(errorNumberFromErrno(result.code()));
          gProcError(name, result.message());
        }
        return result;
      },
      [&]() -> platform::OsError {
        gProcError(name, "");
        return platform::OsError(EIO, "");
      });
}

// As guardLog, but a failure takes the fatal path (which does not return).
template <class F>
auto guardFatal(std::string_view name, F&& body) -> decltype(std::forward<F>(body)()) {
  using Result = decltype(std::forward<F>(body)());
  return detail::guarded(std::forward<F>(body), [&]() -> Result { gProcFatalError(name, ""); });
}

}  // namespace msifter::common
