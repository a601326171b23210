// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/preview.h"

#include <utility>

#include "common/failure.h"
#include "common/paths.h"
#include "group_lookups.h"
#include "platform/file_identity.h"
#include "platform/source_tree.h"

namespace msifter::engine {

Preview::Preview(const TransferOptions& options, const MoveExtras& extras)
    : extras_(extras),
      destination_(options.receiveDir),
      folder_(common::gAddBackslash(options.receiveDir)),
      serialNumber_(extras.serialNumber ? *extras.serialNumber : 0),
      planner_(options, serialNumber_, extras.stamps) {
  // A preview shows the stamps the run would take; it never waits for them.
  planner_.predictStamps();
  names_.open(options.receiveDir);
  if (extras.skipIdentical) {
    if (const platform::OsError e = identical_.open(options.receiveDir))
      common::fail(common::errorNumberFromErrno(e.code()));
  }
}

Preview::~Preview() = default;

void Preview::useGroups(const std::vector<std::string>& sources,
                        std::function<int64_t(std::size_t)> knownSize) {
  sources_ = &sources;
  planner_.useGroups(sources, [this](const std::string& name) { return names_.taken(name); });
  lookups_ = std::make_unique<GroupLookups>(
      sources, planner_.groups(),
      [this](const std::string& source, int64_t known, int64_t& size) {
        size = known;
        return identicalTo(source, size);
      },
      std::move(knownSize));
}

// The full path of a file in the destination, or planned for it, with the
// bytes of `source`; "" when there is none or `source` cannot be looked at
// (its transfer then says why).
std::string Preview::identicalTo(const std::string& source, int64_t& size) {
  if (size < 0) {
    platform::FileIdentity identity;
    if (platform::identityOf(source, identity) || !identity.isFile()) return {};
    size = identity.size;
  }
  std::string same = identical_.findIdentical(source, size);
  if (const auto earlier = plannedFrom_.find(same); earlier != plannedFrom_.end())
    return folder_ + earlier->second;
  if (same.empty() || same.front() == '/') return same;
  return folder_ + same;
}

PlannedFile Preview::plan(const std::string& source, int64_t size) {
  if (extras_.skipIdentical) {
    if (std::string same = identicalTo(source, size); !same.empty())
      return {PlannedFile::Action::SkipIdentical, source, std::move(same)};
  }
  return planned(source, size, std::string::npos);
}

PlannedFile Preview::plan(std::size_t index) {
  const std::string& source = (*sources_)[index];
  int64_t size = -1;
  if (extras_.skipIdentical) {
    bool withPhoto = false;
    if (std::string same = lookups_->find(index, size, withPhoto); !same.empty())
      return {withPhoto ? PlannedFile::Action::SkipWithPhoto : PlannedFile::Action::SkipIdentical,
              source, std::move(same)};
  }
  return planned(source, size, index);
}

// A file that is not skipped, named as the run names it (by its place in
// the list with groups, `index`).
PlannedFile Preview::planned(const std::string& source, int64_t size, std::size_t index) {
  // As the destination folder tries names: anything at a name takes it.
  const NamePlanner::Names names =
      sources_ != nullptr ? planner_.namesFor(source, index) : planner_.namesFor(source);
  std::string name;
  PlannedFile::Action unnamed = PlannedFile::Action::NoFreeName;
  try {
    name = names();
    while (!name.empty() && !names_.claim(name)) name = names();
  } catch (const common::RuntimeFailure& e) {
    if (e.number() != common::err::BadFileName) throw;
    unnamed = PlannedFile::Action::NameTooLong;
  }
  if (name.empty()) {
    ended_ = true;
    return {unnamed, source, ""};
  }
  // A folder the run could not make or enter stops it there too.
  if (std::string folder; folderRefused(name, folder)) {
    ended_ = true;
    return {PlannedFile::Action::FolderRefused, source, std::move(folder)};
  }
  // A planned file counts as in the folder already: an absolute name is
  // looked at where it is (openat leaves the folder aside).
  if (extras_.skipIdentical && size >= 0 && !source.empty() && source.front() == '/') {
    identical_.add(source, size);
    plannedFrom_.emplace(source, name);
  }
  return {PlannedFile::Action::Transfer, source, std::move(name), planner_.dateSource()};
}

// The folder below the destination that `name` goes into, each looked at
// once: true, with the folder in `folder`, when a level of it is a link or
// something else than a folder.
bool Preview::folderRefused(const std::string& name, std::string& folder) {
  const auto slash = name.rfind('/');
  if (slash == std::string::npos) return false;
  std::string below = name.substr(0, slash);
  if (!lookedFolders_.insert(below).second) return false;
  if (!platform::checkFoldersBeneath(destination_, below)) return false;
  folder = std::move(below);
  return true;
}

}  // namespace msifter::engine
