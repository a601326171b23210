#include "engine/mover.h"

#include <cerrno>

#include "common/failure.h"
#include "common/paths.h"
#include "engine/name_planner.h"
#include "engine/time_helpers.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "transfer_helpers.h"

namespace msifter::engine {

namespace {

// The pause after each file of a slow run. It blocks the run's worker
// thread only; the window thread keeps painting on its own.
void pause500() { gProcSleep(500); }

// Every file the destination folder completes, told to the observer.
void observe(platform::DestinationFolder& destination, const std::string& folder,
             TransferObserver* observer) {
  if (observer == nullptr) return;
  destination.onTransferred([&folder, observer](const platform::TransferredFile& f) {
    observer->fileTransferred(
        TransferredFile{f.copied ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved,
                        f.source, folder + f.name, f.size, static_cast<int64_t>(f.modified.tv_sec),
                        static_cast<int32_t>(f.modified.tv_nsec), f.device, f.inode});
  });
}

}  // namespace

bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer) {
  return common::guardLog("mMoveFile", false, [&] {
    if (sources.empty()) return true;
    const std::string folder = common::gAddBackslash(options.receiveDir);
    // The folder the user chose, for the whole run: never re-created or
    // followed elsewhere if it changes meanwhile.
    platform::DestinationFolder destination;
    if (const platform::OsError e = destination.open(options.receiveDir))
      common::failErrno(e.code());
    observe(destination, folder, observer);

    NamePlanner planner(options, runState().serialNumber);
    int32_t nameFailure = 0;
    int failure = 0;
    for (const std::string& source : sources) {
      // A taken name is never replaced: the next number is tried instead.
      // A move between file systems may ask only when its batch settles.
      NameSource names = [&nameFailure, planned = planner.namesFor(source)]() {
        try {
          return planned();
        } catch (const common::RuntimeFailure& e) {
          nameFailure = e.number();
          return std::string();
        }
      };
      int error = 0;
      const bool transferred = options.copyFiles
                                   ? copyFileInto(destination, source, names, &error)
                                   : moveFileInto(destination, source, names, false, &error);
      if (!transferred) {
        failure = error ? error : EIO;
        break;
      }
      if (options.slowly) pause500();
    }
    // The files copied so far are settled before any failure is reported.
    const platform::OsError settled = destination.settle();
    if (nameFailure != 0) common::fail(nameFailure);
    if (failure != 0) common::failErrno(failure);
    if (settled) common::failErrno(settled.code());
    return true;
  });
}

}  // namespace msifter::engine
