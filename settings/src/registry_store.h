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

// Opens the key, creating it and its missing parents. Empty on failure.
RegKey regCreateKey(uint32_t root, const std::string& subKey);
// Opens an existing key only; never creates the store or the key.
RegKey regOpenKey(uint32_t root, const std::string& subKey);
// The stored type and the whole stored data. False when there is no such
// value or it cannot be read.
bool regQueryValue(const RegKey& key, const std::string& valueName, int32_t& type,
                   std::string& data);
// Replaces the value in one atomic step. False when nothing was written.
bool regSetValue(const RegKey& key, const std::string& valueName, int32_t type,
                 const std::string& data);

// The folder of the per-user configuration ("" when there is none).
std::string userConfigFolder();

}  // namespace msifter::settings::detail
