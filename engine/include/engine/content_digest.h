// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Digests of file contents, used to tell files apart quickly. A digest
// that agrees is never taken for equal bytes: the bytes are compared.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace msifter::engine {

using Digest = std::array<unsigned char, 16>;

// One digest computed over bytes given piece by piece.
class DigestState {
 public:
  virtual ~DigestState() = default;
  virtual void update(const unsigned char* bytes, std::size_t count) = 0;
  virtual Digest finish() = 0;
};

// How contents are digested. The name is kept with stored digests, so
// that digests of another kind are never compared with these.
class ContentDigest {
 public:
  virtual ~ContentDigest() = default;
  virtual std::string name() const = 0;
  virtual std::unique_ptr<DigestState> start() const = 0;
};

// XXH3-128: fast enough that reading the file stays the cost.
const ContentDigest& xxh3Digest();

}  // namespace msifter::engine
