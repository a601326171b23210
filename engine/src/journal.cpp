#include "engine/journal.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <tuple>
#include <unordered_map>

#include "common/case_mapping.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "journal_file.h"
#include "platform/file_system.h"

namespace msifter::engine {

namespace {

using platform::syscalls;
using platform::UniqueFd;

constexpr std::string_view kFirstLine = "m_sifter journal 1\n";
constexpr std::string_view kSuffix = ".journal";

// XDG: a relative XDG_STATE_HOME is to be ignored.
std::string stateHome() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return state;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.local/state" : std::string();
}

// --- Fields: raw bytes as readable text ---

// Tabs and line ends would split the record; "%" starts an escape; other
// control bytes and broken UTF-8 would garble a pager.
void appendEscaped(std::string& out, std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t plain = i;
    while (plain < raw.size() && raw[plain] >= 0x20 && raw[plain] < 0x7F && raw[plain] != '%')
      ++plain;
    out.append(raw.substr(i, plain - i));
    if ((i = plain) == raw.size()) return;
    const auto c = static_cast<unsigned char>(raw[i]);
    // Valid UTF-8 beyond the C1 controls stays as it is.
    std::size_t next = i;
    if (c >= 0x80 && common::decodeUtf8(raw, next) >= 0xA0) {
      out.append(raw.substr(i, next - i));
      i = next;
      continue;
    }
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
    ++i;
  }
}

// One line of the journal. A run writes one a file, so it is built in one
// buffer without temporaries.
class Line {
 public:
  explicit Line(std::string_view kind) {
    text_.reserve(256);
    text_ += kind;
  }
  Line& text(std::string_view raw) {
    text_ += '\t';
    appendEscaped(text_, raw);
    return *this;
  }
  // Undo must not depend on the folder the run was started from: a relative
  // path is taken from `base`, the folder current when the run began.
  Line& path(const std::string& raw, const std::string& base) {
    if (raw.empty() || raw.front() == '/' || base.empty()) return text(raw);
    text(base);
    text_ += '/';
    appendEscaped(text_, raw);
    return *this;
  }
  Line& word(std::string_view word) {
    text_ += '\t';
    text_ += word;
    return *this;
  }
  template <class T>
  Line& number(T value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text_ += '\t';
    text_.append(digits, end);
    return *this;
  }
  // "seconds.nanoseconds", nine digits after the point.
  Line& time(int64_t seconds, int32_t nanoseconds) {
    char digits[48];
    std::snprintf(digits, sizeof digits, "\t%lld.%09d", static_cast<long long>(seconds),
                  nanoseconds);
    text_ += digits;
    return *this;
  }
  std::string end() {
    text_ += '\n';
    return std::move(text_);
  }

 private:
  std::string text_;
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

template <class T>
bool number(std::string_view text, T& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool yesNo(std::string_view text, bool& out) {
  if (text != "yes" && text != "no") return false;
  out = text == "yes";
  return true;
}

template <class T>
bool limit(std::string_view text, bool& use, T& value) {
  use = text != "off";
  return !use || number(text, value);
}

// "seconds.nanoseconds", nine digits after the point.
bool modifiedTime(std::string_view text, int64_t& seconds, int32_t& nanoseconds) {
  const auto dot = text.rfind('.');
  return dot != std::string_view::npos && text.size() - dot == 10 &&
         number(text.substr(0, dot), seconds) && number(text.substr(dot + 1), nanoseconds) &&
         nanoseconds >= 0;
}

// --- Lines ---

std::string headerText(const TransferOptions& o, std::time_t started, const std::string& base) {
  const auto yes = [](bool on) { return on ? "yes" : "no"; };
  const auto limit = [](std::string_view key, bool use, int64_t n) {
    return use ? Line(key).number(n).end() : Line(key).word("off").end();
  };
  return std::string(kFirstLine) + Line("started").number(started).end() +
         Line("operation").word(o.copyFiles ? "copy" : "move").end() +
         Line("source").path(o.serverDir, base).end() +
         Line("destination").path(o.receiveDir, base).end() +
         Line("targets").text(o.targetList).end() +
         Line("subfolders").word(yes(o.subFolder)).end() +
         limit("min-size", o.useMinSize, o.minSizeBytes) +
         limit("max-size", o.useMaxSize, o.maxSizeBytes) +
         limit("count-limit", o.useCountLimit, o.countLimit) +
         Line("names")
             .word(o.renameMethod == RenameMethod::SerialNumber ? "serial" : "date-time")
             .end() +
         Line("fix-extension").word(yes(o.extFix)).end() + Line("slowly").word(yes(o.slowly)).end();
}

std::string fileLine(int64_t number, const TransferredFile& f, const std::string& base) {
  return Line("file")
      .number(number)
      .word(f.kind == TransferredFile::Kind::Copied ? "copied" : "moved")
      .path(f.source, base)
      .path(f.destination, base)
      .number(f.size)
      .time(f.modifiedSeconds, f.modifiedNanoseconds)
      .number(f.device)
      .number(f.inode)
      .end();
}

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  for (std::size_t start = 0;;) {
    const auto tab = line.find('\t', start);
    out.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return out;
    start = tab + 1;
  }
}

bool parseFile(const std::vector<std::string_view>& f, JournalEntry& e) {
  if (f.size() != 9 || (f[2] != "moved" && f[2] != "copied")) return false;
  e.file.kind = f[2] == "copied" ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved;
  return number(f[1], e.number) && unescape(f[3], e.file.source) &&
         unescape(f[4], e.file.destination) && number(f[5], e.file.size) &&
         modifiedTime(f[6], e.file.modifiedSeconds, e.file.modifiedNanoseconds) &&
         number(f[7], e.file.device) && number(f[8], e.file.inode);
}

// One line of the header or the end; false for a line not understood.
bool parseRunLine(const std::vector<std::string_view>& f, RunSummary& run) {
  TransferOptions& o = run.options;
  const std::string_view key = f[0];
  if (f.size() == 1) return key == kFirstLine.substr(0, kFirstLine.size() - 1);
  if (key == "ended") {
    if (f.size() != 5 || (f[4] != "completed" && f[4] != "failed")) return false;
    run.end = f[4] == "completed" ? RunEnd::Completed : RunEnd::Failed;
    return true;
  }
  if (f.size() != 2) return false;
  const std::string_view v = f[1];
  if (key == "started") return number(v, run.startedSeconds);
  if (key == "operation") {
    o.copyFiles = v == "copy";
    return v == "copy" || v == "move";
  }
  if (key == "source") return unescape(v, o.serverDir);
  if (key == "destination") return unescape(v, o.receiveDir);
  if (key == "targets") return unescape(v, o.targetList);
  if (key == "subfolders") return yesNo(v, o.subFolder);
  if (key == "min-size") return limit(v, o.useMinSize, o.minSizeBytes);
  if (key == "max-size") return limit(v, o.useMaxSize, o.maxSizeBytes);
  if (key == "count-limit") return limit(v, o.useCountLimit, o.countLimit);
  if (key == "names") {
    o.renameMethod = v == "serial" ? RenameMethod::SerialNumber : RenameMethod::DateTime;
    return v == "serial" || v == "date-time";
  }
  if (key == "fix-extension") return yesNo(v, o.extFix);
  if (key == "slowly") return yesNo(v, o.slowly);
  return false;
}

// What the whole lines of a journal record; false when they record nothing.
bool parseJournal(std::string_view text, RunRecord& record) {
  RunSummary& run = record.summary;
  std::unordered_map<int64_t, std::size_t> byNumber;
  bool anything = false;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    const std::vector<std::string_view> f = fields(text.substr(start, end - start));
    bool understood = false;
    JournalEntry entry;
    int64_t marked = 0;
    if (f[0] == "file") {
      understood = parseFile(f, entry) && !byNumber.contains(entry.number);
      if (understood) {
        byNumber.emplace(entry.number, record.entries.size());
        run.bytes += entry.file.size;
        record.entries.push_back(std::move(entry));
      }
    } else if (f[0] == "undone") {
      understood = f.size() == 2 && number(f[1], marked);
      const auto it = byNumber.find(marked);
      if (understood && it != byNumber.end()) record.entries[it->second].undone = true;
    } else {
      understood = parseRunLine(f, run);
    }
    anything |= understood;
    run.damaged |= !understood;
  }
  // A last line without its end was cut short; zero bytes after the last
  // line are room a killed writer had reserved.
  run.damaged |= text.find_first_not_of('\0', start) != std::string_view::npos;
  run.files = static_cast<int64_t>(record.entries.size());
  run.undoneFiles = std::count_if(record.entries.begin(), record.entries.end(),
                                  [](const JournalEntry& e) { return e.undone; });
  return anything;
}

int readAll(int fd, std::string& out) {
  out.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = syscalls().read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

// "20240105-143000" of the local time.
std::string runStamp(std::time_t when) {
  std::tm tm{};
  if (!syscalls().localTime(when, tm)) return std::to_string(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

// Oldest first; runs of one second by their "-N".
auto orderKey(const RunSummary& run) {
  const auto dash = run.id.find('-', run.id.find('-') + 1);
  int64_t n = 1;
  if (dash != std::string::npos) number(std::string_view(run.id).substr(dash + 1), n);
  return std::make_tuple(run.startedSeconds, run.id.substr(0, dash), n);
}

bool validId(const std::string& id) {
  return !id.empty() && id.front() != '.' && id.find('/') == std::string::npos;
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

}  // namespace

namespace detail {

int JournalFile::reserve(std::size_t bytes) {
  const off_t needed = end_ + static_cast<off_t>(bytes);
  if (!reserveAhead_ || needed <= reserved_) return 0;
  constexpr off_t kStep = 1 << 20;
  const off_t room = (needed / kStep + 1) * kStep;
  if (syscalls().fallocate(fd_.get(), reserved_, room - reserved_) == 0) {
    reserved_ = room;
    return 0;
  }
  // A file system that cannot reserve room gets plain appends.
  if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  reserveAhead_ = false;
  return 0;
}

int JournalFile::append(std::string_view line) {
  if (!fd_.valid()) return EBADF;
  if (int e = reserve(line.size())) return e;
  const ssize_t n = syscalls().pwrite(fd_.get(), line.data(), line.size(), end_);
  if (n < 0) return errno;
  if (static_cast<std::size_t>(n) != line.size()) return ENOSPC;
  end_ += n;
  written_ = true;
  // Only a journal that was clean wakes the flusher: a wake-up per line
  // would cost a switch of threads per file.
  if (!dirty_.exchange(true)) {
    std::lock_guard lock(mutex_);
    wake_.notify_one();
  }
  if (!flusher_.joinable()) {
    try {
      flusher_ = std::jthread([this](std::stop_token stop) { flushWhileLinesCome(stop); });
    } catch (const std::system_error&) {
      // Without a thread the journal reaches the disk when it is closed.
    }
  }
  return 0;
}

void JournalFile::flushWhileLinesCome(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!wake_.wait(lock, stop, [this] { return dirty_.load(); })) return;
    dirty_ = false;
    lock.unlock();
    const int error = syscalls().fsync(fd_.get()) == 0 ? 0 : errno;
    lock.lock();
    if (flushError_ == 0) flushError_ = error;
    // At most one flush a second: the lines of that second wait for the next.
    wake_.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; });
  }
}

int JournalFile::close() {
  if (!fd_.valid()) return 0;
  if (flusher_.joinable()) {
    flusher_.request_stop();
    flusher_.join();
  }
  int error = flushError_;
  if (reserved_ > end_ && syscalls().ftruncate(fd_.get(), end_) != 0 && error == 0) error = errno;
  if (written_ && syscalls().fsync(fd_.get()) != 0 && error == 0) error = errno;
  if (fd_.reset() != 0 && error == 0) error = errno;
  return error;
}

int openJournalFolder(bool create, UniqueFd& out) {
  const std::string base = stateHome();
  if (base.empty()) return ENOENT;
  // A failure to make a folder that exists anyway (a read-only file
  // system) matters only if it cannot be opened either.
  int made = create ? platform::makeFolders(base, 0700).code() : 0;
  UniqueFd folder(syscalls().open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) return made ? made : errno;
  std::string path = base;
  for (const char* name : {"m_sifter", "journal"}) {
    path += std::string("/") + name;
    if (create && syscalls().mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) made = errno;
    UniqueFd next(
        syscalls().openAt(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!next.valid()) return made ? made : errno;
    folder = std::move(next);
  }
  out = std::move(folder);
  return 0;
}

int openRun(int folderFd, const std::string& id, Access access, OpenedRun& out) {
  if (!validId(id)) return ENOENT;
  const std::string name = id + std::string(kSuffix);
  const int flags = access == Access::Undo ? O_RDWR | O_APPEND : O_RDONLY;
  // Not blocking: a pipe put in a journal's place must not hang the look.
  out.fd = UniqueFd(
      syscalls().openAt(folderFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!out.fd.valid()) return errno;
  struct stat st {};
  if (syscalls().fstat(out.fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  // The writer of a run, and an undo, hold the lock for as long as they write.
  const int lock = access == Access::Undo ? LOCK_EX : LOCK_SH;
  // A file system without locks cannot tell; the journal counts as free.
  const bool inUse = syscalls().flock(out.fd.get(), lock | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (inUse && access == Access::Undo) return EWOULDBLOCK;
  std::string text;
  if (int e = readAll(out.fd.get(), text)) return e;
  out.record = RunRecord{};
  if (!parseJournal(text, out.record)) return ENOENT;
  out.record.summary.id = id;
  out.record.summary.path = journalFolder() + "/" + name;
  out.record.summary.inUse = inUse;
  out.size = static_cast<off_t>(text.size());
  out.wholeLines = static_cast<off_t>(text.rfind('\n') + 1);
  return 0;
}

std::string undoneLine(int64_t number) { return Line("undone").number(number).end(); }

}  // namespace detail

UndoState RunSummary::undoState() const {
  if (undoneFiles == 0) return UndoState::NotUndone;
  return undoneFiles == files ? UndoState::Undone : UndoState::PartlyUndone;
}

std::string journalFolder() {
  const std::string base = stateHome();
  return base.empty() ? base : base + "/m_sifter/journal";
}

std::vector<RunSummary> listRuns() {
  std::vector<RunSummary> runs;
  UniqueFd folder;
  if (detail::openJournalFolder(false, folder) != 0) return runs;
  std::vector<std::string> ids;
  const int fd = syscalls().openAt(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  DIR* listing = fd < 0 ? nullptr : syscalls().fdopendir(fd);
  if (listing == nullptr) {
    if (fd >= 0) syscalls().close(fd);
    return runs;
  }
  while (const dirent* d = syscalls().readdir(listing)) {
    const std::string_view name = d->d_name;
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix))
      ids.emplace_back(name.substr(0, name.size() - kSuffix.size()));
  }
  syscalls().closedir(listing);
  for (const std::string& id : ids) {
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

int RunJournal::begin(const TransferOptions& options) {
  if (file_ || error_ != 0) return error_;
  UniqueFd folder;
  if (int e = detail::openJournalFolder(true, folder)) {
    abandon(e);
    return e;
  }
  char cwd[PATH_MAX];
  base_ = syscalls().getcwd(cwd, sizeof cwd) ? cwd : "";
  const std::time_t started = syscalls().now();
  const std::string stamp = runStamp(started);
  UniqueFd fd;
  int error = 0;
  for (int n = 1; n <= 1000 && !fd.valid(); ++n) {
    id_ = n == 1 ? stamp : stamp + "-" + std::to_string(n);
    path_ = journalFolder() + "/" + id_ + std::string(kSuffix);
    fd = UniqueFd(syscalls().openAt(folder.get(), (id_ + std::string(kSuffix)).c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    error = fd.valid() ? 0 : errno;
    if (error != EEXIST) break;
  }
  if (!fd.valid()) {
    id_.clear();
    path_.clear();
    abandon(error);
    return error;
  }
  // Held while the run lasts, also past a journal given up, on a descriptor
  // of its own: history tells a run going on from a killed one, and no undo
  // takes a run that is still moving files. A listing holds its shared lock
  // only while it reads, so the wait is short.
  lock_ = UniqueFd(syscalls().openAt(folder.get(), (id_ + std::string(kSuffix)).c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (lock_.valid()) syscalls().flock(lock_.get(), LOCK_EX);
  file_ = std::make_unique<detail::JournalFile>(std::move(fd), 0, true);
  try {
    if (int e = file_->append(headerText(options, started, base_))) abandon(e);
  } catch (const std::bad_alloc&) {
    abandon(ENOMEM);
  }
  return error_;
}

void RunJournal::fileTransferred(const TransferredFile& file) {
  if (!file_) return;
  try {
    if (int e = file_->append(fileLine(files_, file, base_))) return abandon(e);
    ++files_;
    bytes_ += file.size;
  } catch (const std::bad_alloc&) {
    abandon(ENOMEM);
  }
}

int RunJournal::finish(bool completed) {
  if (finished_ || !file_) {
    lock_.reset();
    return error_;
  }
  finished_ = true;
  int e = file_->append(Line("ended")
                            .number(syscalls().now())
                            .number(files_)
                            .number(bytes_)
                            .word(completed ? "completed" : "failed")
                            .end());
  const int closed = file_->close();
  file_.reset();
  lock_.reset();
  if (e == 0) e = closed;
  if (e != 0) abandon(e);
  return error_;
}

// The journal stops at its first failure, which goes to the error log; it
// then reads as a run that was cut short there.
void RunJournal::abandon(int error) {
  if (error_ == 0) {
    error_ = error;
    logJournalFailure(path_.empty() ? journalFolder() : path_, error);
  }
  if (file_) file_->close();
  file_.reset();
}

}  // namespace msifter::engine
