// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_order.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/case_mapping.h"
#include "platform/directory.h"

namespace msifter::engine {

namespace {

// Names equal apart from case only occur on a case-sensitive file system;
// their raw bytes decide.
bool keyLess(std::string_view keyA, const std::string& nameA, std::string_view keyB,
             const std::string& nameB) {
  const int byKey = keyA.compare(keyB);
  return byKey != 0 ? byKey < 0 : nameA < nameB;
}

}  // namespace

bool folderOrderLess(const std::string& a, const std::string& b) {
  return keyLess(common::upperCase(a), a, common::upperCase(b), b);
}

// Each name is upper-cased once, not at every comparison: the keys share one
// buffer and only small records are sorted before the entries move once.
// Names in one folder often share a long beginning (IMG_2024...), so each
// record carries the eight key bytes after the folder's common prefix as one
// number; most comparisons end there. Names hold no NUL byte, so the zero
// padding of a short key sorts it first, as a shorter key should.
void sortInFolderOrder(std::vector<platform::DirEntry>& entries) {
  struct Key {
    uint64_t word;
    std::size_t offset, length, index;
  };
  std::size_t total = 0;
  for (const auto& entry : entries) total += entry.name.size();
  std::string keys;
  keys.reserve(total + total / 8);
  std::vector<Key> order;
  order.reserve(entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const std::size_t offset = keys.size();
    common::appendUpperCase(entries[k].name, keys);
    order.push_back(Key{0, offset, keys.size() - offset, k});
  }
  const std::string_view all = keys;
  auto keyOf = [&](const Key& key) { return all.substr(key.offset, key.length); };

  const std::string_view first = order.empty() ? std::string_view() : keyOf(order.front());
  std::size_t shared = first.size();
  for (const Key& key : order) {
    const std::string_view k = keyOf(key);
    const auto end = first.begin() + static_cast<std::ptrdiff_t>(std::min(shared, k.size()));
    shared = static_cast<std::size_t>(std::mismatch(first.begin(), end, k.begin()).first -
                                      first.begin());
  }
  constexpr std::size_t kWord = sizeof(uint64_t);
  for (Key& key : order) {
    const std::string_view after = keyOf(key).substr(shared);
    std::memcpy(&key.word, after.data(), std::min(kWord, after.size()));
    if constexpr (std::endian::native == std::endian::little)
      key.word = __builtin_bswap64(key.word);
  }
  auto rest = [&](const Key& key) {
    return keyOf(key).substr(std::min(key.length, shared + kWord));
  };
  std::sort(order.begin(), order.end(), [&](const Key& a, const Key& b) {
    if (a.word != b.word) return a.word < b.word;
    return keyLess(rest(a), entries[a.index].name, rest(b), entries[b.index].name);
  });
  std::vector<platform::DirEntry> sorted;
  sorted.reserve(entries.size());
  for (const Key& key : order) sorted.push_back(std::move(entries[key.index]));
  entries = std::move(sorted);
}

}  // namespace msifter::engine
