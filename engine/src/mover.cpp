#include "engine/mover.h"

#include <sys/stat.h>

#include <cerrno>
#include <unordered_map>
#include <unordered_set>

#include "common/failure.h"
#include "common/paths.h"
#include "engine/identical_files.h"
#include "engine/name_planner.h"
#include "engine/time_helpers.h"
#include "platform/destination_folder.h"
#include "platform/directory.h"
#include "platform/syscalls.h"
#include "transfer_helpers.h"

namespace msifter::engine {

namespace {

// The pause after each file of a slow run. It blocks the run's worker
// thread only; the window thread keeps painting on its own.
void pause500() { gProcSleep(500); }

// Finds the files of the destination (or planned for it) with the bytes of
// a source.
class IdenticalSearch {
 public:
  IdenticalSearch(IdenticalFiles& identical, const std::string& folder)
      : identical_(identical), folder_(folder) {}

  // The full path of a file with the bytes of `source`, "" when there is
  // none or `source` cannot be looked at (its transfer then says why). A
  // length the search found spares a look at the source.
  std::string find(const std::string& source, int64_t knownSize, int64_t* size) {
    *size = knownSize;
    if (knownSize < 0) {
      struct stat st {};
      if (platform::syscalls().stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
      *size = static_cast<int64_t>(st.st_size);
    }
    return named(identical_.findIdentical(source, *size));
  }

  // The run hands `source` over to the destination.
  void handing(const std::string& source) {
    handing_ = &source;
    handedDone_ = false;
  }
  // A file the destination folder completed, now under `name`.
  void completed(const std::string& source, const std::string& name, int64_t size) {
    identical_.add(name, size);
    if (handing_ != nullptr && source == *handing_) handedDone_ = true;
  }
  // The file handed over, `size` bytes, is in the run. One whose batch is
  // not on disk yet has no name there: it counts where it still is (an
  // absolute name is looked at there, as openat leaves the folder aside).
  void handedOver(int64_t size) {
    if (!handedDone_ && size >= 0 && !handing_->empty() && handing_->front() == '/')
      identical_.add(*handing_, size);
    handing_ = nullptr;
  }

 private:
  // A name in the folder as a full path; a file of the run still at its
  // source is known by its full path already.
  std::string named(std::string name) const {
    if (name.empty() || name.front() == '/') return name;
    return folder_ + name;
  }

  IdenticalFiles& identical_;
  const std::string& folder_;
  const std::string* handing_ = nullptr;
  bool handedDone_ = false;
};

// The length the search found for source `i`; -1 when it was not kept.
int64_t knownSize(const MoveExtras& extras, std::size_t i) {
  const std::vector<int64_t>* sizes = extras.sourceSizes;
  return sizes != nullptr && i < sizes->size() ? (*sizes)[i] : -1;
}

// Every file the destination folder completes, told to the observer and
// to the search among the folder's files.
void observe(platform::DestinationFolder& destination, const std::string& folder,
             TransferObserver* observer, IdenticalSearch* search) {
  if (observer == nullptr && search == nullptr) return;
  destination.onTransferred([&folder, observer, search](const platform::TransferredFile& f) {
    if (search != nullptr) search->completed(f.source, f.name, f.size);
    if (observer == nullptr) return;
    observer->fileTransferred(
        TransferredFile{f.copied ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved,
                        f.source, folder + f.name, f.size, static_cast<int64_t>(f.modified.tv_sec),
                        static_cast<int32_t>(f.modified.tv_nsec), f.device, f.inode});
  });
}

}  // namespace

bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer) {
  return mMoveFile(sources, options, MoveExtras{.observer = observer}, nullptr);
}

bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               const MoveExtras& extras, MoveFailure* failure) {
  MoveFailure stopped;
  // Notes where the run stopped, then takes the failure path.
  const auto stopAt = [&stopped](const std::string& path, int32_t number, int error) {
    stopped = {path, number, error};
    common::fail(number);
  };
  const bool done = common::guardLog("mMoveFile", false, [&] {
    if (sources.empty()) return true;
    const std::string folder = common::gAddBackslash(options.receiveDir);
    // The folder the user chose, for the whole run: never re-created or
    // followed elsewhere if it changes meanwhile.
    platform::DestinationFolder destination;
    if (const platform::OsError e = destination.open(options.receiveDir))
      stopAt(options.receiveDir, common::errorNumberFromErrno(e.code()), e.code());
    IdenticalFiles identical;
    if (extras.skipIdentical) {
      if (const platform::OsError e = identical.open(options.receiveDir))
        stopAt(options.receiveDir, common::errorNumberFromErrno(e.code()), e.code());
    }
    IdenticalSearch search(identical, folder);
    observe(destination, folder, extras.observer, extras.skipIdentical ? &search : nullptr);

    NamePlanner planner(options, runState().serialNumber, extras.stamps);
    int32_t nameFailure = 0;
    int failure = 0;
    const std::string* failedSource = nullptr;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const std::string& source = sources[i];
      int64_t size = -1;
      if (extras.skipIdentical) {
        const std::string same = search.find(source, knownSize(extras, i), &size);
        if (!same.empty()) {
          if (extras.observer != nullptr) extras.observer->fileSkipped(source, same);
          continue;
        }
        search.handing(source);
      }
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
      const bool transferred = options.copyFiles ? copyFileInto(destination, source, names, &error)
                                                 : moveFileInto(destination, source, names, &error);
      if (!transferred) {
        failure = error ? error : EIO;
        failedSource = &source;
        break;
      }
      if (extras.skipIdentical) search.handedOver(size);
      if (options.slowly) pause500();
    }
    // The files copied so far are settled before any failure is reported.
    const platform::OsError settled = destination.settle();
    const std::string& path = failedSource ? *failedSource : options.receiveDir;
    if (nameFailure != 0) stopAt(path, nameFailure, 0);
    if (failure != 0) stopAt(path, common::errorNumberFromErrno(failure), failure);
    if (settled) {
      stopAt(settled.path().empty() ? options.receiveDir : settled.path(),
             common::errorNumberFromErrno(settled.code()), settled.code());
    }
    return true;
  });
  if (!done && failure != nullptr) *failure = stopped;
  return done;
}

bool planTransfers(const std::vector<std::string>& sources, const TransferOptions& options,
                   const MoveExtras& extras, std::vector<PlannedFile>& plan) {
  return common::guardLog("planTransfers", false, [&] {
    plan.clear();
    plan.reserve(sources.size());
    const std::string folder = common::gAddBackslash(options.receiveDir);
    int32_t serialNumber = runState().serialNumber;
    NamePlanner planner(options, serialNumber, extras.stamps);
    IdenticalFiles identical;
    if (extras.skipIdentical) {
      if (const platform::OsError e = identical.open(options.receiveDir))
        common::fail(common::errorNumberFromErrno(e.code()));
    }
    std::unordered_set<std::string> planned;
    std::unordered_map<std::string, std::string> plannedFrom;  // source: its new name
    IdenticalSearch search(identical, folder);
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const std::string& source = sources[i];
      int64_t size = -1;
      if (extras.skipIdentical) {
        std::string same = search.find(source, knownSize(extras, i), &size);
        if (const auto earlier = plannedFrom.find(same); earlier != plannedFrom.end())
          same = folder + earlier->second;
        if (!same.empty()) {
          plan.push_back({PlannedFile::Action::SkipIdentical, source, std::move(same)});
          continue;
        }
      }
      // As the destination folder tries names: anything at a name takes it.
      const NamePlanner::Names names = planner.namesFor(source);
      std::string name;
      PlannedFile::Action unnamed = PlannedFile::Action::NoFreeName;
      try {
        name = names();
        while (!name.empty() && (planned.contains(name) || platform::entryExists(folder + name)))
          name = names();
      } catch (const common::RuntimeFailure& e) {
        if (e.number() != common::err::BadFileName) throw;
        unnamed = PlannedFile::Action::NameTooLong;
      }
      if (name.empty()) {
        // The run stops at this file, as the plan does.
        plan.push_back({unnamed, source, ""});
        break;
      }
      planned.insert(name);
      // A planned file counts as in the folder already: an absolute name is
      // looked at where it is (openat leaves the folder aside).
      if (size >= 0 && source.front() == '/') {
        identical.add(source, size);
        plannedFrom.emplace(source, name);
      }
      plan.push_back({PlannedFile::Action::Transfer, source, std::move(name)});
    }
    return true;
  });
}

}  // namespace msifter::engine
