// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/content_digest.h"

#include <xxhash.h>

#include <cstring>
#include <new>

namespace msifter::engine {

namespace {

class Xxh3State final : public DigestState {
 public:
  Xxh3State() : state_(XXH3_createState()) {
    if (state_ == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(state_.get());
  }
  void update(const unsigned char* bytes, std::size_t count) override {
    XXH3_128bits_update(state_.get(), bytes, count);
  }
  Digest finish() override {
    Digest out{};
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_.get()));
    static_assert(sizeof canonical.digest == sizeof out);
    std::memcpy(out.data(), canonical.digest, out.size());
    return out;
  }

 private:
  struct Free {
    void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
  };
  std::unique_ptr<XXH3_state_t, Free> state_;
};

class Xxh3 final : public ContentDigest {
 public:
  std::string name() const override { return "xxh3-128"; }
  std::unique_ptr<DigestState> start() const override { return std::make_unique<Xxh3State>(); }
};

}  // namespace

const ContentDigest& xxh3Digest() {
  static const Xxh3 digest;
  return digest;
}

}  // namespace msifter::engine
