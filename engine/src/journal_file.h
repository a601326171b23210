#pragma once
// The journal files themselves, shared by the run's journal and by undo.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/journal.h"
#include "platform/syscalls.h"

namespace msifter::engine::detail {

// A journal open for appending. Each line goes out with one system call, so
// a killed program leaves whole lines; a thread flushes the file to disk at
// most once a second while lines come, and close() flushes the rest.
//
// A run's journal reserves its room ahead, a megabyte at a time, and writes
// each line into it: a write that does not grow the file is much cheaper
// than an append (no size to update on every line), which matters when each
// file of a run costs only a rename. A journal whose writer was killed ends
// in zero bytes; readers take them as unused room.
class JournalFile {
 public:
  // `end`: where the next line goes. `reserveAhead`: keep room allocated
  // beyond it (given back by close()).
  JournalFile(platform::UniqueFd fd, off_t end, bool reserveAhead)
      : fd_(std::move(fd)), end_(end), reserved_(end), reserveAhead_(reserveAhead) {}
  ~JournalFile() { close(); }
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // 0 or the errno; a short write counts as a full disk.
  int append(std::string_view line);
  // Stops the flushing, flushes and closes; 0 or the first failure since
  // the last append (a failed flush included).
  int close();

 private:
  void flushWhileLinesCome(std::stop_token stop);

  // Room for `bytes` more from end_; 0 or the errno.
  int reserve(std::size_t bytes);

  platform::UniqueFd fd_;
  off_t end_ = 0;
  off_t reserved_ = 0;
  bool reserveAhead_ = false;
  bool written_ = false;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::atomic<bool> dirty_ = false;
  int flushError_ = 0;
  std::jthread flusher_;
};

// The journals' folder, opened without following a link at its two last
// levels (made, 0700, when `create`); 0 or the errno.
int openJournalFolder(bool create, platform::UniqueFd& out);

enum class Access {
  Read,  // a look: RunSummary::inUse tells whether somebody writes it
  Undo,  // open for appending, locked for good; EWOULDBLOCK while in use
};

struct OpenedRun {
  platform::UniqueFd fd;
  RunRecord record;
  // Bytes up to and with the last whole line.
  off_t wholeLines = 0;
  off_t size = 0;
};

// Opens and reads the journal of run `id` in the open journals' folder.
// 0, ENOENT when there is no such run, or the errno.
int openRun(int folderFd, const std::string& id, Access access, OpenedRun& out);

std::string undoneLine(int64_t number);

}  // namespace msifter::engine::detail
