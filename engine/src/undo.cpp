// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/undo.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "engine/recorded_file.h"
#include "journal_file.h"
#include "objects/file_operation.h"
#include "platform/destination_folder.h"
#include "platform/file_identity.h"
#include "platform/own_files.h"
#include "platform/source_tree.h"
#include "undo_confinement.h"
#include "undo_folders.h"

namespace msifter::engine {

namespace {

using platform::FileIdentity;
using platform::LastLink;

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

struct Refusal {
  UndoOutcome outcome;
  int error = 0;
};

bool isFolder(const std::string& path) {
  FileIdentity look;
  return !platform::identityOf(path, look) && look.isFolder();
}

// Folders are made again only below the run's source folder, and only while
// that is there: a card that is not mounted must not be filled in on the
// disk under its mount point.
bool folderReady(const std::string& folder, const std::string& sourceRoot) {
  if (isFolder(folder)) return true;
  return folder.size() > sourceRoot.size() && folder.starts_with(sourceRoot) &&
         folder[sourceRoot.size()] == '/' && isFolder(sourceRoot);
}

// Why an entry cannot be undone now; nothing when it can.
std::optional<Refusal> refusal(const TransferredFile& f, const std::string& sourceRoot,
                               const std::string& destinationRoot) {
  if (const int e = detail::confinementError(f, sourceRoot, destinationRoot))
    return Refusal{e == EXDEV || e == ELOOP ? UndoOutcome::Outside : UndoOutcome::Failed, e};
  FileIdentity now;
  if (const platform::OsError e = platform::identityOf(f.destination, LastLink::Refuse, now)) {
    if (e.nothingThere()) return Refusal{UndoOutcome::Missing};
    return Refusal{UndoOutcome::Failed, e.code()};
  }
  if (!isRecordedFile(f.destination, now, f)) return Refusal{UndoOutcome::Changed};
  FileIdentity old;
  if (f.kind == TransferredFile::Kind::Copied) {
    // Removing the copy of a file that is gone from its source, or changed
    // there, or that now leads to the copy itself (a link put in its place),
    // would lose the only copy of what was copied.
    const bool original =
        now.isLink() ? !platform::identityOf(f.source, LastLink::Refuse, old)
                     : !platform::identityOf(f.source, old) && old.isFile() && old.size == f.size &&
                           hasRecordedTime(f.source, old, f) && !old.sameFile(now);
    if (!original) return Refusal{UndoOutcome::OriginalMissing};
    if (now.isFile() && !detail::sameBytes(f.destination, f.source))
      return Refusal{UndoOutcome::Changed};
    return std::nullopt;
  }
  if (const platform::OsError e = platform::identityOf(f.source, LastLink::Refuse, old); !e)
    return Refusal{UndoOutcome::NameTaken};
  else if (e.code() != ENOENT)
    return Refusal{UndoOutcome::Failed, e.code()};
  if (!folderReady(folderOf(f.source), sourceRoot)) return Refusal{UndoOutcome::FolderMissing};
  return std::nullopt;
}

// Entries are undone in groups: their "undoing" lines are on disk before
// any of their files is touched, their "undone" lines follow once the files
// are back on disk.
constexpr std::size_t kGroupEntries = 4096;

class Undo {
 public:
  Undo(UndoReport& report, detail::JournalFile* marks, const detail::MountRoots& mounts)
      : report_(report), marks_(marks), mounts_(mounts) {
    sourceRoot_ = report.run.options.serverDir;
    while (sourceRoot_.size() > 1 && sourceRoot_.back() == '/') sourceRoot_.pop_back();
  }

  // The entries, last file of the run first.
  void entries(const std::vector<JournalEntry>& all) {
    for (std::size_t end = all.size(); end > 0;) {
      const std::size_t begin = end > kGroupEntries ? end - kGroupEntries : 0;
      group(std::vector<JournalEntry>(all.rend() - static_cast<std::ptrdiff_t>(end),
                                      all.rend() - static_cast<std::ptrdiff_t>(begin)));
      end = begin;
    }
  }

  // Every move back reaches its end; the marks reach the disk, and the
  // journal is closed when nothing is left open.
  void finish() {
    if (marks_ == nullptr) return;
    flushBackupRemovals();
    if (!pending_) marks_->add(detail::kClosedLine);
    if (const int e = marks_->finish(); e != 0 && report_.markError == 0) report_.markError = e;
  }

 private:
  void group(const std::vector<JournalEntry>& entries) {
    const std::size_t first = report_.items.size();
    std::vector<std::size_t> toUndo;
    for (const JournalEntry& e : entries) {
      if (look(e)) toUndo.push_back(report_.items.size() - 1);
    }
    if (toUndo.empty()) {
      flushBackupRemovals();
      return;
    }
    for (const std::size_t index : toUndo) marks_->add(detail::undoingLine(items(index).number));
    if (const int e = marks_->sync()) {
      // Nothing is undone without its record.
      if (report_.markError == 0) report_.markError = e;
      for (const std::size_t index : toUndo) report_.items[index].error = e;
      return;
    }
    for (const std::size_t index : toUndo) {
      if (report_.items[index].entry.file.kind == TransferredFile::Kind::Copied) {
        removeCopy(index);
      } else {
        moveBack(index);
      }
    }
    settle();
    flushRemovals();
    flushBackupRemovals();
    // What did not come back is looked at, and said so.
    for (std::size_t index = first; index < report_.items.size(); ++index) {
      UndoItem& item = report_.items[index];
      const bool notBack =
          item.outcome == UndoOutcome::Failed || item.outcome == UndoOutcome::Outside;
      if (!notBack || item.entry.undone || !tried_.contains(index)) continue;
      const std::string line = detail::settleUndoing(item.entry, mounts_, sourceRoot_);
      pending_ |= line.empty();
      marks_->add(line);
    }
    tried_.clear();
  }

  const JournalEntry& items(std::size_t index) const { return report_.items[index].entry; }

  // Decides about one entry; true when it is to be undone now.
  bool look(const JournalEntry& e) {
    report_.items.push_back(UndoItem{e, UndoOutcome::Failed, 0});
    UndoItem& item = report_.items.back();
    if (e.undone) {
      item.outcome = UndoOutcome::AlreadyUndone;
      // An undo cut short between a file and its backup.
      removeBackup(e);
    } else if (const auto no = refusal(e.file, sourceRoot_, report_.run.options.receiveDir)) {
      item.outcome = no->outcome;
      item.error = no->error;
    } else if (marks_ == nullptr) {
      item.outcome = UndoOutcome::WouldUndo;
    } else {
      tried_.insert(report_.items.size() - 1);
      return true;
    }
    return false;
  }

  // Why an entry that passed its checks was not undone: its act was refused
  // as its checks would refuse it now (a folder swapped for a link since,
  // or a path that leaves the run's folders), or the system refused it.
  void refused(std::size_t index, int error) {
    UndoItem& item = report_.items[index];
    item.error = error;
    if (error == ELOOP || error == EXDEV) item.outcome = UndoOutcome::Outside;
  }

  // The run's folders, as recorded, opened once: every act goes through
  // folders opened beneath them, never through a link.
  int openTrees() {
    if (!sources_.isOpen()) {
      if (const platform::OsError e = sources_.open(sourceRoot_)) return e.code();
    }
    if (!destinations_.isOpen()) {
      if (const platform::OsError e = destinations_.open(report_.run.options.receiveDir))
        return e.code();
    }
    return 0;
  }

  // The file itself only: clsFileOperation::Delete would take a whole
  // folder tree had one been put at that path by now. Marked once the
  // removals of the group are on disk.
  void removeCopy(std::size_t index) {
    const TransferredFile& f = report_.items[index].entry.file;
    platform::SourceFile copy;
    int e = openTrees();
    if (e == 0) e = destinations_.reach(f.destination, copy).code();
    if (e == 0) e = platform::removeFileAt(copy.at(), copy.name).code();
    if (e != 0) return refused(index, e);
    if (copy.folder != lastRemovedFrom_) {
      lastRemovedFrom_ = copy.folder;
      FileIdentity folder;
      if (const platform::OsError looked = platform::identityOfOpen(copy.at(), folder))
        return refused(index, looked.code());
      removedFrom_[folderOf(f.destination)] = folder;
    }
    removed_.push_back(index);
  }

  // Each folder copies were removed from, flushed through its path while
  // the path still names the folder they were removed from.
  void flushRemovals() {
    int error = 0;
    for (const auto& [folder, identity] : removedFrom_) {
      if (const platform::OsError e = platform::syncSameFolder(folder, identity)) error = e.code();
    }
    for (const std::size_t index : removed_) {
      if (error == 0) {
        undone(index);
      } else {
        report_.items[index].error = error;
      }
    }
    removed_.clear();
    removedFrom_.clear();
    lastRemovedFrom_.reset();
  }

  // Through the run's own file operation: a move back between file systems
  // copies whole and flushes before the file at the new path goes. Files
  // going back to one folder share its batch. The folder is opened (made
  // again where it is missing) beneath the run's source, the file taken
  // from its folder beneath the run's destination.
  void moveBack(std::size_t index) {
    const TransferredFile& f = report_.items[index].entry.file;
    const std::string folder = folderOf(f.source);
    if (!folder_ || folder != folderPath_) {
      settle();
      platform::UniqueFd opened;
      int e = openTrees();
      if (e == 0) e = sources_.makeFolderOf(f.source, 0777, opened).code();
      auto back = std::make_unique<platform::DestinationFolder>();
      if (e == 0) e = back->open(std::move(opened), folder).code();
      if (e != 0) return refused(index, e);
      folder_ = std::move(back);
      folderPath_ = folder;
      folder_->takeSourcesFrom(destinations_);
      folder_->onTransferred([this](const platform::TransferredFile& returned) {
        const auto it = waiting_.find(std::string(returned.source));
        if (it == waiting_.end()) return;
        undone(it->second);
        waiting_.erase(it);
      });
    }
    waiting_[f.destination] = index;
    objects::clsFileOperation operation;
    const platform::OsError e =
        operation.MoveInto(*folder_, f.destination, platform::onlyName(nameOf(f.source)));
    if (!e) return;
    waiting_.erase(f.destination);
    if (e.nameTaken()) {
      report_.items[index].outcome = UndoOutcome::NameTaken;
    } else {
      refused(index, e.code());
    }
  }

  // Moves still in the folder's batch are settled; what it did not finish
  // failed and stays at its new path.
  void settle() {
    if (!folder_) return;
    const int e = folder_->settle().code();
    for (const auto& [path, index] : waiting_) report_.items[index].error = e != 0 ? e : EIO;
    waiting_.clear();
    folder_.reset();
  }

  void undone(std::size_t index) {
    UndoItem& item = report_.items[index];
    item.outcome = UndoOutcome::Undone;
    item.error = 0;
    marks_->add(detail::undoneLine(item.entry.number));
    removeBackup(item.entry);
  }

  // A file taken back no longer needs its backup: it goes while it is the
  // very file the run made, taken from its folder opened beneath the run's
  // backup folder, never through a link. A file not taken back keeps its
  // backup, which may be its only copy by now. Counted once on disk.
  void removeBackup(const JournalEntry& e) {
    const BackupCopy& backup = e.backup;
    const std::string& root = report_.run.options.backupDir;
    if (backup.path.empty() || marks_ == nullptr ||
        detail::backupConfinementError(backup, root) != 0)
      return;
    if (!backups_.isOpen() && backups_.open(root)) return;
    platform::SourceFile copy;
    FileIdentity now;
    if (backups_.reach(backup.path, copy) ||
        platform::lookAt(copy.at(), copy.name, LastLink::Refuse, now) ||
        now.device != backup.device || now.inode != backup.inode || now.size != e.file.size)
      return;
    FileIdentity folder;
    if (platform::identityOfOpen(copy.at(), folder) || platform::removeFileAt(copy.at(), copy.name))
      return;
    auto& removed = backupsRemovedFrom_[folderOf(backup.path)];
    removed.first = folder;
    ++removed.second;
  }

  // Each folder backups were removed from, flushed once, through its path
  // while the path still names the folder they were removed from.
  void flushBackupRemovals() {
    for (const auto& [path, removed] : backupsRemovedFrom_) {
      if (!platform::syncSameFolder(path, removed.first)) report_.backupsRemoved += removed.second;
    }
    backupsRemovedFrom_.clear();
  }

  UndoReport& report_;
  detail::JournalFile* marks_;
  const detail::MountRoots& mounts_;
  std::string sourceRoot_;
  platform::SourceTree sources_;       // the run's source folder
  platform::SourceTree destinations_;  // the run's destination folder
  platform::SourceTree backups_;       // the run's backup folder
  // Folders backups were removed from, not flushed yet: each one's identity
  // and how many went from it.
  std::map<std::string, std::pair<FileIdentity, std::size_t>> backupsRemovedFrom_;
  std::unique_ptr<platform::DestinationFolder> folder_;
  std::string folderPath_;
  std::unordered_map<std::string, std::size_t> waiting_;  // new path -> item
  std::vector<std::size_t> removed_;                      // copies removed, not on disk yet
  std::map<std::string, FileIdentity> removedFrom_;       // their folders
  std::shared_ptr<const platform::SourceFolder> lastRemovedFrom_;
  std::set<std::size_t> tried_;  // items of the group being undone
  bool pending_ = false;         // an entry whose end cannot be told yet
};

}  // namespace

std::size_t UndoReport::count(UndoOutcome outcome) const {
  return static_cast<std::size_t>(std::count_if(
      items.begin(), items.end(), [outcome](const UndoItem& i) { return i.outcome == outcome; }));
}

UndoReport undoRun(const UndoRequest& request) {
  UndoReport report;
  std::string id = request.runId;
  if (id.empty()) {
    const std::vector<RunSummary> runs = listRuns();
    if (runs.empty()) {
      report.status = UndoStatus::NoRuns;
      return report;
    }
    // A later run that transferred nothing, or one already taken back, is
    // not what "undo the last run" means.
    const auto open = std::find_if(runs.rbegin(), runs.rend(),
                                   [](const RunSummary& r) { return r.undoneFiles < r.files; });
    id = open != runs.rend() ? open->id : runs.back().id;
  }
  platform::UniqueFd folder;
  detail::OpenedRun run;
  int e = detail::openJournalFolder(false, folder);
  if (e == 0)
    e = detail::openRun(folder.get(), id,
                        request.dryRun ? detail::Access::Read : detail::Access::Undo, run);
  if (e == 0 && run.record.summary.inUse) e = EWOULDBLOCK;
  if (e != 0) {
    report.status = e == ENOENT        ? UndoStatus::NoSuchRun
                    : e == EWOULDBLOCK ? UndoStatus::InUse
                                       : UndoStatus::Unreadable;
    report.error = e;
    return report;
  }
  report.run = run.record.summary;

  std::unique_ptr<detail::JournalFile> marks;
  if (!request.dryRun) {
    // A line cut short would swallow the first mark.
    if (run.wholeLines != run.size) {
      if (const platform::OsError cut = platform::truncateFile(run.fd.get(), run.wholeLines)) {
        report.status = UndoStatus::Unreadable;
        report.error = cut.code();
        return report;
      }
    }
    marks = std::make_unique<detail::JournalFile>(run.fd.get(), run.wholeLines, false);
  }
  Undo undo(report, marks.get(), run.open.mounts);
  undo.entries(run.record.entries);
  if (!request.dryRun) {
    report.foldersRemoved =
        detail::removeEmptyMadeFolders(run.record.madeFolders, report.run.options.receiveDir);
    if (!report.run.options.backupDir.empty()) {
      for (std::string& made :
           detail::removeEmptyMadeFolders(run.record.madeFolders, report.run.options.backupDir))
        report.foldersRemoved.push_back(std::move(made));
    }
  }
  undo.finish();
  return report;
}

}  // namespace msifter::engine
