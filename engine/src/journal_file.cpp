// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal_file.h"

#include <cerrno>
#include <cstdlib>

#include "platform/own_files.h"

namespace msifter::engine::detail {

namespace {

using platform::LockMode;
using platform::LockWait;
using platform::OsError;
using platform::UniqueFd;

// XDG: a relative XDG_STATE_HOME is to be ignored.
std::string stateHome() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return state;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.local/state" : std::string();
}

bool validId(const std::string& id) {
  return !id.empty() && id.front() != '.' && id.find('/') == std::string::npos;
}

// Opens, locks and reads the journal of run `id`, without settling it.
int loadRun(int folderFd, const std::string& id, Access access, OpenedRun& out) {
  if (!validId(id)) return ENOENT;
  const std::string name = id + std::string(kSuffix);
  const auto purpose =
      access == Access::Undo ? platform::OpenFor::Writing : platform::OpenFor::Reading;
  if (OsError e = platform::openFileIn(folderFd, name, purpose, out.fd)) return e.code();
  // The writer of a run, and an undo, hold the lock for as long as they write.
  const LockMode lock = access == Access::Undo ? LockMode::Exclusive : LockMode::Shared;
  // A file system without locks cannot tell; the journal counts as free.
  const bool inUse = platform::lockFile(out.fd.get(), lock, LockWait::DontWait).heldElsewhere();
  if (inUse && access == Access::Undo) return EWOULDBLOCK;
  out.record.summary.id = id;
  out.record.summary.inUse = inUse;
  return rereadRun(out);
}

thread_local int folderLocksHeld = 0;

}  // namespace

int JournalFile::reserve(std::size_t bytes) {
  const int64_t needed = end_ + static_cast<int64_t>(bytes);
  if (!reserveAhead_ || needed <= reserved_) return 0;
  constexpr int64_t kStep = 1 << 20;
  const int64_t room = (needed / kStep + 1) * kStep;
  OsError e = platform::reserveRoom(fd_, reserved_, room - reserved_);
  if (!e) {
    reserved_ = room;
    return 0;
  }
  // A disk nearly full: the room that is still there, as long as it lasts.
  if (e.code() == ENOSPC && !(e = platform::reserveRoom(fd_, reserved_, needed - reserved_))) {
    reserved_ = needed;
    return 0;
  }
  // A file system that cannot reserve room gets plain appends.
  if (e.code() != EOPNOTSUPP && e.code() != ENOSYS) return e.code();
  reserveAhead_ = false;
  return 0;
}

int JournalFile::write() {
  if (error_ != 0 || queued_.empty()) return error_;
  if ((error_ = reserve(queued_.size())) != 0) return error_;
  if (OsError e = platform::writeAt(fd_, end_, queued_)) return error_ = e.code();
  end_ += static_cast<int64_t>(queued_.size());
  queued_.clear();
  return 0;
}

int JournalFile::sync() {
  if (write() != 0) return error_;
  if (OsError e = platform::syncData(fd_)) error_ = e.code();
  return error_;
}

int JournalFile::finish() {
  if (write() != 0) return error_;
  if (reserved_ > end_) {
    if (OsError e = platform::truncateFile(fd_, end_)) return error_ = e.code();
  }
  reserved_ = end_;
  if (OsError e = platform::syncFile(fd_)) error_ = e.code();
  return error_;
}

int openJournalFolder(bool create, UniqueFd& out) {
  const std::string base = stateHome();
  if (base.empty()) return ENOENT;
  return platform::openOwnFolder(base, {"m_sifter", "journal"},
                                 create ? platform::Missing::Make : platform::Missing::Fail, out)
      .code();
}

FolderLock::~FolderLock() {
  if (taken_) --folderLocksHeld;
}

int FolderLock::take(int folderFd) {
  if (taken_) return 0;
  if (folderLocksHeld == 0) {
    if (OsError e = platform::openLockFileIn(folderFd, "runs.lock", fd_)) return e.code();
    if (OsError e = platform::lockFile(fd_.get(), LockMode::Exclusive, LockWait::Wait))
      return e.code();
  }
  taken_ = true;
  ++folderLocksHeld;
  return 0;
}

int openRun(int folderFd, const std::string& id, Access access, OpenedRun& out) {
  if (int e = loadRun(folderFd, id, access, out)) return e;
  if (out.record.summary.inUse || out.open.closed) return 0;
  if (access == Access::Undo) return settleRun(out);
  // A look that finds something to settle settles it, if it may write
  // there; otherwise it shows the journal as it is.
  FolderLock lock;
  OpenedRun held;
  // Our own shared lock would keep us from the exclusive one.
  out.fd.reset();
  if (lock.take(folderFd) != 0 || loadRun(folderFd, id, Access::Undo, held) != 0) return 0;
  if (!held.open.closed && settleRun(held) != 0) return 0;
  held.record.summary.inUse = false;
  out = std::move(held);
  return 0;
}

int rereadRun(OpenedRun& run) {
  std::string text;
  if (OsError e = platform::readWhole(run.fd.get(), text)) return e.code();
  const std::string id = run.record.summary.id;
  const bool inUse = run.record.summary.inUse;
  run.record = RunRecord{};
  run.open = OpenWork{};
  if (!parseJournal(text, run.record, run.open)) return ENOENT;
  run.record.summary.id = id;
  run.record.summary.path = journalFolder() + "/" + id + std::string(kSuffix);
  run.record.summary.inUse = inUse;
  run.size = static_cast<int64_t>(text.size());
  run.wholeLines = static_cast<int64_t>(text.rfind('\n') + 1);
  return 0;
}

}  // namespace msifter::engine::detail

namespace msifter::engine {

std::string journalFolder() {
  const std::string base = detail::stateHome();
  return base.empty() ? base : base + "/m_sifter/journal";
}

}  // namespace msifter::engine
