// SPDX-License-Identifier: GPL-3.0-or-later
// Settling a journal that its writer left open: each file planned or being
// undone is looked at where the journal says it may be, and what is found
// there is written down. Nothing is ever removed that the program did not
// make: only a second name or a copy of a file that is still whole at the
// place it came from.
#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "backup_copies.h"
#include "engine/recorded_file.h"
#include "journal_file.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/own_files.h"
#include "platform/source_tree.h"

namespace msifter::engine::detail {

namespace {

using platform::FileIdentity;
using platform::LastLink;
using platform::OsError;

struct Look {
  bool there = false;
  bool unknown = false;  // the look itself failed: nothing can be told now
  FileIdentity st;
};

Look look(const std::string& path) {
  Look l;
  if (const OsError e = platform::identityOf(path, LastLink::Refuse, l.st)) {
    l.unknown = !e.nothingThere();
  } else {
    l.there = true;
  }
  return l;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool sameTime(const FileIdentity& st, int64_t seconds, int32_t nanoseconds) {
  return st.modifiedSeconds == seconds && st.modifiedNanoseconds == nanoseconds;
}

// The file at a path is the one the journal recorded: its size and time,
// and its inode where the transfer kept it (a rename within one file system).
bool asRecorded(const FileIdentity& st, int64_t size, int64_t seconds, int32_t nanoseconds,
                uint64_t device, uint64_t inode) {
  return st.size == size && sameTime(st, seconds, nanoseconds) &&
         (st.device != device || st.inode == inode);
}

bool emptyFolder(const std::string& path) {
  platform::Directory folder;
  bool any = false;
  // One that cannot be opened counts as holding something; one that fails
  // while it is read, as holding nothing that could be told.
  return !folder.open(path) && (folder.hasEntries(any) || !any);
}

// The folder at `path` is the root of a file system mounted there now.
bool mountedAt(const std::string& path) {
  FileIdentity here, above;
  if (platform::identityOf(path, LastLink::Refuse, here) || !here.isFolder()) return false;
  return path == "/" || (!platform::identityOf(folderOf(path), LastLink::Refuse, above) &&
                         above.device != here.device);
}

// A source not seen at its path is gone from it only where its folder is
// the one the run took it from: not the bare mount point of a card taken
// out. A file system mounted again may come back under another device
// number: its root, as the run found it, is then mounted again, and holds
// the folder. (A journal without its roots: an empty folder on another file
// system counts as a mount point left bare.)
bool sourceFolderThere(const std::string& source, uint64_t device, const MountRoots& mounts) {
  const std::string folder = folderOf(source);
  FileIdentity st;
  if (platform::identityOf(folder, LastLink::Refuse, st) || !st.isFolder()) return false;
  if (st.device == device) return true;
  const auto root = mounts.find(device);
  if (root == mounts.end()) return !emptyFolder(folder);
  FileIdentity rootNow;
  return mountedAt(root->second) &&
         !platform::identityOf(root->second, LastLink::Refuse, rootNow) &&
         rootNow.device == st.device;
}

IntentOutcome left(const TransferIntent& i, LeftAs how) {
  IntentOutcome o;
  o.line = outcomeLine(i.number, how);
  o.how = how;
  return o;
}

IntentOutcome transferred(const TransferIntent& i, const FileIdentity& made,
                          const std::string& base) {
  IntentOutcome o;
  o.transferred = true;
  TransferredFile& done = o.done;
  done.kind = i.copy ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved;
  done.source = i.source;
  done.destination = i.destination;
  done.size = i.size;
  done.modifiedSeconds = i.modifiedSeconds;
  done.modifiedNanoseconds = i.modifiedNanoseconds;
  done.device = made.device;
  done.inode = made.inode;
  done.number = i.number;
  o.line = fileLine(i.number, o.done, base);
  return o;
}

// Removes `path` only while it is still the file that was looked at,
// reached through the folders beneath `root` (a run's source, destination
// or backup folder) without following a link: a folder swapped for a link
// since never leads the removal elsewhere.
bool removeLooked(const std::string& root, const std::string& path, const FileIdentity& looked) {
  platform::SourceTree tree;
  platform::SourceFile file;
  FileIdentity now;
  if (tree.open(root) || tree.reach(path, file) ||
      platform::lookAt(file.at(), file.name, LastLink::Refuse, now) || !now.sameFile(looked))
    return false;
  const OsError e = platform::removeFileAt(file.at(), file.name);
  return !e || e.code() == ENOENT;
}

// A moved file found at both its source and its new path (beneath
// `destination`).
IntentOutcome bothThere(const TransferIntent& i, const Look& source, const Look& made,
                        const std::string& destination) {
  // A second name made by a move without atomic renames, cut short: the new one goes.
  const bool secondName = source.st.sameFile(made.st);
  // The run's own copy of a source that is still whole: the copy goes, so
  // that the file is in one place again and only what the run made is taken.
  const bool ownCopy =
      !secondName &&
      asRecorded(source.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, i.device, i.inode) &&
      made.st.isFile() && made.st.size == i.size &&
      sameTime(made.st, i.modifiedSeconds, i.modifiedNanoseconds) &&
      sameBytes(i.source, i.destination);
  if (!secondName && !ownCopy) return left(i, LeftAs::BothKept);
  if (!removeLooked(destination, i.destination, made.st)) return {};
  return left(i, LeftAs::CopyDropped);
}

std::string withSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// The backup path of a new path; "" when there is none.
std::string backupOf(const std::string& destination, const BackupPlace& place) {
  if (place.backup.empty()) return {};
  const std::string folder = withSeparator(place.destination);
  if (!destination.starts_with(folder)) return {};
  return withSeparator(place.backup) + destination.substr(folder.size());
}

// A file transferred takes its backup along where the backup holds its
// bytes; a backup of a file that stayed whole at its source is the run's
// own (the destination's copy went the same way) and is taken away.
void settleBackup(const TransferIntent& i, const std::string& backup, const BackupPlace& place,
                  const std::string& base, IntentOutcome& o) {
  const Look copy = look(backup);
  if (!copy.there || !copy.st.isFile()) return;
  if (o.transferred) {
    if (copy.st.size != o.done.size || !sameBytes(i.destination, backup)) return;
    o.backup = BackupCopy{backup, copy.st.device, copy.st.inode};
    appendBackedUpLine(o.line, i.number, o.backup, base);
  } else if ((o.how == LeftAs::Untouched || o.how == LeftAs::CopyDropped) &&
             copy.st.size == i.size && sameBytes(i.source, backup)) {
    static_cast<void>(removeLooked(place.backup, backup, copy.st));
  }
}

IntentOutcome settleFile(const TransferIntent& i, const std::string& base, const MountRoots& mounts,
                         const std::string& destination);

}  // namespace

IntentOutcome settleIntent(const TransferIntent& i, const std::string& base,
                           const MountRoots& mounts, const BackupPlace& backup) {
  IntentOutcome o = settleFile(i, base, mounts, backup.destination);
  if (const std::string path = backupOf(i.destination, backup); !path.empty() && !o.line.empty())
    settleBackup(i, path, backup, base, o);
  return o;
}

namespace {

IntentOutcome settleFile(const TransferIntent& i, const std::string& base, const MountRoots& mounts,
                         const std::string& destination) {
  const Look made = look(i.destination);
  if (made.unknown) return {};
  if (i.copy) {
    // A copy is named only once it is whole.
    if (!made.there) return left(i, LeftAs::Untouched);
    if (made.st.isLink() ||
        asRecorded(made.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, 0, 0))
      return transferred(i, made.st, base);
    return left(i, LeftAs::NotAsRecorded);
  }
  const Look source = look(i.source);
  if (source.unknown) return {};
  if (source.there && made.there) return bothThere(i, source, made, destination);
  if (source.there) return left(i, LeftAs::Untouched);
  if (!sourceFolderThere(i.source, i.device, mounts)) return {};
  if (!made.there) return left(i, LeftAs::Missing);
  if (asRecorded(made.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, i.device, i.inode))
    return transferred(i, made.st, base);
  return left(i, LeftAs::NotAsRecorded);
}

}  // namespace

std::string settleUndoing(const JournalEntry& e, const MountRoots& mounts,
                          const std::string& sourceRoot) {
  const TransferredFile& f = e.file;
  const Look made = look(f.destination);
  if (made.unknown) return {};
  if (f.kind == TransferredFile::Kind::Copied)
    return made.there ? notUndoneLine(e.number) : undoneLine(e.number);
  const Look back = look(f.source);
  if (back.unknown) return {};
  const bool asMoved = back.there && asRecorded(back.st, f.size, f.modifiedSeconds,
                                                f.modifiedNanoseconds, f.device, f.inode);
  if (back.there && made.there) {
    // Undo's own second name, or its own copy of a file still whole at the
    // new path: taken away, the file stays where the run put it.
    const bool own = back.st.sameFile(made.st) ||
                     (asMoved && back.st.isFile() && sameBytes(f.source, f.destination));
    if (own && !removeLooked(sourceRoot, f.source, back.st)) return {};
    return notUndoneLine(e.number);
  }
  if (back.there) return asMoved ? undoneLine(e.number) : notUndoneLine(e.number);
  if (!made.there && !sourceFolderThere(f.source, f.device, mounts)) return {};
  return notUndoneLine(e.number);
}

namespace {

// Why the backup of `f` cannot be made from its new file: 0 when it can,
// ESTALE when the new file is gone or is no longer the one the run made.
int newFileRefusal(const TransferredFile& f, const std::string& destination) {
  if (!f.destination.starts_with(destination) || f.destination.size() == destination.size())
    return EXDEV;
  FileIdentity now;
  if (const OsError e = platform::identityOf(f.destination, LastLink::Refuse, now))
    return e.nothingThere() ? ESTALE : e.code();
  // A link the run made is copied as the link itself.
  return now.isLink() || isRecordedFile(f.destination, now, f) ? 0 : ESTALE;
}

// The file at `backup` when it holds the bytes of the new file `f`.
BackupCopy backupHolding(const TransferredFile& f, const std::string& backup) {
  const Look copy = look(backup);
  if (!copy.there || !copy.st.isFile() || copy.st.size != f.size ||
      !sameBytes(f.destination, backup))
    return {};
  return BackupCopy{backup, copy.st.device, copy.st.inode};
}

// The folders by date the backup of `name` needs, recorded ahead, so that
// undo takes them back; `recorded` holds those recorded already.
void recordFoldersOf(const std::string& name, BackupCopies& copies, const std::string& backupRoot,
                     const std::string& base, std::set<std::string>& recorded,
                     JournalFile& journal) {
  const auto slash = name.rfind('/');
  std::vector<std::string> missing;
  if (slash == std::string::npos || recorded.contains(name.substr(0, slash)) ||
      copies.missingFolders(name.substr(0, slash), missing))
    return;
  recorded.insert(name.substr(0, slash));
  for (const std::string& level : missing) {
    if (recorded.insert(level).second) journal.add(folderLine(backupRoot + level, base));
  }
}

}  // namespace

int makeMissingBackups(const std::vector<MissingBackup>& files, const BackupPlace& place,
                       const std::string& base, JournalFile& journal) {
  if (files.empty() || place.backup.empty()) return 0;
  const std::string destination = withSeparator(place.destination);
  const std::string backupRoot = withSeparator(place.backup);
  BackupCopies copies;
  const OsError opened = copies.open(place.destination, place.backup);
  // A destination that cannot be reached any more holds no new file to copy.
  const int openError = !opened ? 0 : opened.path() == place.destination ? ESTALE : opened.code();
  // Names below the destination, which the backup takes too; each file's
  // place in `files` is its tag.
  std::vector<std::string> names;
  std::vector<platform::NamedFile> toMake;
  names.reserve(files.size());
  std::set<std::string> recorded;
  for (std::size_t k = 0; k < files.size(); ++k) {
    const MissingBackup& f = files[k];
    const int refused = openError != 0 ? openError : newFileRefusal(f.file, destination);
    if (refused != 0) {
      appendNotBackedUpLine(journal.queue(), f.number, refused);
      continue;
    }
    // Made already by a look killed before it could say so.
    if (const BackupCopy found = backupHolding(f.file, backupOf(f.file.destination, place));
        !found.path.empty()) {
      appendBackedUpLine(journal.queue(), f.number, found, base);
      continue;
    }
    const std::string& name = names.emplace_back(f.file.destination.substr(destination.size()));
    toMake.push_back(platform::NamedFile{name, static_cast<int64_t>(k)});
    recordFoldersOf(name, copies, backupRoot, base, recorded, journal);
  }
  if (const int e = journal.sync()) return e;
  // A file whose backup fails is said, and the files after it are tried.
  for (std::size_t from = 0; from < toMake.size();) {
    const std::vector<platform::NamedFile> batch(toMake.begin() + static_cast<std::ptrdiff_t>(from),
                                                 toMake.end());
    std::size_t made = 0;
    const OsError e = copies.make(batch, made);
    for (std::size_t k = 0; k < made && k < batch.size(); ++k) {
      BackupCopy backup;
      const MissingBackup& f = files[static_cast<std::size_t>(batch[k].tag)];
      if (copies.takeMade(batch[k].tag, backup))
        appendBackedUpLine(journal.queue(), f.number, backup, base);
    }
    if (!e || made >= batch.size()) break;
    // A failure to read the new file, gone or changed since it was looked
    // at, is not the backup folder's.
    const MissingBackup& failed = files[static_cast<std::size_t>(batch[made].tag)];
    const int why = e.path() == failed.file.destination ? ESTALE : e.code() != 0 ? e.code() : EIO;
    appendNotBackedUpLine(journal.queue(), failed.number, why);
    from += made + 1;
  }
  return journal.sync();
}

int settleRun(OpenedRun& run) {
  // A line cut short would swallow the first line added.
  if (run.wholeLines != run.size) {
    if (OsError e = platform::truncateFile(run.fd.get(), run.wholeLines)) return e.code();
  }
  JournalFile file(run.fd.get(), run.wholeLines, false);
  int64_t files = run.record.summary.files;
  int64_t bytes = run.record.summary.bytes;
  bool pending = false;
  const TransferOptions& options = run.record.summary.options;
  const BackupPlace place{options.receiveDir, options.backupDir};
  std::vector<MissingBackup> missing;
  for (const auto& [number, intent] : run.open.intents) {
    const IntentOutcome o = settleIntent(intent, "", run.open.mounts, place);
    pending |= o.line.empty();
    file.add(o.line);
    if (o.transferred) {
      ++files;
      bytes += o.done.size;
      if (!place.backup.empty() && o.backup.path.empty()) missing.push_back({number, o.done});
    }
  }
  const auto entryOf = [&run](int64_t number) {
    return std::find_if(run.record.entries.begin(), run.record.entries.end(),
                        [number](const JournalEntry& e) { return e.number == number; });
  };
  std::set<int64_t> leftAlone;  // being undone: back by now, or not to be told yet
  for (const int64_t number : run.open.undoing) {
    const auto entry = entryOf(number);
    const std::string line = entry == run.record.entries.end()
                                 ? notUndoneLine(number)
                                 : settleUndoing(*entry, run.open.mounts, options.serverDir);
    pending |= line.empty();
    file.add(line);
    if (line != notUndoneLine(number)) leftAlone.insert(number);
  }
  // Files recorded as transferred whose backup an earlier look was making.
  for (const int64_t number : run.open.unbacked) {
    const auto entry = entryOf(number);
    if (entry != run.record.entries.end() && !leftAlone.contains(number))
      missing.push_back({number, entry->file});
  }
  if (int e = makeMissingBackups(missing, place, "", file)) return e;
  if (!run.open.ended) file.add(endedLine(platform::now(), files, bytes, RunEnd::Interrupted));
  if (int e = file.sync()) return e;
  // Closed only once all that is on disk: a journal read as closed is never
  // looked at again.
  if (!pending) {
    file.add(kClosedLine);
    if (int e = file.sync()) return e;
  }
  const bool damaged = run.record.summary.damaged;
  if (int e = rereadRun(run)) return e;
  run.record.summary.damaged |= damaged;
  return 0;
}

}  // namespace msifter::engine::detail
