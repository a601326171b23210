// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The new names of a run's files: a prefix (a date-time stamp with its
// counter, or a serial number), "_", the file's own name and its extension.
// The mover and the command line's preview both name files here, so that a
// preview shows what a run does.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/file_groups.h"
#include "engine/transfer_options.h"

namespace msifter::engine {

// What gave a file's date-time name its moment: None for the moment of the
// transfer (and for serial names); the rest are the metadata a capture
// time was read from, in the words the journal and the JSON output use.
enum class DateSource { None, Exif, Xmp, Iptc, FilmHeader, FilmZoned, Modified };
struct DateSourceRow {
  DateSource source;
  const char* word;  // in the journal and in JSON
  const char* text;  // for people
};
inline constexpr DateSourceRow kDateSources[] = {
    {DateSource::None, "", ""},
    {DateSource::Exif, "exif", "EXIF"},
    {DateSource::Xmp, "xmp", "XMP"},
    {DateSource::Iptc, "iptc", "IPTC"},
    {DateSource::FilmHeader, "film-header", "動画のヘッダ"},
    {DateSource::FilmZoned, "film-zoned", "動画のタイムゾーン付きの日時"},
    {DateSource::Modified, "modified", "更新日時"},
};
const DateSourceRow& dateSourceRow(DateSource source);
std::optional<DateSource> dateSourceNamed(std::string_view word);

// The moment a file is named by when it is not the moment of its transfer:
// the command line reads when a photo was taken (the engine reads no
// metadata).
class StampSource {
 public:
  struct Stamp {
    std::tm local{};  // local date and time
    DateSource source = DateSource::None;
  };
  virtual ~StampSource() = default;
  // Asked once per file, when its turn comes.
  virtual Stamp stampOf(const std::string& source) = 0;
  // When the photo or film was taken as its own metadata says; nothing for
  // a file that says none (whose stampOf() falls back on its modification
  // time or the present moment). A group's time comes from a member that
  // has one.
  virtual std::optional<Stamp> capturedAt(const std::string& source) {
    Stamp taken = stampOf(source);
    if (taken.source == DateSource::None || taken.source == DateSource::Modified)
      return std::nullopt;
    return taken;
  }
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

  // The names `source` may take, best first, relative to the destination:
  // with a template of folders (options.folders) each name starts with its
  // file's folder ("2024/05/01/"), the same for every name of the file.
  // Every name handed out uses its number up, also when it turns out to be
  // taken. Valid while the planner lives. A name too long for the limit
  // keeps its prefix and extension and loses the end of the file's own
  // name; when even the prefix and the extension do not fit, asking for a
  // name throws RuntimeFailure with err::BadFileName.
  Names namesFor(const std::string& source);
  // Where the moment of the names of the last namesFor() came from.
  DateSource dateSource() const { return dateSource_; }

  // For a preview: a second whose numbers are used up gives way to the
  // next one at once, as the run would name files a moment later, instead
  // of waiting for the clock to reach it.
  void predictStamps() { predicting_ = true; }

  // Whether something has a name (relative to the destination) already.
  using Taken = std::function<bool(const std::string&)>;
  // Names the members of a group of `sources` alike (capture-time names
  // only): the first member named chooses a prefix under which no
  // member's name is `taken`, and the others take it when their turn comes.
  void useGroups(const std::vector<std::string>& sources, Taken taken);
  // namesFor() of source `index` of the list given to useGroups().
  Names namesFor(const std::string& source, std::size_t index);
  // The groups useGroups() found; none without it.
  const FileGroups& groups() const { return groups_; }

 private:
  struct GroupName {
    std::string folder;  // with its "/", or ""
    std::string prefix;
    DateSource source = DateSource::None;  // of the group's moment
  };
  std::string fitted(const std::string& prefix, const std::string& base,
                     const std::string& dotExt) const;
  std::string dotExtension(const std::string& source) const;
  std::string folderOf(const std::tm& when) const;
  std::string transferFolder(std::time_t t) const;
  StampSource::Stamp groupTime(std::span<const uint32_t> members);
  const GroupName& groupName(int32_t group);
  std::string serialPrefix(const std::string& folder);
  std::string transferPrefix();
  std::string stampPrefix(const std::string& stamp);
  const std::string& transferStamp(std::time_t t);

  RenameMethod method_;
  bool extFix_;
  int32_t& serialNumber_;
  StampSource* stamps_;
  DateSource dateSource_ = DateSource::None;
  std::size_t nameLimit_;
  std::string folders_;  // the template, "" for none
  // Serial numbers counted per folder, each from the run's first.
  int32_t firstSerial_;
  std::unordered_map<std::string, int32_t> serialsIn_;
  // Groups: the list, which of its files go together, the prefix each
  // group has been given.
  const std::vector<std::string>* sources_ = nullptr;
  FileGroups groups_;
  Taken taken_;
  std::unordered_map<int32_t, GroupName> groupNames_;
  // Moment of the transfer: the stamp of the name before and its counter.
  std::time_t clockTime_ = 0;
  std::string clockStamp_;
  std::string lastStamp_;
  int32_t sameStampCount_ = 0;
  bool predicting_ = false;
  std::time_t lastTime_ = 0;  // of the name before, when predicting
  // Another moment: names handed out per folder and stamp in this run,
  // since files that share one need not come one after the other.
  std::unordered_map<std::string, int32_t> stampCounts_;
};

}  // namespace msifter::engine
