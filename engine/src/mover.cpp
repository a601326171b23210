// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mover.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "backup_copies.h"
#include "common/failure.h"
#include "common/paths.h"
#include "engine/file_groups.h"
#include "engine/identical_files.h"
#include "engine/name_planner.h"
#include "engine/preview.h"
#include "engine/time_helpers.h"
#include "group_lookups.h"
#include "platform/destination_folder.h"
#include "platform/directory.h"
#include "platform/file_identity.h"
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
      platform::FileIdentity look;
      if (platform::identityOf(source, look) || !look.isFile()) return {};
      *size = look.size;
    }
    return named(identical_.findIdentical(source, *size));
  }

  // A file planned for the folder counts as in it from then on: by its
  // source until it has a name there (an absolute name is looked at where
  // it is, as openat leaves the folder aside), then by its name.
  void planned(const std::string& source, int64_t size) {
    if (size >= 0 && !source.empty() && source.front() == '/') identical_.add(source, size);
  }
  void named(const std::string& name, int64_t size) { identical_.add(name, size); }

 private:
  // A name in the folder as a full path; a file of the run still at its
  // source is known by its full path already.
  std::string named(std::string name) const {
    if (name.empty() || name.front() == '/') return name;
    return folder_ + name;
  }

  IdenticalFiles& identical_;
  const std::string& folder_;
};

// The length the search found for source `i`; -1 when it was not kept.
int64_t knownSize(const MoveExtras& extras, std::size_t i) {
  if (const std::vector<FoundFile>* files = extras.sourceFiles;
      files != nullptr && i < files->size())
    return (*files)[i].size;
  const std::vector<int64_t>* sizes = extras.sourceSizes;
  return sizes != nullptr && i < sizes->size() ? (*sizes)[i] : -1;
}

// A group of files is planned and recorded before any of them is touched:
// one flush of the journal a group. The bounds keep the moment in a file's
// date-time name near the moment of its transfer: a group of renames within
// one file system passes in a fraction of a second, one with files to copy
// ends sooner.
constexpr std::size_t kGroupRenames = 16384;
constexpr std::size_t kGroupFiles = 4096;
constexpr int64_t kGroupCopyBytes = int64_t{32} << 20;

// A group of planned files, kept until each of them is complete: their
// intents as recorded, and the names each may take after its planned one.
struct Group {
  std::vector<TransferIntent> intents;
  std::vector<std::string> folders;  // to be made before its files go, top first
  // The same in the backup folder, which the backup's copies make as they go.
  std::vector<std::string> backupFolders;
  std::vector<std::string> names;  // planned, until handed out
  std::vector<NamePlanner::Names> more;
  std::vector<char> asked;  // the planned name was handed out
  std::vector<char> done;
  std::size_t left = 0;
};

// Where planning stopped before the end of the list.
struct PlanStop {
  std::size_t index = 0;
  int32_t number = 0;
  int error = 0;
  std::string folder;  // below the destination, when it is the folder that failed
};

// One run of mMoveFile: planning, transfers and their completions.
class Transfers {
 public:
  Transfers(const std::vector<std::string>& sources, const TransferOptions& options,
            const MoveExtras& extras)
      : sources_(sources),
        options_(options),
        extras_(extras),
        folder_(common::gAddBackslash(options.receiveDir)),
        planner_(options, extras.serialNumber ? *extras.serialNumber : ownSerial_, extras.stamps),
        search_(identical_, folder_),
        lookups_(
            sources, planner_.groups(),
            [this](const std::string& source, int64_t known, int64_t& size) {
              return search_.find(source, known, &size);
            },
            [this](std::size_t i) { return knownSize(extras_, i); }),
        found_(extras.sourceFiles != nullptr && extras.sourceFiles->size() == sources.size()
                   ? extras.sourceFiles
                   : nullptr) {
    if (extras.groups)
      planner_.useGroups(sources,
                         [this](const std::string& name) { return destination_.taken(name); });
  }

  void run();
  const MoveFailure& failure() const { return stopped_; }

 private:
  void open();
  bool planGroup(std::size_t& next, Group& group, std::optional<PlanStop>& stop);
  bool plan(std::size_t i, Group& group, std::optional<PlanStop>& stop);
  bool skipped(std::size_t i, int64_t& size);
  platform::OsError folderFor(const std::string& name, Group& group);
  void backupFolderFor(const std::string& folder, Group& group);
  bool makeFolders(Group& group);
  bool identify(std::size_t i, FoundFile& look, bool& isFolder);
  void tellFileSystem(const std::string& source, uint64_t device);
  bool transferGroup(Group& group);
  bool backupsAhead(Group& group, std::size_t& failed);
  bool transfer(Group& group, std::size_t i);
  std::string nextName(int64_t number);
  std::pair<Group*, std::size_t> find(int64_t number);
  void completed(const platform::TransferredFile& f);
  void tellLeft();
  [[noreturn]] void stopAt(const std::string& path, int32_t number, int error);
  void stopAfterFailure(const std::string& source, int error);

  const std::vector<std::string>& sources_;
  const TransferOptions& options_;
  const MoveExtras& extras_;
  const std::string folder_;
  int32_t ownSerial_ = 0;
  NamePlanner planner_;
  IdenticalFiles identical_;
  IdenticalSearch search_;
  GroupLookups lookups_;
  // The search's look at each source, when it saw every one of the list.
  const std::vector<FoundFile>* found_;
  platform::SourceTree looks_;  // where sources are looked at as they are planned
  platform::SourceTree tree_;   // outlives the destination folder, which reaches sources through it
  BackupCopies backup_;  // outlives the destination folder, which makes the copies through it
  platform::DestinationFolder destination_;
  // Folders below the destination that are there, or planned to be made.
  std::unordered_set<std::string> readyFolders_;
  std::unordered_set<std::string> readyBackupFolders_;
  dev_t destinationDevice_ = 0;
  int64_t nextNumber_ = 0;
  // Groups with files not complete yet, oldest first: their files' places
  // stay put while names are asked for and completions come.
  std::deque<Group> groups_;
  std::set<uint64_t> toldDevices_;
  uint64_t lastToldDevice_ = 0;
  int32_t nameFailure_ = 0;
  int journalFailure_ = 0;
  MoveFailure stopped_;
  TransferredFile told_;
};

void Transfers::stopAt(const std::string& path, int32_t number, int error) {
  stopped_.path = path;
  stopped_.number = number;
  stopped_.error = error;
  common::fail(number);
}

void Transfers::open() {
  // The folder the user chose, for the whole run: never re-created or
  // followed elsewhere if it changes meanwhile.
  if (const platform::OsError e = destination_.open(options_.receiveDir))
    stopAt(options_.receiveDir, common::errorNumberFromErrno(e.code()), e.code());
  if (platform::FileIdentity folder; !platform::identityOf(options_.receiveDir, folder))
    destinationDevice_ = folder.device;
  // The tree the search listed: no source is reached any other way.
  if (const platform::OsError e = tree_.open(options_.serverDir))
    stopAt(options_.serverDir, common::errorNumberFromErrno(e.code()), e.code());
  destination_.takeSourcesFrom(tree_);
  if (!options_.backupDir.empty()) {
    if (const platform::OsError e = backup_.open(options_.receiveDir, options_.backupDir)) {
      stopped_.backup = true;
      stopAt(options_.backupDir, common::errorNumberFromErrno(e.code()), e.code());
    }
    destination_.keepSecondCopies(&backup_);
  }
  if (extras_.skipIdentical) {
    if (const platform::OsError e = identical_.open(options_.receiveDir))
      stopAt(options_.receiveDir, common::errorNumberFromErrno(e.code()), e.code());
  }
  destination_.onTransferred([this](const platform::TransferredFile& f) { completed(f); });
  if (extras_.skipIdentical) {
    destination_.onNamed([this](int64_t number, const std::string& name) {
      if (const auto [group, i] = find(number); group != nullptr)
        search_.named(name, group->intents[i].size);
    });
  }
}

// The group and place of planned file `number`; completions come mostly for
// the oldest group.
std::pair<Group*, std::size_t> Transfers::find(int64_t number) {
  for (Group& group : groups_) {
    const int64_t first = group.intents.front().number;
    if (number >= first && number < first + static_cast<int64_t>(group.intents.size()))
      return {&group, static_cast<std::size_t>(number - first)};
  }
  return {nullptr, 0};
}

void Transfers::completed(const platform::TransferredFile& f) {
  const auto [group, i] = find(f.tag);
  if (group != nullptr && !group->done[i]) {
    group->done[i] = 1;
    --group->left;
  }
  BackupCopy backup;
  const bool backedUp = backup_.takeMade(f.tag, backup);
  if (extras_.observer == nullptr) return;
  // One record, its texts' room kept from file to file.
  TransferredFile& told = told_;
  told.kind = f.copied ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved;
  told.source.assign(f.source);
  told.destination.assign(folder_).append(f.name);
  told.size = f.size;
  told.modifiedSeconds = static_cast<int64_t>(f.modified.tv_sec);
  told.modifiedNanoseconds = static_cast<int32_t>(f.modified.tv_nsec);
  told.device = f.device;
  told.inode = f.inode;
  told.number = f.tag;
  told.asIntended = group != nullptr && group->intents[i].source == told.source &&
                    group->intents[i].destination == told.destination;
  extras_.observer->fileTransferred(told);
  if (backedUp) extras_.observer->fileBackedUp(f.tag, backup);
}

// Source `i` as its transfer will find it: a copy follows a link (one that
// leads nowhere is copied as the link itself), a move takes the link. The
// search's own look where it saw that; else a look from the source's folder
// beneath the run's source, kept open while the list stays in it. False
// when it cannot be looked at (its transfer then says why).
bool Transfers::identify(std::size_t i, FoundFile& look, bool& isFolder) {
  isFolder = false;
  const std::string& source = sources_[i];
  if (found_ != nullptr && (*found_)[i].known) {
    look = (*found_)[i];
    tellFileSystem(source, look.device);
    return true;
  }
  // A tree of its own: the transfer opens each folder anew at its turn, so a
  // folder swapped for a link after this look is seen there.
  if (!looks_.isOpen() && looks_.open(options_.serverDir)) return false;
  platform::SourceFile file;
  if (looks_.reach(source, file)) return false;
  using platform::LastLink;
  platform::FileIdentity seen;
  platform::OsError e;
  if (options_.copyFiles) e = platform::lookAt(file.at(), file.name, LastLink::Follow, seen);
  if (!options_.copyFiles || e.code() == ENOENT)
    e = platform::lookAt(file.at(), file.name, LastLink::Refuse, seen);
  if (e) return false;
  look =
      FoundFile{seen.size,   seen.modifiedSeconds, static_cast<int32_t>(seen.modifiedNanoseconds),
                seen.device, seen.inode,           true};
  isFolder = seen.isFolder();
  tellFileSystem(source, look.device);
  return true;
}

// The root of the file system that holds `source`, told once for each file
// system: the highest folder above it on the same device.
void Transfers::tellFileSystem(const std::string& source, uint64_t device) {
  if (extras_.observer == nullptr || device == lastToldDevice_) return;
  lastToldDevice_ = device;
  if (!toldDevices_.insert(device).second) return;
  const auto last = source.find_last_of('/');
  std::string root =
      last == std::string::npos ? "." : source.substr(0, std::max<std::size_t>(last, 1));
  while (root.size() > 1) {
    const auto slash = root.find_last_of('/');
    const std::string above = slash == 0 ? "/" : root.substr(0, slash);
    platform::FileIdentity up;
    if (slash == std::string::npos || platform::identityOf(above, up) || up.device != device) break;
    root = above;
  }
  extras_.observer->sourceFileSystem(device, root);
}

// Plans source `i` into `group`: false when it is skipped as identical, or
// when the run must stop at it (`stop`).
bool Transfers::plan(std::size_t i, Group& group, std::optional<PlanStop>& stop) {
  const std::string& source = sources_[i];
  int64_t size = -1;
  if (skipped(i, size)) return false;
  // A source that cannot be looked at is planned without its identity:
  // its transfer then fails and says why.
  FoundFile look;
  look.size = 0;
  bool isFolder = false;
  // Listed as a file, a folder by its turn: its tree was never searched.
  if (identify(i, look, isFolder) && isFolder) {
    stop = PlanStop{i, common::errorNumberFromErrno(EISDIR), EISDIR, {}};
    return false;
  }
  std::string name;
  NamePlanner::Names more;
  try {
    more = planner_.namesFor(source, i);
    name = more();
    // As the preview names files: anything at a name takes it.
    while (!name.empty() && destination_.taken(name)) name = more();
  } catch (const common::RuntimeFailure& e) {
    stop = PlanStop{i, e.number(), 0, {}};
    return false;
  }
  if (name.empty()) {
    stop = PlanStop{i, common::errorNumberFromErrno(EEXIST), EEXIST, {}};
    return false;
  }
  if (const platform::OsError e = folderFor(name, group)) {
    // Named by the level at fault ("2024" of "2024/05/01").
    stop = PlanStop{i, common::errorNumberFromErrno(e.code()), e.code(),
                    e.path().empty() ? name.substr(0, name.rfind('/')) : e.path()};
    return false;
  }
  group.intents.push_back(TransferIntent{nextNumber_++, options_.copyFiles, source, folder_ + name,
                                         look.size, look.modifiedSeconds, look.modifiedNanoseconds,
                                         look.device, look.inode, planner_.dateSource()});
  group.names.push_back(std::move(name));
  group.more.push_back(std::move(more));
  if (extras_.skipIdentical) search_.planned(source, size >= 0 ? size : look.size);
  return true;
}

// Source `i` is left where it is: the destination holds its bytes, or the
// photos of its group stay (a sidecar); told to the observer.
bool Transfers::skipped(std::size_t i, int64_t& size) {
  if (!extras_.skipIdentical) return false;
  bool withPhoto = false;
  const std::string same = lookups_.find(i, size, withPhoto);
  if (same.empty()) return false;
  if (extras_.observer != nullptr) extras_.observer->fileSkipped(sources_[i], same);
  return true;
}

// The folder below the destination that `name` goes into is there, or is
// planned to be made with `group`; or the failure of a level that is a
// link or no folder (its path below the destination).
platform::OsError Transfers::folderFor(const std::string& name, Group& group) {
  const auto slash = name.rfind('/');
  if (slash == std::string::npos) return {};
  std::string folder = name.substr(0, slash);
  if (!options_.backupDir.empty()) backupFolderFor(folder, group);
  if (readyFolders_.contains(folder)) return {};
  std::vector<std::string> missing;
  if (platform::OsError e = destination_.missingFolders(folder, missing)) return e;
  for (std::string& level : missing) {
    if (readyFolders_.insert(level).second) group.folders.push_back(std::move(level));
  }
  readyFolders_.insert(std::move(folder));
  return {};
}

// The levels of `folder` the backup folder lacks, recorded with the group's
// so that undo takes them back too. A level the backup cannot make is told
// when its copy fails there.
void Transfers::backupFolderFor(const std::string& folder, Group& group) {
  if (readyBackupFolders_.contains(folder)) return;
  std::vector<std::string> missing;
  if (backup_.missingFolders(folder, missing)) return;
  for (std::string& level : missing) {
    if (readyBackupFolders_.insert(level).second) group.backupFolders.push_back(std::move(level));
  }
  readyBackupFolders_.insert(folder);
}

// The group's new folders, once recorded; the run stops at the first that
// cannot be made, before any of the group's files is touched.
bool Transfers::makeFolders(Group& group) {
  for (const std::string& folder : group.folders) {
    if (const platform::OsError e = destination_.makeFolders(folder)) {
      stopped_ = {
          folder_ + folder, common::errorNumberFromErrno(e.code()), e.code(), false, false, true};
      return false;
    }
  }
  return true;
}

// The next files from `next`, up to the group's bounds; false when there
// is nothing left to transfer.
bool Transfers::planGroup(std::size_t& next, Group& group, std::optional<PlanStop>& stop) {
  int64_t copyBytes = 0;
  bool copies = options_.copyFiles;
  const std::size_t most = options_.slowly ? 1 : kGroupRenames;
  // Room for a whole group of renames: copies end theirs sooner.
  group.intents.reserve(std::min(copies ? kGroupFiles : most, sources_.size() - next));
  group.names.reserve(group.intents.capacity());
  group.more.reserve(group.intents.capacity());
  while (next < sources_.size() && !stop && group.intents.size() < most &&
         !(copies && group.intents.size() >= kGroupFiles) && copyBytes < kGroupCopyBytes) {
    if (plan(next, group, stop)) {
      const TransferIntent& planned = group.intents.back();
      if (options_.copyFiles || planned.device != destinationDevice_) {
        copies = true;
        copyBytes += planned.size;
      }
    }
    if (!stop) ++next;
  }
  group.asked.assign(group.intents.size(), 0);
  group.done.assign(group.intents.size(), 0);
  group.left = group.intents.size();
  return !group.intents.empty();
}

// The names file `number` may take: the planned one, then others, each
// recorded before the file takes it.
std::string Transfers::nextName(int64_t number) {
  const auto [group, i] = find(number);
  if (group == nullptr) return {};
  TransferIntent& intent = group->intents[i];
  if (!group->asked[i]) {
    group->asked[i] = 1;
    return std::move(group->names[i]);
  }
  std::string name;
  try {
    name = group->more[i]();
  } catch (const common::RuntimeFailure& e) {
    nameFailure_ = e.number();
    return std::string();
  }
  if (name.empty()) return name;
  intent.destination = folder_ + name;
  if (extras_.observer != nullptr) {
    if (const int e = extras_.observer->fileRenamed(intent)) {
      journalFailure_ = e;
      return std::string();
    }
  }
  return name;
}

bool Transfers::transfer(Group& group, std::size_t i) {
  const std::string& source = group.intents[i].source;
  const int64_t number = group.intents[i].number;
  destination_.tagNext(number);
  const NameSource names = [this, number] { return nextName(number); };
  if (const platform::OsError e = options_.copyFiles ? gCopyFile(destination_, source, names)
                                                     : gMoveFile(destination_, source, names)) {
    stopAfterFailure(source, e.code());
    return false;
  }
  if (options_.slowly) pause500();
  return true;
}

// Notes the file a failed transfer stopped at: the one whose turn it was,
// or an earlier one of its batch.
void Transfers::stopAfterFailure(const std::string& source, int error) {
  stopped_.path = destination_.failedSource().empty() ? source : destination_.failedSource();
  stopped_.copyKept = destination_.failureKeptCopy();
  stopped_.backup = destination_.failedInSecondCopy();
  stopped_.error = error ? error : EIO;
  stopped_.number = common::errorNumberFromErrno(stopped_.error);
  if (nameFailure_ != 0) {
    stopped_.number = nameFailure_;
    stopped_.error = 0;
  }
  if (journalFailure_ != 0) {
    stopped_.unrecorded = true;
    stopped_.error = journalFailure_;
    stopped_.number = common::errorNumberFromErrno(journalFailure_);
  }
}

bool Transfers::transferGroup(Group& group) {
  if (extras_.observer != nullptr) {
    std::vector<std::string> folders;
    for (const std::string& folder : group.folders) folders.push_back(folder_ + folder);
    const std::string backupRoot = common::gAddBackslash(options_.backupDir);
    for (const std::string& folder : group.backupFolders) folders.push_back(backupRoot + folder);
    int e = folders.empty() ? 0 : extras_.observer->foldersPlanned(folders);
    if (e == 0) e = extras_.observer->filesPlanned(group.intents);
    if (e != 0) {
      stopped_ = {group.intents.front().source, common::errorNumberFromErrno(e), e, true, false};
      return false;
    }
  }
  if (!makeFolders(group)) return false;
  std::size_t ahead = group.intents.size();
  if (!backupsAhead(group, ahead)) {
    // The files before the one whose backup failed still go.
    for (std::size_t i = 0; i < ahead; ++i) {
      if (!transfer(group, i)) return false;
    }
    return false;
  }
  for (std::size_t i = 0; i < group.intents.size(); ++i) {
    if (!transfer(group, i)) return false;
  }
  return true;
}

// A move within one file system takes its source's name away as its new
// name comes: the backup of such a file is copied from its source before,
// and is on disk before any of the group's renames. False, with `failed`
// the group's file whose backup failed, when the run is to stop there.
bool Transfers::backupsAhead(Group& group, std::size_t& failed) {
  if (options_.backupDir.empty() || options_.copyFiles) return true;
  std::vector<BackupCopies::Ahead> files;
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < group.intents.size(); ++i) {
    const TransferIntent& intent = group.intents[i];
    if (intent.device != destinationDevice_) continue;
    files.push_back({intent.source, group.names[i], intent.number});
    at.push_back(i);
  }
  std::size_t made = 0;
  const platform::OsError e =
      files.empty() ? platform::OsError() : backup_.makeAhead(tree_, files, made);
  if (!e || made >= at.size()) return true;
  failed = at[made];
  stopped_.path = group.intents[failed].source;
  stopped_.error = e.code() != 0 ? e.code() : EIO;
  stopped_.number = common::errorNumberFromErrno(stopped_.error);
  // A source that could not be read fails as its move would have.
  stopped_.backup = e.path() != stopped_.path;
  return false;
}

// The files planned and not complete, told to the observer as they stand.
void Transfers::tellLeft() {
  std::vector<TransferIntent> left;
  for (const Group& group : groups_) {
    for (std::size_t i = 0; i < group.intents.size(); ++i) {
      if (!group.done[i]) left.push_back(group.intents[i]);
    }
  }
  groups_.clear();
  if (!left.empty() && extras_.observer != nullptr) extras_.observer->filesLeft(left);
}

void Transfers::run() {
  open();
  std::optional<PlanStop> stop;
  bool going = true;
  for (std::size_t next = 0; going;) {
    Group& group = groups_.emplace_back();
    if (!planGroup(next, group, stop)) {
      groups_.pop_back();
      break;
    }
    going = transferGroup(group);
    while (!groups_.empty() && groups_.front().left == 0) groups_.pop_front();
  }
  // What was handed over before a failure is settled before it is reported.
  const platform::OsError settled = destination_.settle();
  tellLeft();
  if (!going) common::fail(stopped_.number);
  if (settled) {
    const std::string& failed = destination_.failedSource();
    stopped_.copyKept = destination_.failureKeptCopy();
    stopped_.backup = destination_.failedInSecondCopy();
    stopAt(!failed.empty()          ? failed
           : settled.path().empty() ? options_.receiveDir
                                    : settled.path(),
           common::errorNumberFromErrno(settled.code()), settled.code());
  }
  if (stop) {
    stopped_.folder = !stop->folder.empty();
    stopAt(stopped_.folder ? folder_ + stop->folder : sources_[stop->index], stop->number,
           stop->error);
  }
}

}  // namespace

bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer) {
  return mMoveFile(sources, options, MoveExtras{.observer = observer}, nullptr);
}

bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               const MoveExtras& extras, MoveFailure* failure) {
  std::optional<Transfers> transfers;
  const bool done = common::guardLog("mMoveFile", false, [&] {
    if (sources.empty()) return true;
    transfers.emplace(sources, options, extras);
    transfers->run();
    return true;
  });
  if (!done && failure != nullptr && transfers) *failure = transfers->failure();
  return done;
}

bool planTransfers(const std::vector<std::string>& sources, const TransferOptions& options,
                   const MoveExtras& extras, std::vector<PlannedFile>& plan) {
  return common::guardLog("planTransfers", false, [&] {
    plan.clear();
    plan.reserve(sources.size());
    Preview preview(options, extras);
    if (extras.groups) {
      preview.useGroups(sources, [&extras](std::size_t i) { return knownSize(extras, i); });
      for (std::size_t i = 0; i < sources.size() && !preview.ended(); ++i)
        plan.push_back(preview.plan(i));
      return true;
    }
    for (std::size_t i = 0; i < sources.size() && !preview.ended(); ++i)
      plan.push_back(preview.plan(sources[i], knownSize(extras, i)));
    return true;
  });
}

}  // namespace msifter::engine
