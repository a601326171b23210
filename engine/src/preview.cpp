#include "engine/preview.h"

#include <utility>

#include "common/failure.h"
#include "common/paths.h"
#include "platform/file_identity.h"

namespace msifter::engine {

Preview::Preview(const TransferOptions& options, const MoveExtras& extras)
    : extras_(extras),
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
  // As the destination folder tries names: anything at a name takes it.
  const NamePlanner::Names names = planner_.namesFor(source);
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
  // A planned file counts as in the folder already: an absolute name is
  // looked at where it is (openat leaves the folder aside).
  if (extras_.skipIdentical && size >= 0 && !source.empty() && source.front() == '/') {
    identical_.add(source, size);
    plannedFrom_.emplace(source, name);
  }
  return {PlannedFile::Action::Transfer, source, std::move(name), planner_.dateSource()};
}

}  // namespace msifter::engine
