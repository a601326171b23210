// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/registry.h"

#include "common/failure.h"
#include "common/text.h"
#include "registry_store.h"
#include "value_convert.h"

namespace msifter::settings {

namespace {

std::string dwordBytes(int32_t number) {
  const auto bits = static_cast<uint32_t>(number);
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
  return data;
}

// Data shorter than four bytes fills the low bytes of a zero integer, as a
// four-byte read buffer would; longer data does not fit and gives nothing.
bool dwordFromBytes(const std::string& data, int32_t& number) {
  if (data.size() > 4) return false;
  uint32_t bits = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    bits |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  number = static_cast<int32_t>(bits);
  return true;
}

}  // namespace

namespace detail {

void reportStoreFailure(const char* procName, const StoreFailure& why) {
  if (!why) return;
  common::raiseError(why.number);
  common::gProcError(procName, why.text);
}

}  // namespace detail

bool gSetRegValue(uint32_t root, const std::string& subKey, const std::string& valueName,
                  int32_t type, const RegValue& value) {
  return common::guardLog("gSetRegValue", false, [&] {
    // An empty string is never stored: it would read back like a missing value.
    RegValue toWrite = value;
    if (type == kRegSz) {
      if (std::holds_alternative<std::monostate>(toWrite)) toWrite = std::string(" ");
      if (common::trimSpaces(detail::valueText(toWrite)).empty()) toWrite = std::string(" ");
    }
    detail::StoreFailure why;
    const detail::RegKey key = detail::regCreateKey(root, subKey, why);
    bool written = false;
    if (key && type == kRegSz) {
      written = detail::regSetValue(key, valueName, kRegSz, detail::valueText(toWrite) + '\0', why);
    } else if (key && type == kRegDword) {
      written = detail::regSetValue(key, valueName, kRegDword,
                                    dwordBytes(detail::valueLong(toWrite)), why);
    }
    detail::reportStoreFailure("gSetRegValue", why);
    return written;
  });
}

RegValue gGetRegValue(uint32_t root, const std::string& subKey, const std::string& valueName,
                      int32_t type, const RegValue& defaultValue) {
  return common::guardLog("gGetRegValue", RegValue{}, [&] {
    RegValue result = defaultValue;
    detail::StoreFailure why;
    if (const detail::RegKey key = detail::regOpenKey(root, subKey, why)) {
      // The stored type is not looked at: the bytes are taken as asked.
      int32_t storedType = 0;
      std::string data;
      if ((type == kRegSz || type == kRegDword) &&
          detail::regQueryValue(key, valueName, storedType, data, why)) {
        if (type == kRegSz) {
          result = data.substr(0, data.find('\0'));
        } else if (int32_t number = 0; dwordFromBytes(data, number)) {
          result = number;
        }
      }
    }
    // A store that is there but fails is no first start: the log says why.
    detail::reportStoreFailure("gGetRegValue", why);
    if (type == kRegSz) {
      auto* text = std::get_if<std::string>(&result);
      if (text && common::trimSpaces(*text).empty()) text->clear();
    }
    return result;
  });
}

}  // namespace msifter::settings
