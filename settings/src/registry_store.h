// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The five operations the registry procedures are built on: create-or-open a
// key, open an existing key, query a typed value, set a typed value, close
// (the key's destructor). One implementation per platform.
#include <cstdint>
#include <memory>
#include <string>

namespace msifter::settings::detail {

class RegKey {
 public:
  struct Impl;

  RegKey();
  explicit RegKey(std::unique_ptr<Impl> impl);
  ~RegKey();
  RegKey(RegKey&&) noexcept;
  RegKey& operator=(RegKey&&) noexcept;

  explicit operator bool() const { return impl_ != nullptr; }
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Why the store could not be used: the failure number and, for the error
// log, the store's path with the system's or the store's own words.
struct StoreFailure {
  int32_t number = 0;
  std::string text;
  explicit operator bool() const { return number != 0; }
};

// Each operation leaves `why` empty when there is simply nothing there (no
// store, no key, no value, a key outside the current user's) and fills it
// when the store is there but failed.

// Opens the key, creating it and its missing parents. Empty on failure.
RegKey regCreateKey(uint32_t root, const std::string& subKey, StoreFailure& why);
// Opens an existing key only; never creates the store or the key.
RegKey regOpenKey(uint32_t root, const std::string& subKey, StoreFailure& why);
// The stored type and the whole stored data. False when there is no such
// value or it cannot be read.
bool regQueryValue(const RegKey& key, const std::string& valueName, int32_t& type,
                   std::string& data, StoreFailure& why);
// Replaces the value in one atomic step. False when nothing was written.
bool regSetValue(const RegKey& key, const std::string& valueName, int32_t type,
                 const std::string& data, StoreFailure& why);

// Writes the failure to the error log under `procName`; nothing when empty.
void reportStoreFailure(const char* procName, const StoreFailure& why);

// The folder of the per-user configuration ("" when there is none).
std::string userConfigFolder();

}  // namespace msifter::settings::detail
