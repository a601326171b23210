// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/identical_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "library_index.h"
#include "parallel_compare.h"
#include "platform/clock.h"
#include "platform/file_reading.h"
#include "platform/folder_listing.h"

namespace msifter::engine {

using platform::FileIdentity;
using platform::LastLink;
using platform::OsError;
using platform::ReadOnlyFile;

namespace {

constexpr uint32_t kNone = UINT32_MAX;
// What is compared at a time: two buffers of it stay in the processor's cache.
constexpr std::size_t kChunk = 256 * 1024;
// What is seen of a file at a time.
constexpr int64_t kWindow = 64 * 1024 * 1024;
// A folder changed this recently may change again within the same tick of
// the file system's clock without its times showing it: its listing is
// kept, but not trusted next time.
constexpr int64_t kSettledSeconds = 2;
constexpr int64_t kProgressEvery = 1024;
// A file takes at least this much of its folder's listing in the index.
constexpr std::size_t kStoredBytesPerFile = 80;

std::string joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + '/' + name;
}

Digest digestOf(const ContentDigest& digest, const unsigned char* bytes, std::size_t count) {
  const std::unique_ptr<DigestState> state = digest.start();
  state->update(bytes, count);
  return state->finish();
}

// One comparison under way: equal so far, and the digests it feeds.
struct Pass {
  bool same = true;
  DigestState* sourceWhole = nullptr;
  DigestState* copyWhole = nullptr;
};

// Bytes of both files side by side: buffers, or mapped windows read only
// inside platform::readMapped.
struct Side {
  Pass* pass;
  const unsigned char* source;
  const unsigned char* copy;
  std::size_t count;
};

// Piece by piece, so that the digests read what the comparison just
// brought into the processor's cache.
void compareSide(void* context) {
  const Side& side = *static_cast<const Side*>(context);
  Pass& pass = *side.pass;
  for (std::size_t at = 0; at < side.count; at += kChunk) {
    const std::size_t n = std::min(kChunk, side.count - at);
    if (pass.same) pass.same = std::memcmp(side.source + at, side.copy + at, n) == 0;
    if (pass.copyWhole) pass.copyWhole->update(side.copy + at, n);
    if (pass.sourceWhole) pass.sourceWhole->update(side.source + at, n);
    if (!pass.same && !pass.copyWhole && !pass.sourceWhole) return;
  }
}

}  // namespace

bool isSidecar(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string extension(name.substr(dot + 1));
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension == "xmp" || extension == "thm" || extension == "aae";
}

struct IdenticalFiles::State {
  struct Entry {
    IndexedFile file;
    uint32_t folder = kNone;  // kNone: added during the run, by the name it was added by
    uint32_t next = kNone;    // the next file of the same size in the same list
    bool identityKnown = true;
    // Its identity was seen this run; one the index holds is seen again
    // before anything kept of it is used.
    bool checked = true;
    bool gone = false;  // cannot be read this run
    // Where it is found: among the files of its size not seen yet this run
    // or whose first block was not read yet, or by the digest of its first
    // block.
    enum class Place : uint8_t { None, Unchecked, Unread, ByHead } place = Place::None;
  };
  struct Folder {
    std::string path;  // below the root, "" for the root itself
    FileIdentity identity;
    std::vector<std::string> folders;
    uint32_t first = 0;
    uint32_t count = 0;
    bool changed = false;  // differs from what the index holds
  };
  // A list of files, linked through Entry::next.
  struct Chain {
    uint32_t first = kNone;
    uint32_t last = kNone;
  };
  struct SameSize {
    uint32_t count = 0;  // files of this size
    Chain unchecked;     // those the index holds, not seen yet this run
    Chain unread;        // those whose first block was not read yet
  };
  struct DigestHash {
    std::size_t operator()(const Digest& d) const {
      std::size_t h = 0;
      std::memcpy(&h, d.data(), sizeof h);
      return h;
    }
  };
  // The file being looked for; its first block is in `head`.
  struct Source {
    ReadOnlyFile file;
    int64_t size = 0;
    std::size_t headBytes = 0;
    Digest head{};
    bool wholeKnown = false;
    Digest whole{};
    // Its whole digest is worth reading for: more than one file may hold its bytes.
    bool wantWhole = false;
  };
  struct Match {
    FileIdentity source;
    uint32_t copy = kNone;
  };

  using Pending = std::vector<std::pair<std::string, std::optional<FileIdentity>>>;

  explicit State(const ContentDigest& contentDigest)
      : digest(contentDigest), head(kHeadBytes), a(kChunk), b(kChunk) {}

  OsError walk(const std::string& folder, const Options& options);
  OsError visit(const std::string& path, const std::optional<FileIdentity>& known,
                Pending& pending);
  void takeListing(const std::vector<platform::FolderEntry>& listed, FolderSnapshot* old,
                   Folder& folder, Pending& pending);
  void addEntry(IndexedFile file, uint32_t folder, bool identityKnown, bool checked = true);
  void link(uint32_t i);
  void unlink(uint32_t i);
  void append(Chain& chain, uint32_t i);
  void remove(Chain& chain, uint32_t i);
  std::vector<uint32_t> take(Chain& chain);
  void refresh(uint32_t i, const FileIdentity& now);
  void check(uint32_t i);
  std::vector<uint32_t> headMatches(const Source& source);
  std::string pathOf(uint32_t i) const;
  bool openEntry(uint32_t i, ReadOnlyFile& file);
  std::string lookUp(const std::string& path, int64_t size);
  uint32_t compareKnown(Source& source, const std::vector<uint32_t>& known);
  bool digestWhole(Source& source);
  bool examine(Source& source, uint32_t i);
  bool compareRest(Source& source, ReadOnlyFile& copy, bool same, IndexedFile& learnt);
  bool compareMapped(Source& source, ReadOnlyFile& copy, Pass& pass, int64_t& from);
  bool compareRead(Source& source, ReadOnlyFile& copy, Pass& pass, int64_t from);
  uint32_t remembered(const FileIdentity& source);
  void save();

  const ContentDigest& digest;
  LibraryIndex index;
  bool indexed = false;  // an index is kept
  platform::UniqueFd root;
  int64_t openedAt = 0;
  std::vector<Folder> folders;
  std::vector<Entry> entries;
  std::unordered_map<int64_t, SameSize> bySize;
  std::unordered_multimap<Digest, uint32_t, DigestHash> byHead;
  // Sources found earlier in the run, by inode.
  std::unordered_map<uint64_t, Match> matches;
  std::vector<unsigned char> head, a, b;
  ParallelCompare parallel;
};

// --- The look at the library

OsError IdenticalFiles::State::walk(const std::string& folder, const Options& options) {
  FileIdentity rootIdentity;
  if (OsError e = platform::openTreeRoot(folder, root, rootIdentity)) return e;
  openedAt = static_cast<int64_t>(platform::now());
  if (options.keepIndex) {
    std::string key = folder;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    const std::string cache = options.cacheFolder.empty() ? userCacheFolder() : options.cacheFolder;
    index.open(cache, key, digest.name());
    indexed = true;
    // Room for the files the index knows, so that a large library is not
    // moved about in memory as it is read.
    const std::size_t files = index.storedBytes() / kStoredBytesPerFile;
    entries.reserve(files);
    bySize.reserve(files);
    byHead.reserve(files);
  }
  IndexProgress progress{.files = 0, .firstBuild = index.empty()};
  int64_t reported = 0;
  Pending pending{{std::string(), rootIdentity}};
  while (!pending.empty()) {
    auto [path, known] = std::move(pending.back());
    pending.pop_back();
    const OsError e = visit(path, known, pending);
    // A subfolder that cannot be read holds no match; the root must be read.
    if (e && folders.empty()) return e;
    progress.files = static_cast<int64_t>(entries.size());
    if (options.progress && progress.files - reported >= kProgressEvery) {
      options.progress(progress);
      reported = progress.files;
    }
  }
  if (options.progress) options.progress(progress);
  return {};
}

OsError IdenticalFiles::State::visit(const std::string& path,
                                     const std::optional<FileIdentity>& known, Pending& pending) {
  FileIdentity now;
  if (known)
    now = *known;
  else if (OsError e = platform::folderIdentity(root.get(), path, now))
    return e;
  FolderSnapshot old;
  const bool hadOld = indexed && index.take(path, old);
  Folder folder;
  folder.path = path;
  folder.first = static_cast<uint32_t>(entries.size());
  const auto number = static_cast<uint32_t>(folders.size());
  if (hadOld && old.identity == now) {
    folder.identity = now;
    for (IndexedFile& f : old.files) addEntry(std::move(f), number, true, false);
    for (const std::string& name : old.folders)
      pending.emplace_back(joined(path, name), std::nullopt);
    folder.folders = std::move(old.folders);
  } else {
    std::vector<platform::FolderEntry> listed;
    if (OsError e = platform::listFolder(root.get(), path, folder.identity, listed)) return e;
    // Replaced since its parent was read: not the folder that was found.
    if (!folder.identity.sameFile(now)) return OsError(ESTALE, "openat", path);
    takeListing(listed, hadOld ? &old : nullptr, folder, pending);
  }
  folder.count = static_cast<uint32_t>(entries.size()) - folder.first;
  folders.push_back(std::move(folder));
  return {};
}

// The files and folders of a folder listed anew; digests known of a file
// that has not changed since are kept.
void IdenticalFiles::State::takeListing(const std::vector<platform::FolderEntry>& listed,
                                        FolderSnapshot* old, Folder& folder, Pending& pending) {
  std::unordered_map<std::string_view, const IndexedFile*> before;
  if (old != nullptr)
    for (const IndexedFile& f : old->files) before.emplace(f.name, &f);
  const auto number = static_cast<uint32_t>(folders.size());
  for (const platform::FolderEntry& entry : listed) {
    if (entry.kind == platform::FolderEntry::Kind::Folder) {
      pending.emplace_back(joined(folder.path, entry.name), entry.identity);
      folder.folders.push_back(entry.name);
      continue;
    }
    IndexedFile file{.name = entry.name, .identity = entry.identity};
    if (const auto it = before.find(entry.name);
        it != before.end() && it->second->identity == entry.identity) {
      file = *it->second;
    }
    addEntry(std::move(file), number, true);
  }
  folder.changed = true;
}

// --- Files by size

void IdenticalFiles::State::addEntry(IndexedFile file, uint32_t folder, bool identityKnown,
                                     bool checked) {
  entries.push_back(Entry{.file = std::move(file),
                          .folder = folder,
                          .identityKnown = identityKnown,
                          .checked = checked});
  link(static_cast<uint32_t>(entries.size() - 1));
}

// Anything kept of a file the index holds waits until the file is seen
// unchanged: until then it is not even a reason to pass the file over.
void IdenticalFiles::State::link(uint32_t i) {
  Entry& e = entries[i];
  SameSize& same = bySize[e.file.identity.size];
  ++same.count;
  if (e.identityKnown && !e.checked) {
    append(same.unchecked, i);
    e.place = Entry::Place::Unchecked;
  } else if (e.file.headKnown) {
    byHead.emplace(e.file.head, i);
    e.place = Entry::Place::ByHead;
  } else {
    append(same.unread, i);
    e.place = Entry::Place::Unread;
  }
}

void IdenticalFiles::State::unlink(uint32_t i) {
  Entry& e = entries[i];
  if (e.place == Entry::Place::None) return;
  SameSize& same = bySize[e.file.identity.size];
  --same.count;
  if (e.place == Entry::Place::ByHead) {
    const auto [first, last] = byHead.equal_range(e.file.head);
    for (auto it = first; it != last; ++it)
      if (it->second == i) {
        byHead.erase(it);
        break;
      }
  } else {
    remove(e.place == Entry::Place::Unread ? same.unread : same.unchecked, i);
  }
  e.place = Entry::Place::None;
}

void IdenticalFiles::State::append(Chain& chain, uint32_t i) {
  entries[i].next = kNone;
  if (chain.first == kNone)
    chain.first = i;
  else
    entries[chain.last].next = i;
  chain.last = i;
}

void IdenticalFiles::State::remove(Chain& chain, uint32_t i) {
  uint32_t previous = kNone;
  for (uint32_t at = chain.first; at != kNone; previous = at, at = entries[at].next) {
    if (at != i) continue;
    (previous == kNone ? chain.first : entries[previous].next) = entries[i].next;
    if (chain.last == i) chain.last = previous;
    return;
  }
}

// The files of a list, out of it (link() puts each back where it belongs).
std::vector<uint32_t> IdenticalFiles::State::take(Chain& chain) {
  std::vector<uint32_t> taken;
  for (uint32_t i = chain.first; i != kNone; i = entries[i].next) {
    taken.push_back(i);
    entries[i].place = Entry::Place::None;
    --bySize[entries[i].file.identity.size].count;
  }
  chain = Chain{};
  return taken;
}

// A file found other than it was indexed (written to since, or added by a
// name only): what was known of it goes, and it counts at its length now.
void IdenticalFiles::State::refresh(uint32_t i, const FileIdentity& now) {
  Entry& e = entries[i];
  const bool placed = e.place != Entry::Place::None;
  unlink(i);
  e.file.identity = now;
  e.identityKnown = true;
  e.checked = true;
  e.file.headKnown = false;
  e.file.wholeKnown = false;
  if (placed) link(i);
  if (e.folder != kNone) folders[e.folder].changed = true;
}

// A file the index holds, looked at again before its digests are used.
void IdenticalFiles::State::check(uint32_t i) {
  FileIdentity now;
  if (platform::identityAt(root.get(), pathOf(i), LastLink::Refuse, now))
    entries[i].gone = true;
  else if (now != entries[i].file.identity)
    refresh(i, now);
  entries[i].checked = true;
}

std::string IdenticalFiles::State::pathOf(uint32_t i) const {
  const Entry& e = entries[i];
  return e.folder == kNone ? e.file.name : joined(folders[e.folder].path, e.file.name);
}

// Opens a file of the library, never through a link, and takes note of
// what it is now. False when it cannot be read this run.
bool IdenticalFiles::State::openEntry(uint32_t i, ReadOnlyFile& file) {
  if (file.open(root.get(), pathOf(i), LastLink::Refuse)) {
    entries[i].gone = true;
    return false;
  }
  if (!entries[i].identityKnown || file.identity() != entries[i].file.identity)
    refresh(i, file.identity());
  return true;
}

// --- Look-ups

std::string IdenticalFiles::State::lookUp(const std::string& path, int64_t size) {
  const auto same = bySize.find(size);
  if (same == bySize.end() || same->second.count == 0) return {};
  Source source;
  if (source.file.open(path, LastLink::Follow) || source.file.identity().size != size) return {};
  if (const uint32_t known = remembered(source.file.identity()); known != kNone)
    return pathOf(known);
  source.size = size;
  source.headBytes = static_cast<std::size_t>(std::min(size, kHeadBytes));
  std::size_t got = 0;
  if (source.file.read(head.data(), source.headBytes, got) || got != source.headBytes) return {};
  source.head = digestOf(digest, head.data(), source.headBytes);
  for (const uint32_t i : take(bySize[size].unchecked)) {
    check(i);
    link(i);
  }
  const std::vector<uint32_t> known = headMatches(source);
  const std::vector<uint32_t> unread = take(bySize[size].unread);
  source.wantWhole = known.size() + unread.size() > 1;
  // Files of this size seen for the first time are each read once: the
  // first block, and a file whose first block agrees is compared to its end.
  uint32_t match = kNone;
  for (const uint32_t i : unread) {
    if (!entries[i].gone && examine(source, i) && match == kNone) match = i;
    if (entries[i].place == Entry::Place::None) link(i);
  }
  if (match == kNone) match = compareKnown(source, known);
  if (match == kNone) return {};
  matches[source.file.identity().inode] = Match{source.file.identity(), match};
  return pathOf(match);
}

// The files of the source's size whose first block has the source's
// digest.
std::vector<uint32_t> IdenticalFiles::State::headMatches(const Source& source) {
  std::vector<uint32_t> found;
  const auto [first, last] = byHead.equal_range(source.head);
  for (auto it = first; it != last; ++it) found.push_back(it->second);
  std::erase_if(found, [&](uint32_t i) {
    const Entry& e = entries[i];
    // A file is never a copy of itself (the source may lie in the library).
    return e.gone || e.place != Entry::Place::ByHead || e.file.identity.size != source.size ||
           e.file.head != source.head || e.file.identity.sameFile(source.file.identity());
  });
  return found;
}

// Among files whose digests are known, those that may hold the source's
// bytes are compared with it. When several share its first block, the
// digest of all its bytes tells those that cannot.
uint32_t IdenticalFiles::State::compareKnown(Source& source, const std::vector<uint32_t>& known) {
  const bool wholesKnown = std::any_of(known.begin(), known.end(),
                                       [&](uint32_t i) { return entries[i].file.wholeKnown; });
  if (known.size() > 1 && wholesKnown && !source.wholeKnown && !digestWhole(source)) return kNone;
  for (const uint32_t i : known) {
    const IndexedFile& f = entries[i].file;
    if (entries[i].gone) continue;
    if (f.wholeKnown && source.wholeKnown && f.whole != source.whole) continue;
    if (examine(source, i)) return i;
  }
  return kNone;
}

bool IdenticalFiles::State::digestWhole(Source& source) {
  if (source.file.seek(0)) return false;
  const std::unique_ptr<DigestState> state = digest.start();
  for (int64_t left = source.size; left > 0;) {
    const auto want = static_cast<std::size_t>(std::min<int64_t>(left, kChunk));
    std::size_t got = 0;
    if (source.file.read(a.data(), want, got) || got != want) return false;
    state->update(a.data(), want);
    left -= static_cast<int64_t>(want);
  }
  source.whole = state->finish();
  source.wholeKnown = true;
  return true;
}

// Reads file `i`, learning its digests, and compares it with the source
// when its first block agrees. True only when every byte is equal, neither
// file changed while they were read, and `i` still has its name.
bool IdenticalFiles::State::examine(Source& source, uint32_t i) {
  ReadOnlyFile copy;
  if (!openEntry(i, copy)) return false;
  const FileIdentity& id = entries[i].file.identity;
  if (id.size != source.size || id.sameFile(source.file.identity())) return false;
  std::size_t got = 0;
  if (copy.read(a.data(), source.headBytes, got) || got != source.headBytes) return false;
  IndexedFile learnt = entries[i].file;
  if (!learnt.headKnown) learnt.head = digestOf(digest, a.data(), source.headBytes);
  learnt.headKnown = true;
  bool same = learnt.head == source.head;
  if (same && std::memcmp(a.data(), head.data(), source.headBytes) != 0) same = false;
  if (source.size <= kHeadBytes) {
    learnt.whole = learnt.head;
    learnt.wholeKnown = true;
  } else if (learnt.head == source.head) {
    same = compareRest(source, copy, same, learnt);
  }
  // Bytes read while the file was being written tell nothing of it.
  if (!copy.unchanged()) return false;
  const bool placed = entries[i].place != Entry::Place::None;
  unlink(i);
  entries[i].file = std::move(learnt);
  if (placed) link(i);
  if (entries[i].folder != kNone) folders[entries[i].folder].changed = true;
  FileIdentity there;
  return same && source.file.unchanged() &&
         !platform::identityAt(root.get(), pathOf(i), LastLink::Refuse, there) &&
         there == copy.identity();
}

// Compares the rest of the source with `copy` (whose first block is in
// `a`), while `same`, and digests each whole as far as its digest is not
// known yet. True when every byte was equal.
bool IdenticalFiles::State::compareRest(Source& source, ReadOnlyFile& copy, bool same,
                                        IndexedFile& learnt) {
  Pass pass{.same = same};
  std::unique_ptr<DigestState> copyWhole = learnt.wholeKnown ? nullptr : digest.start();
  std::unique_ptr<DigestState> sourceWhole =
      source.wholeKnown || !source.wantWhole ? nullptr : digest.start();
  pass.copyWhole = copyWhole.get();
  pass.sourceWhole = sourceWhole.get();
  if (copyWhole) copyWhole->update(a.data(), source.headBytes);
  if (sourceWhole) sourceWhole->update(head.data(), source.headBytes);
  auto from = static_cast<int64_t>(source.headBytes);
  if (!compareMapped(source, copy, pass, from)) return false;
  if (from < source.size && !compareRead(source, copy, pass, from)) return false;
  if (copyWhole) {
    learnt.whole = copyWhole->finish();
    learnt.wholeKnown = true;
  }
  if (sourceWhole) {
    source.whole = sourceWhole->finish();
    source.wholeKnown = true;
  }
  return pass.same;
}

// Seen in place, the bytes of neither file are copied into buffers first.
// False when a file was cut short or failed meanwhile; `from` stays where a file could not be
// mapped (a file system that cannot), for compareRead to go on.
bool IdenticalFiles::State::compareMapped(Source& source, ReadOnlyFile& copy, Pass& pass,
                                          int64_t& from) {
  while (from < source.size) {
    if (!pass.same && !pass.copyWhole && !pass.sourceWhole) return false;
    const int64_t start = from / platform::kWindowAlignment * platform::kWindowAlignment;
    const auto count = static_cast<std::size_t>(std::min(kWindow, source.size - start));
    platform::FileWindow sourceWindow;
    platform::FileWindow copyWindow;
    if (source.file.map(start, count, sourceWindow) || copy.map(start, count, copyWindow))
      return true;
    const auto skip = static_cast<std::size_t>(from - start);
    Side side{&pass, sourceWindow.data() + skip, copyWindow.data() + skip, count - skip};
    // With nothing to digest (the digests are known), the comparison alone
    // is shared between two processors.
    if (!pass.copyWhole && !pass.sourceWhole)
      pass.same = parallel.equal(side.source, side.copy, side.count);
    else if (!platform::readMapped(compareSide, &side))
      return false;
    from = start + static_cast<int64_t>(count);
  }
  return true;
}

bool IdenticalFiles::State::compareRead(Source& source, ReadOnlyFile& copy, Pass& pass,
                                        int64_t from) {
  if (source.file.seek(from) || copy.seek(from)) return false;
  for (int64_t left = source.size - from; left > 0;) {
    if (!pass.same && !pass.copyWhole && !pass.sourceWhole) return false;
    const auto want = static_cast<std::size_t>(std::min<int64_t>(left, kChunk));
    std::size_t fromSource = 0;
    std::size_t fromCopy = 0;
    if (source.file.read(a.data(), want, fromSource) || fromSource != want ||
        copy.read(b.data(), want, fromCopy) || fromCopy != want)
      return false;
    Side side{&pass, a.data(), b.data(), want};
    compareSide(&side);
    left -= static_cast<int64_t>(want);
  }
  return true;
}

// A source found earlier in the run, when neither it nor its copy has
// changed since: the bytes compared then are the bytes of both now.
uint32_t IdenticalFiles::State::remembered(const FileIdentity& source) {
  const auto found = matches.find(source.inode);
  if (found == matches.end() || found->second.source != source) return kNone;
  const uint32_t i = found->second.copy;
  FileIdentity there;
  if (entries[i].gone || platform::identityAt(root.get(), pathOf(i), LastLink::Refuse, there) ||
      there != entries[i].file.identity)
    return kNone;
  return i;
}

// --- What is kept for the next run

void IdenticalFiles::State::save() {
  if (!indexed) return;
  std::vector<std::pair<std::string, FolderSnapshot>> changed;
  for (Folder& folder : folders) {
    if (!folder.changed) continue;
    FolderSnapshot snapshot;
    const FileIdentity& id = folder.identity;
    // Times within the last moments may not show the next change.
    if (std::max(id.modifiedSeconds, id.changedSeconds) < openedAt - kSettledSeconds)
      snapshot.identity = id;
    snapshot.files.reserve(folder.count);
    for (uint32_t i = folder.first; i < folder.first + folder.count; ++i)
      snapshot.files.push_back(entries[i].file);
    snapshot.folders = folder.folders;
    changed.emplace_back(folder.path, std::move(snapshot));
    folder.changed = false;
  }
  index.save(changed);
}

// --- The public face

IdenticalFiles::IdenticalFiles() : IdenticalFiles(Options{}) {}

IdenticalFiles::IdenticalFiles(Options options) : options_(std::move(options)) {}

IdenticalFiles::~IdenticalFiles() {
  try {
    saveIndex();
  } catch (...) {
    // The index is only a cache; a run never fails for it.
  }
}

OsError IdenticalFiles::open(const std::string& folder) {
  saveIndex();
  state_ = std::make_unique<State>(options_.digest ? *options_.digest : xxh3Digest());
  OsError e = state_->walk(folder, options_);
  if (e) state_.reset();
  return e;
}

std::string IdenticalFiles::findIdentical(const std::string& path, int64_t size) {
  if (isSidecar(path)) return {};
  return findCopy(path, size);
}

std::string IdenticalFiles::findCopy(const std::string& path, int64_t size) {
  return state_ ? state_->lookUp(path, size) : std::string();
}

void IdenticalFiles::add(const std::string& name, int64_t size) {
  if (!state_) return;
  FileIdentity unknown;
  unknown.size = size;
  state_->addEntry(IndexedFile{.name = name, .identity = unknown}, kNone, false);
}

void IdenticalFiles::saveIndex() {
  if (state_) state_->save();
}

}  // namespace msifter::engine
