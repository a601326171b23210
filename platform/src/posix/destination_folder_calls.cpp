// SPDX-License-Identifier: GPL-3.0-or-later
// The public face of a destination folder: each call goes to its state.
#include "platform/destination_folder.h"
#include "posix/destination_folder_impl.h"

namespace msifter::platform {

DestinationFolder::DestinationFolder() : impl_(std::make_unique<Impl>()) {}
DestinationFolder::~DestinationFolder() = default;

OsError DestinationFolder::open(const std::string& folder) { return impl_->open(folder); }
OsError DestinationFolder::open(UniqueFd opened, const std::string& folder) {
  return impl_->open(std::move(opened), folder);
}
void DestinationFolder::takeSourcesFrom(SourceTree& tree) { impl_->takeSourcesFrom(tree); }
void DestinationFolder::setBatchLimits(const BatchLimits& limits) { impl_->setBatchLimits(limits); }
void DestinationFolder::onTransferred(Completion completion) {
  impl_->onTransferred(std::move(completion));
}
void DestinationFolder::onNamed(Naming naming) { impl_->onNamed(std::move(naming)); }
void DestinationFolder::keepSecondCopies(SecondCopies* copies) { impl_->keepSecondCopies(copies); }
void DestinationFolder::copyLinksAsLinks() { impl_->copyLinksAsLinks(); }
OsError DestinationFolder::move(const std::string& from, const NameSource& names) {
  return impl_->move(from, names);
}
OsError DestinationFolder::copy(const std::string& from, const NameSource& names) {
  return impl_->copy(from, names);
}
void DestinationFolder::tagNext(int64_t tag) { impl_->tagNext(tag); }
bool DestinationFolder::taken(const std::string& name) { return impl_->taken(name); }
OsError DestinationFolder::missingFolders(const std::string& folder,
                                          std::vector<std::string>& missing) {
  return impl_->missingFolders(folder, missing);
}
OsError DestinationFolder::makeFolders(const std::string& folder) {
  return impl_->makeFolders(folder);
}
OsError DestinationFolder::settle() { return impl_->settle(); }
const std::string& DestinationFolder::failedSource() const { return impl_->failedSource(); }
bool DestinationFolder::failureKeptCopy() const { return impl_->failureKeptCopy(); }
bool DestinationFolder::failedInSecondCopy() const { return impl_->failedInSecondCopy(); }

}  // namespace msifter::platform
