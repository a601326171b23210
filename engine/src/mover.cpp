#include "engine/mover.h"

#include <cerrno>
#include <ctime>

#include "common/case_mapping.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "common/paths.h"
#include "engine/path_pieces.h"
#include "engine/text_helpers.h"
#include "engine/time_helpers.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "transfer_helpers.h"

namespace msifter::engine {

namespace {

constexpr int32_t kMaxSameStamp = 99999;

// "YYYYMMDDHHNNSS" of the local time now; formatted once per second.
class StampClock {
 public:
  const std::string& now() {
    const std::time_t t = platform::syscalls().now();
    if (t != cachedTime_ || stamp_.empty()) {
      stamp_ = common::localStampText(t);
      cachedTime_ = t;
    }
    return stamp_;
  }

 private:
  std::time_t cachedTime_ = 0;
  std::string stamp_;
};

// Each letter to its own lower case (a full-width ＪＰＧ becomes ｊｐｇ, never
// jpg); only the ASCII "jpeg" is shortened.
std::string fixExtension(const std::string& ext) {
  std::string lower = common::lowerCase(ext);
  return lower == "jpeg" ? "jpg" : lower;
}

// The pause after each file of a slow run. It blocks the run's worker
// thread only; the window thread keeps painting on its own.
void pause500() { gProcSleep(500); }

// Hands out prefixes; every prefix handed out is used up, also when its
// name turns out to be taken.
class PrefixSource {
 public:
  explicit PrefixSource(RenameMethod method) : method_(method) {}

  std::string next() {
    if (method_ == RenameMethod::SerialNumber) {
      int32_t& serial = runState().serialNumber;
      const std::string prefix = gGetSpaceString1(std::to_string(serial), 10, "0", PadSide::Left);
      serial = serial == INT32_MAX ? 0 : serial + 1;
      return prefix;
    }
    std::string stamp = clock_.now();
    if (stamp == lastStamp_) {
      if (sameStampCount_ + 1 >= kMaxSameStamp) {
        // The counter has run out for this second: the next second starts
        // it again.
        while ((stamp = clock_.now()) == lastStamp_) {
          gProcSleep(5);
        }
        sameStampCount_ = 0;
      } else {
        ++sameStampCount_;
      }
    } else {
      sameStampCount_ = 0;
    }
    lastStamp_ = stamp;
    return stamp + "_" + gGetSpaceString1(std::to_string(sameStampCount_), 5, "0", PadSide::Left);
  }

 private:
  RenameMethod method_;
  StampClock clock_;
  std::string lastStamp_;
  int32_t sameStampCount_ = 0;
};

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

    PrefixSource prefixes(options.renameMethod);
    int32_t nameFailure = 0;
    int failure = 0;
    for (const std::string& source : sources) {
      std::string ext = gGetFileExt(source);
      if (options.extFix) ext = fixExtension(ext);
      // Without an extension the name ends without the dot.
      const std::string tail = "_" + gGetFileNameOnly(source) + (ext.empty() ? "" : "." + ext);

      // A taken name is never replaced: the next number is tried instead.
      // A move between file systems may ask only when its batch settles.
      NameSource names = [&prefixes, &nameFailure, tail, attempts = int64_t{0}]() mutable {
        try {
          if (++attempts > INT32_MAX) common::fail(common::err::FileExists);
          return prefixes.next() + tail;
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
