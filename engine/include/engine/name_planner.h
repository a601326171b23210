#pragma once
// The new names of a run's files: a prefix (a date-time stamp with its
// counter, or a serial number), "_", the file's own name and its extension.
// The mover and the command line's preview both name files here, so that a
// preview shows what a run does.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <unordered_map>

#include "engine/transfer_options.h"

namespace msifter::engine {

// The moment a file is named by when it is not the moment of its transfer:
// the command line reads when a photo was taken (the engine reads no
// metadata).
class StampSource {
 public:
  virtual ~StampSource() = default;
  // Local date and time; asked once per file, when its turn comes.
  virtual std::tm stampOf(const std::string& source) = 0;
};

// Names the files of one run, in the run's order.
class NamePlanner {
 public:
  // The next name to try; "" when none is left. May throw RuntimeFailure.
  using Names = std::function<std::string()>;

  // Every serial prefix handed out advances `serialNumber`. Without
  // `stamps`, date-time names take the moment each name is asked for.
  // Names fit the file-name limit of options.receiveDir's file system,
  // 255 bytes at most.
  NamePlanner(const TransferOptions& options, int32_t& serialNumber, StampSource* stamps = nullptr);

  // The names `source` may take, best first. Every name handed out uses
  // its number up, also when it turns out to be taken. Valid while the
  // planner lives. A name too long for the limit keeps its prefix and
  // extension and loses the end of the file's own name; when even the
  // prefix and the extension do not fit, asking for a name throws
  // RuntimeFailure with err::BadFileName.
  Names namesFor(const std::string& source);

 private:
  std::string fitted(const std::string& prefix, const std::string& base,
                     const std::string& dotExt) const;
  std::string serialPrefix();
  std::string transferPrefix();
  std::string stampPrefix(const std::string& stamp);
  const std::string& transferStamp();

  RenameMethod method_;
  bool extFix_;
  int32_t& serialNumber_;
  StampSource* stamps_;
  std::size_t nameLimit_;
  // Moment of the transfer: the stamp of the name before and its counter.
  std::time_t clockTime_ = 0;
  std::string clockStamp_;
  std::string lastStamp_;
  int32_t sameStampCount_ = 0;
  // Another moment: names handed out per stamp in this run, since files
  // that share one need not come one after the other.
  std::unordered_map<std::string, int32_t> stampCounts_;
};

}  // namespace msifter::engine
