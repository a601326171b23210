// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/journal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <system_error>
#include <tuple>
#include <utility>

#include "common/error_log.h"
#include "common/failure.h"
#include "journal_file.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/folders.h"
#include "platform/own_files.h"

namespace msifter::engine {

namespace {

using platform::FileIdentity;
using platform::LastLink;
using platform::LockMode;
using platform::LockWait;
using platform::OsError;
using platform::UniqueFd;

// "20240105-143000" of the local time.
std::string runStamp(std::time_t when) {
  std::tm tm{};
  if (!platform::localTime(when, tm)) return std::to_string(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

// Oldest first; runs of one second by their "-N".
auto orderKey(const RunSummary& run) {
  const auto dash = run.id.find('-', run.id.find('-') + 1);
  int64_t n = 1;
  if (dash != std::string::npos)
    std::from_chars(run.id.data() + dash + 1, run.id.data() + run.id.size(), n);
  return std::make_tuple(run.startedSeconds, run.id.substr(0, dash), n);
}

// The report of a journal that cannot be written: the error log only, never
// a dialog, and the run's own failure record stays as it was.
void logJournalFailure(const std::string& where, int error) {
  try {
    const common::ErrorRecord saved = common::currentError();
    common::raiseError(common::errorNumberFromErrno(error));
    common::gSetErrLog(
        common::buildErrorReport("writeRunJournal",
                                 where + ": " + std::generic_category().message(error)),
        "");
    common::currentError() = saved;
  } catch (...) {
  }
}

// The names of the journals in the open journals' folder, as run ids.
std::vector<std::string> journalIds(int folderFd) {
  std::vector<std::string> ids;
  platform::Directory folder;
  std::vector<std::string> names;
  if (folder.open(folderFd, ".")) return ids;
  // A listing cut short by a failure still names the journals it got to.
  static_cast<void>(folder.names(names));
  const std::string_view suffix = detail::kSuffix;
  for (const std::string_view name : names) {
    if (name.size() > suffix.size() && name.ends_with(suffix))
      ids.emplace_back(name.substr(0, name.size() - suffix.size()));
  }
  return ids;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

using FolderId = std::pair<uint64_t, uint64_t>;

// A folder and every folder above it, by identity, so that two paths to one
// folder (a link, a second mount of it) are seen as one. Empty when the
// folder itself cannot be looked at.
std::vector<FolderId> lineage(const std::string& path) {
  std::string at;
  if (platform::resolvedPath(path, at)) at = path;
  std::vector<FolderId> ids;
  for (;;) {
    FileIdentity id;
    if (!platform::identityOf(at, id)) {
      ids.emplace_back(id.device, id.inode);
    } else if (ids.empty()) {
      return ids;
    }
    if (at == "/" || at == ".") return ids;
    at = folderOf(at);
  }
}

bool pathWithin(const std::string& inner, const std::string& outer) {
  return inner == outer ||
         (inner.starts_with(outer) && (outer.ends_with('/') || inner[outer.size()] == '/'));
}

// The same folder, or one inside the other.
bool foldersOverlap(const std::string& a, const std::string& b) {
  const std::vector<FolderId> la = lineage(a), lb = lineage(b);
  if (la.empty() || lb.empty()) return pathWithin(a, b) || pathWithin(b, a);
  return std::find(lb.begin(), lb.end(), la.front()) != lb.end() ||
         std::find(la.begin(), la.end(), lb.front()) != la.end();
}

// The journal at `fd` ends with its "closed" line: nothing to settle.
bool endsClosed(int fd) {
  FileIdentity id;
  const std::string_view closed = detail::kClosedLine;
  if (platform::identityOfOpen(fd, id) || id.size <= static_cast<int64_t>(closed.size()))
    return false;
  char tail[16];
  const std::size_t size = closed.size() + 1;
  std::size_t got = 0;
  return !platform::readAt(fd, id.size - static_cast<int64_t>(size), tail, size, got) &&
         got == size && tail[0] == '\n' && std::string_view(tail + 1, closed.size()) == closed;
}

// The options of the run whose journal is open at `fd`, from its first lines.
bool readHeader(int fd, RunSummary& run) {
  std::string text(16384, '\0');
  std::size_t got = 0;
  if (platform::readAt(fd, 0, text.data(), text.size(), got) || got == 0) return false;
  text.resize(got);
  RunRecord record;
  detail::OpenWork open;
  if (!detail::parseJournal(text, record, open)) return false;
  run = record.summary;
  return true;
}

// Before a run starts: every journal left open by a run or undo that was cut
// short is settled, and a run going on over `source` (or a folder inside or
// around it) is found. Under the folder's lock, so that every journal
// found locked is one being written.
int settleAndFindBusy(int folderFd, const std::string& source, RunSummary& busy) {
  for (const std::string& id : journalIds(folderFd)) {
    const std::string name = id + std::string(detail::kSuffix);
    UniqueFd fd;
    if (platform::openFileIn(folderFd, name, platform::OpenFor::Reading, fd)) continue;
    if (const OsError locked = platform::lockFile(fd.get(), LockMode::Shared, LockWait::DontWait)) {
      RunSummary run;
      if (locked.heldElsewhere() && readHeader(fd.get(), run) && !run.options.serverDir.empty() &&
          foldersOverlap(source, run.options.serverDir)) {
        busy = std::move(run);
        busy.id = id;
        busy.inUse = true;
        return EBUSY;
      }
      continue;
    }
    if (endsClosed(fd.get())) continue;
    fd.reset();
    detail::OpenedRun settled;
    static_cast<void>(detail::openRun(folderFd, id, detail::Access::Read, settled));
  }
  return 0;
}

std::string absolutePath(const std::string& path, const std::string& base) {
  if (path.empty() || path.front() == '/' || base.empty()) return path;
  return base + "/" + path;
}

}  // namespace

UndoState RunSummary::undoState() const {
  if (undoneFiles == 0) return UndoState::NotUndone;
  return undoneFiles == files ? UndoState::Undone : UndoState::PartlyUndone;
}

std::vector<RunSummary> listRuns() {
  std::vector<RunSummary> runs;
  UniqueFd folder;
  if (detail::openJournalFolder(false, folder) != 0) return runs;
  for (const std::string& id : journalIds(folder.get())) {
    detail::OpenedRun run;
    if (detail::openRun(folder.get(), id, detail::Access::Read, run) == 0)
      runs.push_back(std::move(run.record.summary));
  }
  std::sort(runs.begin(), runs.end(),
            [](const RunSummary& a, const RunSummary& b) { return orderKey(a) < orderKey(b); });
  return runs;
}

std::optional<RunRecord> readRun(const std::string& id) {
  UniqueFd folder;
  detail::OpenedRun run;
  if (detail::openJournalFolder(false, folder) != 0 ||
      detail::openRun(folder.get(), id, detail::Access::Read, run) != 0)
    return std::nullopt;
  return std::move(run.record);
}

RunJournal::RunJournal() = default;

RunJournal::~RunJournal() {
  try {
    if (file_ && !finished_) finish(false);
  } catch (...) {
  }
}

// The journal stops at its first failure, which goes to the error log.
int RunJournal::fail(int error) {
  if (error_ == 0) {
    error_ = error;
    logJournalFailure(path_.empty() ? journalFolder() : path_, error);
  }
  return error_;
}

int RunJournal::begin(const TransferOptions& options) {
  if (file_ || error_ != 0) return error_ ? error_ : EALREADY;
  UniqueFd folder;
  if (int e = detail::openJournalFolder(true, folder)) return fail(e);
  detail::FolderLock lock;
  if (int e = lock.take(folder.get())) return fail(e);
  base_ = platform::currentFolder();
  destination_ = options.receiveDir;
  backup_ = options.backupDir;
  if (settleAndFindBusy(folder.get(), absolutePath(options.serverDir, base_), busyWith_) != 0)
    return EBUSY;
  return create(folder.get(), options);
}

// The new journal, locked, with its header on disk under its name.
int RunJournal::create(int folderFd, const TransferOptions& options) {
  const std::time_t started = platform::now();
  const std::string stamp = runStamp(started);
  int error = 0;
  for (int n = 1; n <= 1000 && !fd_.valid(); ++n) {
    id_ = n == 1 ? stamp : stamp + "-" + std::to_string(n);
    path_ = journalFolder() + "/" + id_ + std::string(detail::kSuffix);
    const OsError e = platform::createFileIn(folderFd, id_ + std::string(detail::kSuffix), fd_);
    error = e.code();
    if (!e.nameTaken()) break;
  }
  if (!fd_.valid()) {
    id_.clear();
    path_.clear();
    return fail(error);
  }
  // Held while the run lasts: history tells a run going on from a killed
  // one, no undo takes a run that is still moving files, and no other run
  // starts on its source. A listing holds its shared lock only while it
  // reads, so the wait is short.
  static_cast<void>(platform::lockFile(fd_.get(), LockMode::Exclusive, LockWait::Wait));
  file_ = std::make_unique<detail::JournalFile>(fd_.get(), 0, true);
  if (!file_->queueLines([&](std::string& q) { q += detail::headerText(options, started, base_); }))
    return fail(ENOMEM);
  if (int e = file_->sync()) return fail(e);
  if (OsError e = platform::syncFile(folderFd)) return fail(e.code());
  return 0;
}

int RunJournal::filesPlanned(const std::vector<TransferIntent>& group) {
  if (!file_ || finished_) return error_ ? error_ : EBADF;
  if (!file_->queueLines([&](std::string& q) {
        for (const TransferIntent& intent : group) detail::appendIntentLine(q, intent, base_);
      }))
    return fail(ENOMEM);
  if (int e = file_->sync()) return fail(e);
  planned_ += static_cast<int64_t>(group.size());
  return 0;
}

int RunJournal::foldersPlanned(const std::vector<std::string>& folders) {
  if (!file_ || finished_) return error_ ? error_ : EBADF;
  if (!file_->queueLines([&](std::string& q) {
        for (const std::string& folder : folders) q += detail::folderLine(folder, base_);
      }))
    return fail(ENOMEM);
  return 0;
}

int RunJournal::fileRenamed(const TransferIntent& intent) {
  if (!file_ || finished_) return error_ ? error_ : EBADF;
  if (!file_->queueLines([&](std::string& q) { detail::appendIntentLine(q, intent, base_); }))
    return fail(ENOMEM);
  if (int e = file_->sync()) return fail(e);
  return 0;
}

// Written with the next group's lines or at the end: a line lost with the
// program is found again by a look at the file.
void RunJournal::fileTransferred(const TransferredFile& file) {
  if (!file_ || finished_) return;
  const int64_t number = file.number >= 0 ? file.number : files_;
  if (!file_->queueLines([&](std::string& q) { detail::appendFileLine(q, number, file, base_); })) {
    fail(ENOMEM);
    return;
  }
  if (file.number >= 0) ++settled_;
  ++files_;
  bytes_ += file.size;
}

void RunJournal::fileBackedUp(int64_t number, const BackupCopy& backup) {
  if (!file_ || finished_) return;
  if (!file_->queueLines(
          [&](std::string& q) { detail::appendBackedUpLine(q, number, backup, base_); }))
    fail(ENOMEM);
}

void RunJournal::fileSkipped(const std::string& source, const std::string& identical) {
  if (!file_ || finished_) return;
  if (!file_->queueLines(
          [&](std::string& q) { detail::appendSkippedLine(q, source, identical, base_); }))
    fail(ENOMEM);
}

void RunJournal::sourceFileSystem(uint64_t device, const std::string& mountRoot) {
  if (!file_ || finished_) return;
  try {
    file_->add(detail::mountLine(device, mountRoot));
    mounts_[device] = mountRoot;
  } catch (const std::bad_alloc&) {
    fail(ENOMEM);
  }
}

// What was planned and is not known complete is looked at where it is: the
// journal, and the run's last message, say where each file is.
void RunJournal::filesLeft(const std::vector<TransferIntent>& left) {
  if (!file_ || finished_) return;
  const detail::BackupPlace place{destination_, backup_};
  std::vector<detail::MissingBackup> missing;
  for (const TransferIntent& intent : left) {
    const detail::IntentOutcome o = detail::settleIntent(intent, base_, mounts_, place);
    if (o.line.empty()) {
      ++left_.pending;
      continue;
    }
    if (!file_->queueLines([&](std::string& q) { q += o.line; })) {
      fail(ENOMEM);
      return;
    }
    ++settled_;
    if (o.transferred) {
      ++files_;
      bytes_ += o.done.size;
      if (!backup_.empty() && o.backup.path.empty()) missing.push_back({intent.number, o.done});
    } else if (o.how == LeftAs::Untouched || o.how == LeftAs::CopyDropped) {
      ++left_.untouched;
    } else {
      ++left_.unclear;
    }
  }
  // A file found in the destination without its backup (its batch was
  // taken back only in part) gets it now, as a look would make it.
  try {
    if (const int e = detail::makeMissingBackups(missing, place, base_, *file_)) fail(e);
  } catch (const std::bad_alloc&) {
    fail(ENOMEM);
  }
}

int RunJournal::finish(bool completed) {
  if (finished_ || !file_) {
    fd_.reset();
    return error_;
  }
  finished_ = true;
  file_->add(detail::endedLine(platform::now(), files_, bytes_,
                               completed ? RunEnd::Completed : RunEnd::Failed));
  // Closed only once all before it is on disk, and only when every planned
  // file has its outcome: a closed journal is never looked at again.
  int e = file_->sync();
  if (e == 0 && settled_ == planned_) file_->add(detail::kClosedLine);
  if (e == 0) e = file_->finish();
  file_.reset();
  fd_.reset();
  return e != 0 ? fail(e) : error_;
}

}  // namespace msifter::engine
