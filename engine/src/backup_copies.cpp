// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup_copies.h"

#include "common/paths.h"
#include "platform/file_identity.h"
#include "platform/own_files.h"

namespace msifter::engine {

using platform::OsError;

OsError BackupCopies::open(const std::string& destination, const std::string& backup) {
  from_ = common::gAddBackslash(destination);
  folder_ = common::gAddBackslash(backup);
  if (OsError e = destination_.open(destination)) return e;
  if (OsError e = backup_.open(backup)) return e;
  if (OsError e = backupTree_.open(backup)) return e;
  // Each new file is reached beneath the destination, never through a link
  // put in a folder's place; a link the run made stays a link.
  backup_.takeSourcesFrom(destination_);
  backup_.copyLinksAsLinks();
  backup_.onTransferred([this](const platform::TransferredFile& f) {
    if (tags_ == nullptr || f.tag < 0 || static_cast<std::size_t>(f.tag) >= tags_->size()) return;
    const auto k = static_cast<std::size_t>(f.tag);
    (*into_)[(*tags_)[k]] = Made{BackupCopy{folder_ + std::string(f.name), f.device, f.inode},
                                 std::string((*names_)[k]), f.size, f.modified};
  });
  return {};
}

OsError BackupCopies::copyAll(const std::vector<std::string_view>& from,
                              const std::vector<std::string_view>& names,
                              const std::vector<int64_t>& tags,
                              std::unordered_map<int64_t, Made>& into) {
  tags_ = &tags;
  names_ = &names;
  into_ = &into;
  OsError error;
  for (std::size_t k = 0; k < names.size() && !error; ++k) {
    const std::string name(names[k]);
    // Folders by date are made in the backup folder as in the destination.
    if (const auto slash = name.rfind('/'); slash != std::string::npos)
      error = backup_.makeFolders(name.substr(0, slash));
    if (error) break;
    backup_.tagNext(static_cast<int64_t>(k));
    error = backup_.copy(std::string(from[k]), platform::onlyName(name));
  }
  OsError settled = backup_.settle();
  if (!error) error = std::move(settled);
  tags_ = nullptr;
  names_ = nullptr;
  into_ = nullptr;
  return error;
}

// Copies complete in their order: the files made are those up to the
// first without its copy.
OsError BackupCopies::makeAhead(platform::SourceTree& sources, const std::vector<Ahead>& files,
                                std::size_t& made) {
  std::vector<std::string_view> from, names;
  std::vector<int64_t> tags;
  for (const Ahead& f : files) {
    from.push_back(f.source);
    names.push_back(f.name);
    tags.push_back(f.tag);
  }
  backup_.takeSourcesFrom(sources);
  OsError error = copyAll(from, names, tags, ahead_);
  backup_.takeSourcesFrom(destination_);
  made = 0;
  while (made < files.size() && ahead_.contains(files[made].tag)) ++made;
  return error;
}

OsError BackupCopies::make(const std::vector<platform::NamedFile>& files, std::size_t& made) {
  std::vector<std::string_view> names;
  std::vector<std::string> from;
  std::vector<int64_t> tags;
  std::unordered_map<int64_t, Made> copied;
  for (const platform::NamedFile& f : files) {
    if (const auto ahead = ahead_.find(f.tag); ahead != ahead_.end()) {
      const bool serves =
          ahead->second.name == f.name && stillCopied(ahead->second.name, ahead->second);
      if (serves) {
        made_[f.tag] = ahead->second.copy;
      } else {
        // Another name was taken, or the file changed between its copy and
        // its rename: its copy is made again from the new file.
        remove(ahead->second.copy);
      }
      ahead_.erase(ahead);
      if (serves) continue;
    }
    names.push_back(f.name);
    from.push_back(from_ + std::string(f.name));
    tags.push_back(f.tag);
  }
  std::vector<std::string_view> fromViews(from.begin(), from.end());
  OsError error = names.empty() ? OsError() : copyAll(fromViews, names, tags, copied);
  for (auto& [tag, copy] : copied) made_[tag] = std::move(copy.copy);
  made = 0;
  while (made < files.size() && made_.contains(files[made].tag)) ++made;
  // The files after one that failed are taken back to their sources: a
  // copy made ahead for one of them goes with it.
  for (std::size_t k = made; k < files.size(); ++k) {
    if (const auto it = made_.find(files[k].tag); it != made_.end()) {
      remove(it->second);
      made_.erase(it);
    }
  }
  return error;
}

bool BackupCopies::stillCopied(const std::string& name, const Made& made) {
  platform::SourceFile file;
  platform::FileIdentity now;
  return !destination_.reach(from_ + name, file) &&
         !platform::lookAt(file.at(), file.name, platform::LastLink::Refuse, now) &&
         now.size == made.size && now.modifiedSeconds == made.modified.tv_sec &&
         now.modifiedNanoseconds == made.modified.tv_nsec;
}

void BackupCopies::remove(const BackupCopy& copy) {
  platform::SourceFile file;
  platform::FileIdentity now;
  if (!backupTree_.reach(copy.path, file) &&
      !platform::lookAt(file.at(), file.name, platform::LastLink::Refuse, now) &&
      now.device == copy.device && now.inode == copy.inode)
    static_cast<void>(platform::removeFileAt(file.at(), file.name));
}

// Only the very file this run made goes.
void BackupCopies::takeBack(int64_t tag) {
  const auto it = made_.find(tag);
  if (it == made_.end()) return;
  remove(it->second);
  made_.erase(it);
}

bool BackupCopies::takeMade(int64_t tag, BackupCopy& out) {
  const auto it = made_.find(tag);
  if (it == made_.end()) return false;
  out = std::move(it->second);
  made_.erase(it);
  return true;
}

}  // namespace msifter::engine
