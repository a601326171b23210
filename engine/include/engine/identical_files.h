// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds, anywhere in a library (a destination folder and every folder below
// it), a file with the same bytes as a given file, whatever its name, so
// that a run can skip what is already there.
//
// The library's folders are looked at once a run; one that has not changed
// since an earlier run is not listed again: what it held comes from the
// index kept between runs under $XDG_CACHE_HOME/m_sifter/, with the digests
// read from its files, each valid while its file keeps its device, inode,
// length, modification and change time. A file of a size that no file in
// the library has costs one hash-map look-up. Among files of one size, the
// first block of each is digested once; a file whose first block agrees
// with the source's is compared with it byte for byte, so a digest alone
// never makes a match.
//
// Files are not looked at one by one while their folder is unchanged: one
// rewritten in place with a new length counts at its old length until its
// folder changes, so its twin may be copied in again; nothing is ever taken
// for a copy that is not one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/content_digest.h"
#include "platform/os_error.h"

namespace msifter::engine {

// How far the look at a library has come: shown while a large library is
// indexed for the first time.
struct IndexProgress {
  int64_t files = 0;        // files of the library looked at so far
  bool firstBuild = false;  // nothing was kept of this library: every folder is read
};

// A sidecar (.xmp, .thm, .aae, any case) describes a photo and goes where
// the photo goes: it is never skipped on its own.
bool isSidecar(std::string_view path);

class IdenticalFiles {
 public:
  struct Options {
    // Where the index is kept between runs; "" for the user's cache folder.
    std::string cacheFolder;
    // False: nothing is read from or written to an index.
    bool keepIndex = true;
    // Told of the files looked at while open() looks at the library.
    std::function<void(const IndexProgress&)> progress;
    // How contents are digested; nullptr for xxh3Digest().
    const ContentDigest* digest = nullptr;
  };

  IdenticalFiles();
  explicit IdenticalFiles(Options options);
  // Writes what this run learnt to the index.
  ~IdenticalFiles();
  IdenticalFiles(const IdenticalFiles&) = delete;
  IdenticalFiles& operator=(const IdenticalFiles&) = delete;

  // Looks at the regular files in `folder` and every folder below it (links
  // are not followed; transfer temporaries are never files). A subfolder
  // that cannot be read is left out; only `folder` itself failing is an error.
  platform::OsError open(const std::string& folder);
  // The path (relative to the folder, or the full path it was added by) of
  // a file with exactly the bytes of the file at `path`, which is `size`
  // bytes long; empty when there is none, and always for a sidecar.
  std::string findIdentical(const std::string& path, int64_t size);
  // As findIdentical, sidecars included: for a photo and its sidecars that
  // are skipped together when every one of them is in the library.
  std::string findCopy(const std::string& path, int64_t size);
  // A file that has just come into the folder under `name` (relative to it,
  // subfolders allowed), or, by its full path, one on its way there that has
  // no name in the folder yet (a copy waiting for its batch, a planned file
  // of a preview); it is read where that path says.
  void add(const std::string& name, int64_t size);
  // Writes what was learnt to the index now rather than at the end.
  void saveIndex();

  // How many bytes from the start of a file are digested first.
  static constexpr int64_t kHeadBytes = 16 * 1024;

 private:
  struct State;
  Options options_;
  std::unique_ptr<State> state_;
};

}  // namespace msifter::engine
