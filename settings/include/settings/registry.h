// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Typed values under a per-user key: the only way the program keeps anything
// between starts. One value per call; no key stays open between calls.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace msifter::settings {

inline constexpr uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHKeyLocalMachine = 0x80000002u;

inline constexpr int32_t kRegSz = 1;     // string
inline constexpr int32_t kRegDword = 4;  // 32-bit integer, little-endian

// A value as the callers hand it over: unset (read as "", 0 or False; a
// string write stores it as one space), a Boolean, an integer or a text.
using RegValue = std::variant<std::monostate, bool, int32_t, std::string>;

// Creates the key when missing and writes one value. False when nothing was
// written, including for a type other than kRegSz and kRegDword.
bool gSetRegValue(uint32_t root, const std::string& subKey, const std::string& valueName,
                  int32_t type, const RegValue& value);

// Reads one value as `type`, whatever type it was stored with; the default
// when the key or value is missing. Never creates anything.
RegValue gGetRegValue(uint32_t root, const std::string& subKey, const std::string& valueName,
                      int32_t type, const RegValue& defaultValue);

// For its lifetime, every gGetRegValue and gSetRegValue under the current
// user's key shares one connection to the store and one transaction: the
// reads see one state after at most one bounded wait for a busy store, and
// the writes land together at commit() or not at all. Each kind covers its
// own calls only: a Read one the reads, a Write one the writes. One at a
// time: a second one made while another lives joins it.
class RegTransaction {
 public:
  enum class Kind { Read, Write };
  explicit RegTransaction(Kind kind);
  // Undoes the writes unless commit() succeeded.
  ~RegTransaction();
  RegTransaction(const RegTransaction&) = delete;
  RegTransaction& operator=(const RegTransaction&) = delete;

  // False when a store that is there could not be read or locked. The calls
  // made meanwhile then give their defaults or fail at once, and the first of
  // them reports why.
  bool usable() const;
  // Makes the writes durable. False, with a report under "gSetRegValue",
  // when they could not be.
  bool commit();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The store file that holds the current user's keys.
std::string registryStorePath();

}  // namespace msifter::settings
