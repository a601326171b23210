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
  // Each new file is reached beneath the destination, never through a link
  // put in a folder's place; a link the run made stays a link.
  backup_.takeSourcesFrom(destination_);
  backup_.copyLinksAsLinks();
  backup_.onTransferred([this](const platform::TransferredFile& f) {
    if (making_ == nullptr || f.tag < 0 || static_cast<std::size_t>(f.tag) >= making_->size())
      return;
    made_[(*making_)[static_cast<std::size_t>(f.tag)].tag] =
        BackupCopy{folder_ + std::string(f.name), f.device, f.inode};
    ++completed_;
  });
  return {};
}

// Copies complete in their order, so the count of completions is how many
// files have their backup on disk.
OsError BackupCopies::make(const std::vector<platform::NamedFile>& files, std::size_t& made) {
  making_ = &files;
  completed_ = 0;
  OsError error;
  for (std::size_t k = 0; k < files.size() && !error; ++k) {
    const std::string name(files[k].name);
    // Folders by date are made in the backup folder as in the destination.
    if (const auto slash = name.rfind('/'); slash != std::string::npos)
      error = backup_.makeFolders(name.substr(0, slash));
    if (error) break;
    backup_.tagNext(static_cast<int64_t>(k));
    error = backup_.copy(from_ + name, platform::onlyName(name));
  }
  OsError settled = backup_.settle();
  if (!error) error = std::move(settled);
  made = completed_;
  making_ = nullptr;
  return error;
}

// Only the very file this run made goes.
void BackupCopies::takeBack(int64_t tag) {
  const auto it = made_.find(tag);
  if (it == made_.end()) return;
  platform::FileIdentity now;
  if (!platform::identityOf(it->second.path, platform::LastLink::Refuse, now) &&
      now.device == it->second.device && now.inode == it->second.inode)
    static_cast<void>(platform::removeFile(it->second.path));
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
