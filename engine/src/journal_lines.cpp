// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal_lines.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "common/case_mapping.h"

namespace msifter::engine::detail {

namespace {

// --- Fields: raw bytes as readable text ---

// Whether any of the eight bytes of `w` is zero.
constexpr bool anyZeroByte(uint64_t w) {
  return ((w - 0x0101010101010101u) & ~w & 0x8080808080808080u) != 0;
}

// Where the bytes from `i` on stop being printable ASCII other than "%":
// eight at a time, as a path is nearly always made of such bytes.
std::size_t plainUntil(std::string_view raw, std::size_t i) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  for (; i + 8 <= raw.size(); i += 8) {
    uint64_t w = 0;
    std::memcpy(&w, raw.data() + i, 8);
    const bool controlOrHigh = ((w - 0x20 * kOnes) | w) & 0x8080808080808080u;
    if (controlOrHigh || anyZeroByte(w ^ (0x7F * kOnes)) || anyZeroByte(w ^ ('%' * kOnes))) break;
  }
  while (i < raw.size() && raw[i] >= 0x20 && raw[i] < 0x7F && raw[i] != '%') ++i;
  return i;
}

// Tabs and line ends would split the record; "%" starts an escape; other
// control bytes and broken UTF-8 would garble a pager.
void appendEscaped(std::string& out, std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t plain = plainUntil(raw, i);
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
  explicit Line(std::string_view kind) : text_(own_) { text_ += kind; }
  // Written at the end of `out` (a journal's queue of lines).
  Line(std::string& out, std::string_view kind) : text_(out) { text_ += kind; }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;
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
    number(seconds);
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, nanoseconds).ptr;
    const auto width = static_cast<std::size_t>(end - digits);
    text_ += '.';
    if (width < 9) text_.append(9 - width, '0');
    text_.append(digits, end);
    return *this;
  }
  std::string end() {
    text_ += '\n';
    return std::move(own_);
  }

 private:
  std::string own_;
  std::string& text_;
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

constexpr std::pair<std::string_view, RunEnd> kEndWords[] = {{"completed", RunEnd::Completed},
                                                             {"failed", RunEnd::Failed},
                                                             {"interrupted", RunEnd::Interrupted}};

constexpr std::pair<std::string_view, LeftAs> kLeftWords[] = {{"untouched", LeftAs::Untouched},
                                                              {"dropped", LeftAs::CopyDropped},
                                                              {"both", LeftAs::BothKept},
                                                              {"missing", LeftAs::Missing},
                                                              {"changed", LeftAs::NotAsRecorded}};

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

// A choice by its word; the default for a word of none.
template <class Choice>
bool choice(std::string_view v, Choice& out) {
  const std::optional<Choice> named = options::choiceNamed<Choice>(v);
  out = named.value_or(options::choicesOf(out)[0].choice);
  return named.has_value();
}

// The header lines of capture-time names and skipped files; journals
// written before them have none and mean the defaults.
bool parseNamingLine(std::string_view key, std::string_view v, TransferOptions& o) {
  if (key == "stamp") return choice(v, o.stamp);
  if (key == "time-shift") {
    const std::optional<options::TimeShift> shift = options::parseTimeShift(v);
    o.timeShift = shift.value_or(options::TimeShift{});
    return shift.has_value();
  }
  if (key == "video-time") return choice(v, o.videoTime);
  if (key == "skip-identical") return yesNo(v, o.skipIdentical);
  if (key == "backup") return unescape(v, o.backupDir) && !o.backupDir.empty();
  if (key == "folders") return unescape(v, o.folders) && !o.folders.empty();
  if (key == "groups") return yesNo(v, o.groups);
  return false;
}

// One line of the header or the end; false for a line not understood.
bool parseRunLine(const std::vector<std::string_view>& f, RunSummary& run) {
  TransferOptions& o = run.options;
  const std::string_view key = f[0];
  if (f.size() == 1) return key == kFirstLine.substr(0, kFirstLine.size() - 1);
  if (key == "ended") {
    if (f.size() != 5) return false;
    for (const auto& [word, end] : kEndWords) {
      if (f[4] == word) run.end = end;
    }
    return f[4] == "completed" || f[4] == "failed" || f[4] == "interrupted";
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
  if (key == "min-size") return limit(v, o.bounds.useMinSize, o.bounds.minSizeBytes);
  if (key == "max-size") return limit(v, o.bounds.useMaxSize, o.bounds.maxSizeBytes);
  if (key == "count-limit") return limit(v, o.bounds.useCountLimit, o.bounds.countLimit);
  if (key == "names") return choice(v, o.renameMethod);
  if (key == "fix-extension") return yesNo(v, o.extFix);
  if (key == "slowly") return yesNo(v, o.slowly);
  return parseNamingLine(key, v, o);
}

// What the whole lines of a journal record; false when they record nothing.

bool parseIntent(const std::vector<std::string_view>& f, TransferIntent& i) {
  if ((f.size() != 9 && f.size() != 10) || (f[2] != "move" && f[2] != "copy")) return false;
  i.copy = f[2] == "copy";
  if (f.size() == 10) {
    const std::optional<DateSource> source = dateSourceNamed(f[9]);
    if (!source) return false;
    i.dateSource = *source;
  }
  return number(f[1], i.number) && unescape(f[3], i.source) && unescape(f[4], i.destination) &&
         number(f[5], i.size) && modifiedTime(f[6], i.modifiedSeconds, i.modifiedNanoseconds) &&
         number(f[7], i.device) && number(f[8], i.inode);
}

bool parseOutcome(const std::vector<std::string_view>& f, int64_t& n, LeftAs& how) {
  if (f.size() != 3 || !number(f[1], n)) return false;
  for (const auto& [word, left] : kLeftWords) {
    if (f[2] == word) {
      how = left;
      return true;
    }
  }
  return false;
}

std::string numbered(std::string_view kind, int64_t n) { return Line(kind).number(n).end(); }

// Reads the journal's lines into `record` and what they leave open.
class Reader {
 public:
  Reader(RunRecord& record, OpenWork& open) : record_(record), open_(open) {}

  // False for a line not understood.
  bool line(const std::vector<std::string_view>& f) {
    const std::string_view kind = f[0];
    int64_t n = 0;
    if (kind == "file") return file(f);
    if (kind == "done") return done(f);
    if (kind == "intent") {
      TransferIntent intent;
      if (!parseIntent(f, intent)) return false;
      open_.intents[intent.number] = std::move(intent);
      return true;
    }
    if (kind == "outcome") {
      LeftAs how{};
      if (!parseOutcome(f, n, how)) return false;
      left(n, how);
      return true;
    }
    if (f.size() == 2 && (kind == "undoing" || kind == "undone" || kind == "not-undone")) {
      if (!number(f[1], n)) return false;
      if (kind == "undoing") {
        open_.undoing.insert(n);
      } else {
        open_.undoing.erase(n);
        const auto it = byNumber_.find(n);
        if (kind == "undone" && it != byNumber_.end()) record_.entries[it->second].undone = true;
      }
      return true;
    }
    if (kind == "closed") return f.size() == 1;
    if (kind == "backed-up") return backedUp(f);
    if (kind == "not-backed-up") return notBackedUp(f);
    if (kind == "skipped") {
      SkippedFile skipped;
      if (f.size() != 3 || !unescape(f[1], skipped.source) || !unescape(f[2], skipped.identical))
        return false;
      record_.skipped.push_back(std::move(skipped));
      return true;
    }
    if (kind == "mount") {
      uint64_t device = 0;
      std::string root;
      if (f.size() != 3 || !number(f[1], device) || !unescape(f[2], root)) return false;
      open_.mounts[device] = std::move(root);
      return true;
    }
    if (kind == "folder") {
      std::string folder;
      if (f.size() != 2 || !unescape(f[1], folder)) return false;
      record_.madeFolders.push_back(std::move(folder));
      return true;
    }
    if (kind == "ended") open_.ended = true;
    return parseRunLine(f, record_.summary);
  }

 private:
  bool file(const std::vector<std::string_view>& f) {
    JournalEntry entry;
    if (!parseFile(f, entry) || byNumber_.contains(entry.number)) return false;
    if (const auto it = open_.intents.find(entry.number); it != open_.intents.end()) {
      entry.dateSource = it->second.dateSource;
      open_.intents.erase(it);
    }
    byNumber_.emplace(entry.number, record_.entries.size());
    record_.summary.bytes += entry.file.size;
    record_.entries.push_back(std::move(entry));
    return true;
  }

  // A file that arrived as its intent (the last of its number) said.
  bool done(const std::vector<std::string_view>& f) {
    JournalEntry entry;
    const auto it = f.size() == 6 && number(f[1], entry.number) ? open_.intents.find(entry.number)
                                                                : open_.intents.end();
    if (it == open_.intents.end() || byNumber_.contains(entry.number)) return false;
    TransferredFile& file = entry.file;
    if (!number(f[2], file.size) ||
        !modifiedTime(f[3], file.modifiedSeconds, file.modifiedNanoseconds) ||
        !number(f[4], file.device) || !number(f[5], file.inode))
      return false;
    file.kind = it->second.copy ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved;
    file.source = std::move(it->second.source);
    file.destination = std::move(it->second.destination);
    entry.dateSource = it->second.dateSource;
    open_.intents.erase(it);
    byNumber_.emplace(entry.number, record_.entries.size());
    record_.summary.bytes += file.size;
    record_.entries.push_back(std::move(entry));
    return true;
  }

  // The backup of a file whose line came before it.
  bool backedUp(const std::vector<std::string_view>& f) {
    int64_t n = 0;
    const auto it = f.size() == 5 && number(f[1], n) ? byNumber_.find(n) : byNumber_.end();
    if (it == byNumber_.end()) return false;
    BackupCopy& backup = record_.entries[it->second].backup;
    return unescape(f[2], backup.path) && number(f[3], backup.device) && number(f[4], backup.inode);
  }

  // Why the backup of a file whose line came before it could not be made.
  bool notBackedUp(const std::vector<std::string_view>& f) {
    int64_t n = 0;
    const auto it = f.size() == 3 && number(f[1], n) ? byNumber_.find(n) : byNumber_.end();
    int error = 0;
    if (it == byNumber_.end() || !number(f[2], error) || error <= 0) return false;
    record_.entries[it->second].backupError = error;
    return true;
  }

  void left(int64_t n, LeftAs how) {
    LeftFile file{n, how, "", ""};
    if (const auto it = open_.intents.find(n); it != open_.intents.end()) {
      file.source = it->second.source;
      file.destination = it->second.destination;
      open_.intents.erase(it);
    }
    if (how == LeftAs::BothKept || how == LeftAs::Missing || how == LeftAs::NotAsRecorded)
      ++record_.summary.unclearFiles;
    record_.left.push_back(std::move(file));
  }

  RunRecord& record_;
  OpenWork& open_;
  std::unordered_map<int64_t, std::size_t> byNumber_;
};

// Written only when a run uses them, so that a plain run's journal is the
// same as ever and reads in older versions too.
std::string namingLines(const TransferOptions& o, const std::string& base) {
  std::string lines;
  if (o.stamp != options::StampChoice::Transfer)
    lines += Line("stamp").word(options::choiceRow(o.stamp).word).end();
  if (o.timeShift.seconds != 0)
    lines += Line("time-shift").word(options::timeShiftText(o.timeShift)).end();
  if (o.videoTime != options::VideoTime::Utc)
    lines += Line("video-time").word(options::choiceRow(o.videoTime).word).end();
  if (o.skipIdentical) lines += Line("skip-identical").word("yes").end();
  if (!o.backupDir.empty()) lines += Line("backup").path(o.backupDir, base).end();
  if (!o.folders.empty()) lines += Line("folders").text(o.folders).end();
  if (o.groups) lines += Line("groups").word("yes").end();
  return lines;
}

}  // namespace

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
         limit("min-size", o.bounds.useMinSize, o.bounds.minSizeBytes) +
         limit("max-size", o.bounds.useMaxSize, o.bounds.maxSizeBytes) +
         limit("count-limit", o.bounds.useCountLimit, o.bounds.countLimit) +
         Line("names").word(options::choiceRow(o.renameMethod).word).end() +
         Line("fix-extension").word(yes(o.extFix)).end() +
         Line("slowly").word(yes(o.slowly)).end() + namingLines(o, base);
}

std::string fileLine(int64_t number, const TransferredFile& f, const std::string& base) {
  std::string line;
  appendFileLine(line, number, f, base);
  return line;
}

void appendFileLine(std::string& out, int64_t number, const TransferredFile& f,
                    const std::string& base) {
  // The commonest line of a journal: a file that arrived as its intent said
  // is told by its number and what arrived, its paths read from the intent.
  if (f.asIntended) {
    Line(out, "done")
        .number(number)
        .number(f.size)
        .time(f.modifiedSeconds, f.modifiedNanoseconds)
        .number(f.device)
        .number(f.inode)
        .end();
    return;
  }
  Line(out, "file")
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

void appendBackedUpLine(std::string& out, int64_t number, const BackupCopy& backup,
                        const std::string& base) {
  Line(out, "backed-up")
      .number(number)
      .path(backup.path, base)
      .number(backup.device)
      .number(backup.inode)
      .end();
}

std::string intentLine(const TransferIntent& i, const std::string& base) {
  std::string line;
  appendIntentLine(line, i, base);
  return line;
}

void appendIntentLine(std::string& out, const TransferIntent& i, const std::string& base) {
  Line line(out, "intent");
  line.number(i.number)
      .word(i.copy ? "copy" : "move")
      .path(i.source, base)
      .path(i.destination, base)
      .number(i.size)
      .time(i.modifiedSeconds, i.modifiedNanoseconds)
      .number(i.device)
      .number(i.inode);
  if (i.dateSource != DateSource::None) line.word(dateSourceRow(i.dateSource).word);
  line.end();
}

void appendNotBackedUpLine(std::string& out, int64_t number, int error) {
  Line(out, "not-backed-up").number(number).number(error).end();
}

std::string outcomeLine(int64_t number, LeftAs how) {
  for (const auto& [word, left] : kLeftWords) {
    if (left == how) return Line("outcome").number(number).word(word).end();
  }
  return {};
}

void appendSkippedLine(std::string& out, const std::string& source, const std::string& identical,
                       const std::string& base) {
  Line(out, "skipped").path(source, base).path(identical, base).end();
}

std::string endedLine(std::time_t when, int64_t files, int64_t bytes, RunEnd end) {
  std::string_view word = "failed";
  for (const auto& [w, e] : kEndWords) {
    if (e == end) word = w;
  }
  return Line("ended").number(when).number(files).number(bytes).word(word).end();
}

std::string mountLine(uint64_t device, const std::string& root) {
  return Line("mount").number(device).text(root).end();
}

std::string folderLine(const std::string& folder, const std::string& base) {
  return Line("folder").path(folder, base).end();
}

std::string undoingLine(int64_t number) { return numbered("undoing", number); }
std::string undoneLine(int64_t number) { return numbered("undone", number); }
std::string notUndoneLine(int64_t number) { return numbered("not-undone", number); }

bool parseJournal(std::string_view text, RunRecord& record, OpenWork& open) {
  RunSummary& run = record.summary;
  Reader reader(record, open);
  bool anything = false;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    const std::vector<std::string_view> f = fields(text.substr(start, end - start));
    const bool understood = reader.line(f);
    open.closed = understood && f[0] == "closed";
    anything |= understood;
    run.damaged |= !understood;
  }
  // A last line without its end was cut short; zero bytes after the last
  // line are room a killed writer had reserved.
  run.damaged |= text.find_first_not_of('\0', start) != std::string_view::npos;
  run.files = static_cast<int64_t>(record.entries.size());
  run.skippedFiles = static_cast<int64_t>(record.skipped.size());
  run.undoneFiles = std::count_if(record.entries.begin(), record.entries.end(),
                                  [](const JournalEntry& e) { return e.undone; });
  run.pendingFiles = static_cast<int64_t>(open.intents.size());
  if (!run.options.backupDir.empty()) {
    for (const JournalEntry& e : record.entries) {
      if (e.undone || !e.backup.path.empty()) continue;
      ++run.unbackedFiles;
      if (e.backupError == 0) open.unbacked.push_back(e.number);
    }
  }
  return anything;
}

}  // namespace msifter::engine::detail
