#include "engine/undo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/recorded_file.h"
#include "journal_file.h"
#include "objects/file_operation.h"
#include "platform/destination_folder.h"
#include "platform/file_system.h"
#include "undo_confinement.h"

namespace msifter::engine {

namespace {

using platform::syscalls;

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
  struct stat st {};
  return syscalls().stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Folders are made again only below the run's source folder, and only while
// that is there: a card that is not mounted must not be filled in on the
// disk under its mount point.
bool folderReady(const std::string& folder, const std::string& sourceRoot) {
  if (isFolder(folder)) return true;
  return folder.size() > sourceRoot.size() && folder.starts_with(sourceRoot) &&
         folder[sourceRoot.size()] == '/' && isFolder(sourceRoot);
}

// Reads up to `size` bytes of `fd` into `buffer`; the count read.
std::size_t readUpTo(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = syscalls().read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// The two files hold the same bytes. A copy is removed only then: an edit
// that kept its size and time is still an edit.
bool sameBytes(const std::string& a, const std::string& b) {
  const platform::UniqueFd fa(syscalls().open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  const platform::UniqueFd fb(syscalls().open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!fa.valid() || !fb.valid()) return false;
  constexpr std::size_t kChunk = 1 << 16;
  std::vector<char> x(kChunk), y(kChunk);
  for (;;) {
    const std::size_t n = readUpTo(fa.get(), x.data(), kChunk);
    if (n != readUpTo(fb.get(), y.data(), kChunk) ||
        !std::equal(x.begin(), x.begin() + n, y.begin()))
      return false;
    if (n < kChunk) return true;
  }
}

// Why an entry cannot be undone now; nothing when it can.
std::optional<Refusal> refusal(const TransferredFile& f, const std::string& sourceRoot,
                               const std::string& destinationRoot) {
  if (const int e = detail::confinementError(f, sourceRoot, destinationRoot))
    return Refusal{e == EXDEV || e == ELOOP ? UndoOutcome::Outside : UndoOutcome::Failed, e};
  struct stat now {};
  if (syscalls().lstat(f.destination.c_str(), &now) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Refusal{UndoOutcome::Missing};
    return Refusal{UndoOutcome::Failed, errno};
  }
  if (!isRecordedFile(f.destination, now, f)) return Refusal{UndoOutcome::Changed};
  struct stat old {};
  if (f.kind == TransferredFile::Kind::Copied) {
    // Removing the copy of a file that is gone from its source, or changed
    // there, or that now leads to the copy itself (a link put in its place),
    // would lose the only copy of what was copied.
    const bool original = S_ISLNK(now.st_mode)
                              ? syscalls().lstat(f.source.c_str(), &old) == 0
                              : syscalls().stat(f.source.c_str(), &old) == 0 &&
                                    S_ISREG(old.st_mode) && old.st_size == f.size &&
                                    hasRecordedTime(f.source, old, f) &&
                                    !(old.st_dev == now.st_dev && old.st_ino == now.st_ino);
    if (!original) return Refusal{UndoOutcome::OriginalMissing};
    if (S_ISREG(now.st_mode) && !sameBytes(f.destination, f.source))
      return Refusal{UndoOutcome::Changed};
    return std::nullopt;
  }
  if (syscalls().lstat(f.source.c_str(), &old) == 0) return Refusal{UndoOutcome::NameTaken};
  if (errno != ENOENT) return Refusal{UndoOutcome::Failed, errno};
  if (!folderReady(folderOf(f.source), sourceRoot)) return Refusal{UndoOutcome::FolderMissing};
  return std::nullopt;
}

class Undo {
 public:
  Undo(UndoReport& report, detail::JournalFile* marks) : report_(report), marks_(marks) {
    sourceRoot_ = report.run.options.serverDir;
    while (sourceRoot_.size() > 1 && sourceRoot_.back() == '/') sourceRoot_.pop_back();
  }

  void entry(const JournalEntry& e) {
    report_.items.push_back(UndoItem{e, UndoOutcome::Failed, 0});
    UndoItem& item = report_.items.back();
    if (e.undone) {
      item.outcome = UndoOutcome::AlreadyUndone;
    } else if (const auto no = refusal(e.file, sourceRoot_, report_.run.options.receiveDir)) {
      item.outcome = no->outcome;
      item.error = no->error;
    } else if (marks_ == nullptr) {
      item.outcome = UndoOutcome::WouldUndo;
    } else if (e.file.kind == TransferredFile::Kind::Copied) {
      removeCopy(report_.items.size() - 1);
    } else {
      moveBack(report_.items.size() - 1);
    }
  }

  // Every move back reaches its end; the marks reach the disk.
  void finish() {
    settle();
    if (marks_ != nullptr) {
      if (const int e = marks_->close(); e != 0 && report_.markError == 0) report_.markError = e;
    }
  }

 private:
  // The file itself only: clsFileOperation::Delete would take a whole
  // folder tree had one been put at that path by now.
  void removeCopy(std::size_t index) {
    UndoItem& item = report_.items[index];
    if (syscalls().unlink(item.entry.file.destination.c_str()) != 0) {
      item.error = errno;
      return;
    }
    undone(index);
  }

  // Through the run's own file operation: a move back between file systems
  // copies whole and flushes before the file at the new path goes. Files
  // going back to one folder share its batch.
  void moveBack(std::size_t index) {
    const TransferredFile& f = report_.items[index].entry.file;
    const std::string folder = folderOf(f.source);
    if (!folder_ || folder != folderPath_) {
      settle();
      folder_ = std::make_unique<platform::DestinationFolder>();
      int e = platform::makeFolders(folder, 0777).code();
      if (e == 0) e = folder_->open(folder).code();
      if (e != 0) {
        folder_.reset();
        report_.items[index].error = e;
        return;
      }
      folderPath_ = folder;
      folder_->onTransferred([this](const platform::TransferredFile& back) {
        const auto it = waiting_.find(back.source);
        if (it == waiting_.end()) return;
        undone(it->second);
        waiting_.erase(it);
      });
    }
    waiting_[f.destination] = index;
    objects::clsFileOperation operation;
    if (operation.MoveInto(*folder_, f.destination, platform::onlyName(nameOf(f.source)))) return;
    waiting_.erase(f.destination);
    UndoItem& item = report_.items[index];
    if (operation.TargetExisted()) {
      item.outcome = UndoOutcome::NameTaken;
    } else {
      item.error = operation.LastResult();
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
    // After a failed mark the rest would only add damaged lines.
    if (report_.markError != 0) return;
    report_.markError = marks_->append(detail::undoneLine(item.entry.number));
  }

  UndoReport& report_;
  detail::JournalFile* marks_;
  std::string sourceRoot_;
  std::unique_ptr<platform::DestinationFolder> folder_;
  std::string folderPath_;
  std::unordered_map<std::string, std::size_t> waiting_;  // new path -> item
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
    if (run.wholeLines != run.size && syscalls().ftruncate(run.fd.get(), run.wholeLines) != 0) {
      report.status = UndoStatus::Unreadable;
      report.error = errno;
      return report;
    }
    marks = std::make_unique<detail::JournalFile>(std::move(run.fd), run.wholeLines, false);
  }
  Undo undo(report, marks.get());
  const std::vector<JournalEntry>& entries = run.record.entries;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) undo.entry(*it);
  undo.finish();
  return report;
}

}  // namespace msifter::engine
