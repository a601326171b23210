// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/finder.h"

#include <cerrno>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "common/case_mapping.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "common/paths.h"
#include "engine/folder_order.h"
#include "engine/target_list.h"
#include "platform/directory.h"

namespace msifter::engine {

namespace {

using common::err::InvalidArgument;
using common::err::Overflow;

// One character of a name or pattern: a valid UTF-8 sequence is its code
// point, any other byte stands for itself above the code-point range, so
// names that are not UTF-8 still match character by character.
using Char = uint32_t;
constexpr Char kRawByte = 0x110000;

Char decodeAt(std::string_view s, std::size_t& i) {
  const int32_t cp = common::decodeUtf8(s, i);
  return cp >= 0 ? static_cast<Char>(cp) : kRawByte + static_cast<unsigned char>(s[i - 1]);
}

void decodeAll(std::string_view s, std::vector<Char>& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size();) out.push_back(decodeAt(s, i));
}

// A pattern compiled once: the characters of a "[...]" list as ranges, runs
// of "*" collapsed. A pattern made of literals and "*" only is matched by
// searching its literal pieces in the name's bytes.
class Pattern {
 public:
  explicit Pattern(std::string_view pattern) {
    std::vector<Char> chars;
    decodeAll(pattern, chars);
    bool plain = true;
    for (std::size_t i = 0; i < chars.size(); ++i) {
      const Char c = chars[i];
      if (c >= kRawByte) plain = false;
      switch (c) {
        case '*':
          if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun)
            tokens_.push_back({Kind::AnyRun});
          break;
        case '?':
          tokens_.push_back({Kind::AnyOne});
          plain = false;
          break;
        case '#':
          tokens_.push_back({Kind::Digit});
          plain = false;
          break;
        case '[':
          i = parseList(chars, i + 1);
          plain = false;
          break;
        default: tokens_.push_back({Kind::Literal, c});
      }
    }
    if (plain) splitPieces(pattern);
  }

  bool matchesEverything() const { return plain_ && pieces_.empty() && !anchoredStart_; }

  bool matches(std::string_view name, std::vector<Char>& scratch) const {
    if (plain_) return matchesPlain(name);
    decodeAll(name, scratch);
    return matchesTokens(scratch);
  }

 private:
  enum class Kind : uint8_t { Literal, AnyRun, AnyOne, Digit, List };
  struct Token {
    Kind kind;
    Char ch = 0;        // Literal
    uint32_t list = 0;  // List: index into lists_
  };
  struct CharList {
    bool negated = false;
    std::vector<std::pair<Char, Char>> ranges;
    bool contains(Char c) const {
      bool in = false;
      for (const auto& [lo, hi] : ranges) in = in || (c >= lo && c <= hi);
      return in != negated;
    }
  };

  // Parses the list after "[" and returns the index of its "]".
  std::size_t parseList(const std::vector<Char>& chars, std::size_t i) {
    CharList list;
    if (i < chars.size() && chars[i] == '!') {
      list.negated = true;
      ++i;
    }
    const std::size_t first = i;
    for (; i < chars.size() && chars[i] != ']'; ++i) {
      const Char lo = chars[i];
      // "-" first or last in the list stands for itself.
      if (lo != '-' || i == first) {
        if (i + 2 < chars.size() && chars[i + 1] == '-' && chars[i + 2] != ']') {
          const Char hi = chars[i + 2];
          if (hi < lo) common::fail(InvalidArgument);  // ranges run upwards only
          list.ranges.emplace_back(lo, hi);
          i += 2;
          continue;
        }
      }
      list.ranges.emplace_back(lo, lo);
    }
    if (i >= chars.size()) common::fail(InvalidArgument);  // unclosed "["
    // "[]" matches no character at all; "[!]" any one.
    if (!list.ranges.empty() || list.negated) {
      tokens_.push_back({Kind::List, 0, static_cast<uint32_t>(lists_.size())});
      lists_.push_back(std::move(list));
    }
    return i;
  }

  void splitPieces(std::string_view pattern) {
    plain_ = true;
    anchoredStart_ = pattern.empty() || pattern.front() != '*';
    anchoredEnd_ = pattern.empty() || pattern.back() != '*';
    std::size_t start = 0;
    for (;;) {
      const std::size_t star = pattern.find('*', start);
      const std::string_view piece = pattern.substr(
          start, star == std::string_view::npos ? std::string_view::npos : star - start);
      if (!piece.empty()) pieces_.emplace_back(piece);
      if (star == std::string_view::npos) break;
      start = star + 1;
    }
  }

  bool matchesPlain(std::string_view name) const {
    if (pieces_.empty()) return !anchoredStart_ || name.empty();  // "" or only stars
    if (anchoredStart_ && anchoredEnd_ && pieces_.size() == 1) return name == pieces_.front();
    std::size_t from = 0;
    std::size_t firstFree = 0;
    std::size_t lastFree = pieces_.size();
    if (anchoredStart_) {
      if (!name.starts_with(pieces_.front())) return false;
      from = pieces_.front().size();
      firstFree = 1;
    }
    std::size_t until = name.size();
    if (anchoredEnd_) {
      const std::string& tail = pieces_.back();
      if (name.size() < from + tail.size() || !name.ends_with(tail)) return false;
      until = name.size() - tail.size();
      lastFree = pieces_.size() - 1;
    }
    const std::string_view middle = name.substr(0, until);
    for (std::size_t k = firstFree; k < lastFree; ++k) {
      const std::size_t at = middle.find(pieces_[k], from);
      if (at == std::string_view::npos) return false;
      from = at + pieces_[k].size();
    }
    return true;
  }

  bool matchOne(const Token& t, Char c) const {
    switch (t.kind) {
      case Kind::Literal: return c == t.ch;
      case Kind::AnyOne: return true;
      case Kind::Digit: return c >= '0' && c <= '9';
      case Kind::List: return lists_[t.list].contains(c);
      case Kind::AnyRun: break;
    }
    return false;
  }

  // Every token but "*" takes exactly one character, so backing up to the
  // last "*" seen is enough.
  bool matchesTokens(const std::vector<Char>& name) const {
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::size_t p = 0, n = 0, starP = kNone, starN = 0;
    while (n < name.size()) {
      if (p < tokens_.size() && tokens_[p].kind == Kind::AnyRun) {
        starP = p++;
        starN = n;
      } else if (p < tokens_.size() && matchOne(tokens_[p], name[n])) {
        ++p, ++n;
      } else if (starP != kNone) {
        p = starP + 1;
        n = ++starN;
      } else {
        return false;
      }
    }
    while (p < tokens_.size() && tokens_[p].kind == Kind::AnyRun) ++p;
    return p == tokens_.size();
  }

  std::vector<Token> tokens_;
  std::vector<CharList> lists_;
  bool plain_ = false;
  bool anchoredStart_ = false;
  bool anchoredEnd_ = false;
  std::vector<std::string> pieces_;
};

// The patterns of one level, each "*" + item + "*" upper-cased, or an exact
// extension (an item after kExactExtension). An invalid item fails the
// level only when a file is first tested against it, as the items are tried
// in order and a match stops the test.
class LevelPatterns {
 public:
  explicit LevelPatterns(const std::vector<std::string>& items) {
    patterns_.reserve(items.size());
    for (const auto& item : items) {
      if (!item.empty() && item.front() == kExactExtension) {
        patterns_.push_back({std::nullopt, common::upperCase(std::string_view(item).substr(1))});
        continue;
      }
      try {
        patterns_.push_back({Pattern(common::upperCase("*" + item + "*")), std::nullopt});
      } catch (const common::RuntimeFailure& e) {
        patterns_.push_back({std::nullopt, std::nullopt});
        invalidNumber_ = e.number();
      }
    }
    // "All files": no name needs to be upper-cased or looked at.
    acceptsEverything_ = !patterns_.empty() && patterns_.front().pattern &&
                         patterns_.front().pattern->matchesEverything();
  }

  bool accepts(std::string_view name) {
    if (acceptsEverything_) return true;
    upperName_.clear();
    common::appendUpperCase(name, upperName_);
    const std::size_t dot = upperName_.rfind('.');
    const std::string_view extension = dot == std::string::npos
                                           ? std::string_view()
                                           : std::string_view(upperName_).substr(dot + 1);
    for (const auto& item : patterns_) {
      if (item.extension) {
        if (dot != std::string::npos && extension == *item.extension) return true;
        continue;
      }
      if (!item.pattern) common::fail(invalidNumber_);
      if (item.pattern->matches(upperName_, scratch_)) return true;
    }
    return false;
  }

 private:
  struct Item {
    std::optional<Pattern> pattern;
    std::optional<std::string> extension;  // exact, upper-cased
  };
  std::vector<Item> patterns_;
  int32_t invalidNumber_ = InvalidArgument;
  bool acceptsEverything_ = false;
  std::string upperName_;
  std::vector<Char> scratch_;
};

}  // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
  std::vector<Char> scratch;
  return Pattern(pattern).matches(name, scratch);
}

namespace {

// Levels nearer the top than this keep their folder open while their
// subfolders are searched, so that each subfolder is opened beneath its
// parent. A deeper level is reached from the deepest one still open: a tree
// of any depth needs no more descriptors than this.
constexpr int32_t kOpenLevels = 64;

// What every level of one search shares.
struct Search {
  const FindRequest& request;
  FindTotals& totals;
  std::optional<platform::FileIdentity> excluded;
};

// One level of the search: one folder, its files and, through further
// levels, its subfolders.
class Level {
 public:
  Level(Search& search, const Level* parent, std::string folder, int32_t depth)
      : search_(search),
        request_(search.request),
        parent_(parent),
        folder_(std::move(folder)),
        depth_(depth) {}

  bool search() {
    return common::guardLog("gFindFile", false, [&] {
      if (countLimitReached()) return true;
      folder_ = common::gAddBackslash(folder_);
      if (request_.progressLabel != nullptr) request_.progressLabel->setCaption(folder_);
      std::vector<std::string> items;
      int32_t lastIndex = 0;
      if (!gProcCharSplit(request_.patternList, ";", items, lastIndex)) {
        common::gProcError("gFindFile", "");
        return false;
      }
      if (depth_ == std::numeric_limits<int32_t>::max()) common::fail(Overflow);
      levelText_ = std::to_string(depth_ + 1);
      LevelPatterns patterns(items);
      if (!enter()) return true;
      std::vector<std::string> subfolderNames;
      if (!takeFiles(patterns, subfolderNames) || !request_.subFolders) return true;
      if (depth_ - request_.depth >= kOpenLevels) dir_.close();
      return descend(subfolderNames);
    });
  }

 private:
  bool countLimitReached() const {
    return request_.bounds.useCountLimit && search_.totals.fileCount == request_.bounds.countLimit;
  }

  // Said to whoever asked and written to the error log, never shown: the
  // window passes over what it cannot read.
  void notSearched(std::string path, int error) const {
    try {
      common::gSetErrLog(common::localDateTimeText() + "  gFindFile: " + path + " (" +
                             std::generic_category().message(error) + ")",
                         "");
    } catch (const common::RuntimeFailure&) {
    }
    if (request_.notSearched != nullptr)
      request_.notSearched->push_back(NotSearched{std::move(path), error});
  }

  // Opens this level's folder. False when there is nothing to search here:
  // the folder is missing, cannot be entered (said), or is the one left out.
  bool enter() {
    if (folder_.size() >= platform::kLongestPath) {
      notSearched(folder_, ENAMETOOLONG);
      return false;
    }
    if (const platform::OsError e = openFolder()) {
      if (e.code() != ENOENT) notSearched(folder_, e.code());
      return false;
    }
    if (!search_.excluded) return true;
    platform::FileIdentity identity;
    if (const platform::OsError e = dir_.identity(identity)) common::failErrno(e.code());
    return !identity.sameFile(*search_.excluded);
  }

  // The folder given is opened as named (a link to a folder is that folder);
  // every one below it beneath its parent, no link followed.
  platform::OsError openFolder() {
    if (parent_ == nullptr) return dir_.open(folder_);
    std::string_view below(folder_);
    below.remove_suffix(1);
    if (parent_->dir_.isOpen())
      return dir_.openChild(parent_->dir_, std::string(below.substr(parent_->folder_.size())));
    const Level* base = parent_;
    while (!base->dir_.isOpen()) base = base->parent_;
    return dir_.openBeneath(base->dir_, below.substr(base->folder_.size()));
  }

  // The entry is built in place: one allocation per accepted file. `found`
  // is the file as the search saw it, its size -1 for a folder.
  void emit(std::string_view tag, std::string_view head, std::string_view tail,
            const FoundFile& found) const {
    std::string entry;
    const bool tagged = request_.tagged;
    entry.reserve((tagged ? tag.size() + levelText_.size() + 1 : 0) + head.size() + tail.size());
    if (tagged) entry.append(tag).append(levelText_).append("*");
    entry.append(head).append(tail);
    if (request_.entrySink) {
      request_.entrySink(std::move(entry), found.size);
    } else if (request_.resultList != nullptr) {
      request_.resultList->push_back(std::move(entry));
      if (request_.resultSizes != nullptr) request_.resultSizes->push_back(found.size);
      if (request_.resultFiles != nullptr) request_.resultFiles->push_back(found);
    } else if (request_.resultText != nullptr) {
      request_.resultText->append(entry).append("\r\n");
    }
  }

  // Takes the accepted files of this folder and notes its subfolders. False
  // when the search ends here, at the count limit.
  bool takeFiles(LevelPatterns& patterns, std::vector<std::string>& subfolderNames) {
    std::vector<platform::DirEntry> entries;
    if (const platform::OsError e = dir_.read(entries)) common::failErrno(e.code());
    // Only the folders and the files that qualify are put in order: most of
    // a large folder may be other files.
    std::erase_if(entries, [&](const platform::DirEntry& entry) {
      return !entry.isDirectory && !patterns.accepts(entry.name);
    });
    sortInFolderOrder(entries);
    FindTotals& totals = search_.totals;
    for (auto& entry : entries) {
      if (entry.isDirectory) {
        subfolderNames.push_back(std::move(entry.name));
        continue;
      }
      platform::FileIdentity seen;
      if (const platform::OsError e = dir_.fileIdentity(entry.name, seen))
        common::failErrno(e.code());
      const int64_t length = seen.size;
      if (request_.bounds.useMinSize && length < request_.bounds.minSizeBytes) continue;
      if (request_.bounds.useMaxSize && length > request_.bounds.maxSizeBytes) continue;
      if (countLimitReached()) return false;
      // Listed, it could be neither moved nor copied.
      if (folder_.size() + entry.name.size() > platform::kLongestPath) {
        notSearched(folder_ + entry.name, ENAMETOOLONG);
        continue;
      }
      if (totals.fileCount == std::numeric_limits<int32_t>::max()) common::fail(Overflow);
      int64_t newTotal = 0;
      if (__builtin_add_overflow(totals.byteTotal, length, &newTotal)) common::fail(Overflow);
      emit("_____file", request_.fullPath ? std::string_view(folder_) : std::string_view(),
           entry.name,
           FoundFile{length, seen.modifiedSeconds, static_cast<int32_t>(seen.modifiedNanoseconds),
                     seen.device, seen.inode, !entry.isLink});
      ++totals.fileCount;
      totals.byteTotal = newTotal;
    }
    return true;
  }

  // Only now that this folder's listing is closed.
  bool descend(const std::vector<std::string>& subfolderNames) {
    for (const auto& name : subfolderNames) {
      std::string sub = folder_ + name;
      if (request_.listFolders) emit("directory", common::gAddBackslash(sub), {}, FoundFile{});
      if (!Level(search_, this, std::move(sub), depth_ + 1).search()) {
        common::gProcError("gFindFile", "");
        return false;
      }
    }
    return true;
  }

  Search& search_;
  const FindRequest& request_;
  const Level* parent_;
  std::string folder_;
  int32_t depth_;
  std::string levelText_;
  platform::Directory dir_;
};

}  // namespace

bool findFiles(const FindRequest& request, FindTotals& totals) {
  Search search{request, totals, std::nullopt};
  platform::FileIdentity excluded;
  if (!request.excludedFolder.empty() &&
      platform::identityOf(request.excludedFolder, excluded).ok())
    search.excluded = excluded;
  return Level(search, nullptr, request.folder, request.depth).search();
}

}  // namespace msifter::engine
