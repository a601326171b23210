// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/registry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "common/failure.h"
#include "isolated_test.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "settings/settings_store.h"
#include "sqlite_files.h"
#include "temp_env.h"

namespace msifter::settings {
namespace {

namespace fs = std::filesystem;
using testing::RecordingUi;
using testing::TempEnv;

struct RawValue {
  int type = 0;
  std::string data;
};

// Reads a value straight from the store file, bypassing the registry layer.
std::optional<RawValue> rawValue(const std::string& name) {
  const std::string where = " FROM reg_value WHERE name = '" + name + "'";
  const std::string type = testing::firstValue(registryStorePath(), "SELECT type" + where);
  if (type.empty()) return std::nullopt;
  return RawValue{std::stoi(type), testing::firstValue(registryStorePath(), "SELECT data" + where)};
}

int keyRows() {
  const std::string rows = testing::firstValue(registryStorePath(), "SELECT count(*) FROM reg_key");
  return rows.empty() ? -1 : std::stoi(rows);
}

class RegistryTest : public testing::IsolatedTest {
 protected:
  bool set(const std::string& name, int32_t type, const RegValue& value) {
    return gSetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, value);
  }
  RegValue get(const std::string& name, int32_t type, const RegValue& fallback) {
    return gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, fallback);
  }
};

TEST_F(RegistryTest, StoreLivesUnderTheConfigFolder) {
  EXPECT_EQ(registryStorePath(), (env.configHome() / "m_sifter" / "registry.db").string());
  env.setVar("XDG_CONFIG_HOME", std::nullopt);
  env.setVar("HOME", "/home/someone");
  EXPECT_EQ(registryStorePath(), "/home/someone/.config/m_sifter/registry.db");
  env.setVar("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(registryStorePath(), "/home/someone/.config/m_sifter/registry.db");
}

TEST_F(RegistryTest, ValuesRoundTripThroughTheStoreFile) {
  const std::string longPath = "/" + std::string(4000, 'd') + "/写真";
  const std::string notUtf8 = "caf\xE9\xFF";
  struct Case {
    const char* name;
    int32_t type;
    RegValue written;
    RegValue read;
  };
  const Case cases[] = {
      {"text", kRegSz, std::string("/home/user/写真"), std::string("/home/user/写真")},
      {"inner spaces", kRegSz, std::string("  a b  "), std::string("  a b  ")},
      {"raw bytes", kRegSz, notUtf8, notUtf8},
      {"long path", kRegSz, longPath, longPath},
      {"number", kRegDword, int32_t{123456}, int32_t{123456}},
      {"negative", kRegDword, int32_t{-2147483647 - 1}, int32_t{-2147483647 - 1}},
      {"true", kRegDword, true, int32_t{-1}},
      {"false", kRegDword, false, int32_t{0}},
      {"number text", kRegDword, std::string(" 42 "), int32_t{42}},
      {"half down to even", kRegDword, std::string("2.5"), int32_t{2}},
      {"half up to even", kRegDword, std::string("3.5"), int32_t{4}},
      {"number as text", kRegSz, int32_t{-7}, std::string("-7")},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(set(c.name, c.type, c.written)) << c.name;
  }
  ASSERT_TRUE(fs::exists(registryStorePath()));
  for (const Case& c : cases) {
    const RegValue fallback =
        c.type == kRegSz ? RegValue(std::string("default")) : RegValue(int32_t{99});
    EXPECT_EQ(get(c.name, c.type, fallback), c.read) << c.name;
  }
  // A value written again is replaced, not added.
  EXPECT_TRUE(set("number", kRegDword, int32_t{5}));
  EXPECT_EQ(get("number", kRegDword, int32_t{0}), RegValue(int32_t{5}));
  EXPECT_EQ(env.errorLog(), "");
}

TEST_F(RegistryTest, EmptyOrBlankStringIsStoredAsOneSpaceAndReadAsEmpty) {
  for (const RegValue& blank :
       {RegValue(std::string()), RegValue(std::string("   ")), RegValue()}) {
    ASSERT_TRUE(set("blank", kRegSz, blank));
    const auto raw = rawValue("blank");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, kRegSz);
    EXPECT_EQ(raw->data, std::string(" \0", 2));
    EXPECT_EQ(get("blank", kRegSz, std::string("default")), RegValue(std::string()));
  }
  // A stored text is kept with its terminating NUL, as the platform would.
  ASSERT_TRUE(set("word", kRegSz, std::string("abc")));
  EXPECT_EQ(rawValue("word")->data, std::string("abc\0", 4));
}

TEST_F(RegistryTest, TrueIsStoredAsAllOnes) {
  ASSERT_TRUE(set("flag", kRegDword, true));
  const auto raw = rawValue("flag");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->type, kRegDword);
  EXPECT_EQ(raw->data, std::string("\xFF\xFF\xFF\xFF", 4));
  ASSERT_TRUE(set("number", kRegDword, int32_t{0x01020304}));
  EXPECT_EQ(rawValue("number")->data, std::string("\x04\x03\x02\x01", 4));
}

TEST_F(RegistryTest, BytesAreReadAsTheTypeAsked) {
  ASSERT_TRUE(set("short", kRegSz, std::string("ab")));   // 'a' 'b' NUL
  ASSERT_TRUE(set("four", kRegSz, std::string("abcd")));  // five bytes: too long
  ASSERT_TRUE(set("number", kRegDword, int32_t{0x00636261}));
  EXPECT_EQ(get("short", kRegDword, int32_t{7}), RegValue(int32_t{0x6261}));
  EXPECT_EQ(get("four", kRegDword, int32_t{7}), RegValue(int32_t{7}));
  EXPECT_EQ(get("number", kRegSz, std::string("x")), RegValue(std::string("abc")));
}

TEST_F(RegistryTest, FirstStartReadsDefaultsAndCreatesNothing) {
  EXPECT_EQ(get("strServerDir", kRegSz, std::string()), RegValue(std::string()));
  EXPECT_EQ(get("datLastExecute", kRegSz, std::string("1000/01/01")),
            RegValue(std::string("1000/01/01")));
  EXPECT_EQ(get("chkCopy", kRegDword, int32_t{0}), RegValue(int32_t{0}));
  EXPECT_FALSE(fs::exists(fs::path(registryStorePath()).parent_path()));

  // With a store present, reading under a missing key does not add the key.
  ASSERT_TRUE(set("x", kRegDword, int32_t{1}));
  const int rows = keyRows();
  EXPECT_EQ(rows, 2);  // "Software" and "Software\m_sifter"
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, "Software\\other", "x", kRegDword, int32_t{3}),
            RegValue(int32_t{3}));
  EXPECT_EQ(keyRows(), rows);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
  ASSERT_TRUE(set("chkCopy", kRegDword, int32_t{1}));
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, "SOFTWARE\\M_SIFTER", "CHKCOPY", kRegDword, int32_t{0}),
            RegValue(int32_t{1}));
}

TEST_F(RegistryTest, OtherTypeCreatesTheKeyButWritesNothing) {
  EXPECT_FALSE(set("binary", 3, std::string("abc")));
  EXPECT_EQ(keyRows(), 2);
  EXPECT_FALSE(rawValue("binary"));
  EXPECT_EQ(get("binary", 3, std::string("d")), RegValue(std::string("d")));
  EXPECT_EQ(env.errorLog(), "");
}

TEST_F(RegistryTest, NumberThatIsNotANumberIsReportedAndNotWritten) {
  EXPECT_FALSE(set("lngLimitCount", kRegDword, std::string("12a")));
  EXPECT_FALSE(set("lngLimitCount", kRegDword, std::string("3000000000")));
  EXPECT_FALSE(rawValue("lngLimitCount"));
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("gSetRegValue (m_sifter)"), std::string::npos);
  EXPECT_NE(log.find("エラー番号：13"), std::string::npos);
  EXPECT_NE(log.find("エラー番号：6"), std::string::npos);
}

TEST_F(RegistryTest, LocalMachineGivesTheDefaultAndTakesNoWrites) {
  EXPECT_FALSE(gSetRegValue(kHKeyLocalMachine, "SOFTWARE\\x", "v", kRegSz, std::string("a")));
  EXPECT_EQ(gGetRegValue(kHKeyLocalMachine, "SOFTWARE\\x", "v", kRegSz, std::string("Can'tGet")),
            RegValue(std::string("Can'tGet")));
}

TEST_F(RegistryTest, UnwritableConfigFolderFailsTheWrite) {
  // A file where the folder should be.
  env.setVar("XDG_CONFIG_HOME", env.writeFile("not-a-folder", 3).string());
  EXPECT_FALSE(set("x", kRegDword, int32_t{1}));
  EXPECT_EQ(get("x", kRegDword, int32_t{4}), RegValue(int32_t{4}));
}

TEST_F(RegistryTest, FullDiskWhenTheFolderIsMadeFailsTheWriteAsSuch) {
  struct FullDisk : platform::Syscalls {
    int mkdir(const char*, mode_t) override {
      errno = ENOSPC;
      return -1;
    }
  } full;
  platform::ScopedSyscalls scoped(full);
  EXPECT_FALSE(set("x", kRegDword, int32_t{1}));
  EXPECT_NE(env.errorLog().find("エラー番号：61\r\n"), std::string::npos) << env.errorLog();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(RegistryTest, DamagedStoreReadsDefaultsAndTheNextWriteRepairsIt) {
  writeBytes(registryStorePath(), std::string(5000, '\x5A'));
  EXPECT_EQ(get("x", kRegDword, int32_t{4}), RegValue(int32_t{4}));
  ASSERT_TRUE(set("x", kRegDword, int32_t{1}));
  EXPECT_EQ(get("x", kRegDword, int32_t{4}), RegValue(int32_t{1}));
  EXPECT_FALSE(fs::exists(registryStorePath() + ".new"));
}

TEST_F(RegistryTest, TruncatedStoreReadsDefaultsAndTheNextWriteRepairsIt) {
  // Enough data to spread the values over several pages.
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(
        set("v" + std::to_string(i), kRegSz, std::string(1000, static_cast<char>('a' + i))));
  }
  const std::string path = registryStorePath();
  const auto size = fs::file_size(path);
  ASSERT_GT(size, 8192u);
  fs::resize_file(path, size / 2);

  for (int i = 0; i < 20; ++i) {
    const RegValue read = get("v" + std::to_string(i), kRegSz, std::string("default"));
    // Whatever survives is whole; what does not is the default.
    EXPECT_TRUE(read == RegValue(std::string(1000, static_cast<char>('a' + i))) ||
                read == RegValue(std::string("default")))
        << i;
  }
  ASSERT_TRUE(set("v0", kRegSz, std::string("again")));
  EXPECT_EQ(get("v0", kRegSz, std::string("default")), RegValue(std::string("again")));
  EXPECT_EQ(get("v19", kRegSz, std::string("default")), RegValue(std::string("default")));
}

TEST_F(RegistryTest, ForeignDatabaseAtTheStorePathIsReplacedOnWrite) {
  const std::string path = registryStorePath();
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(testing::runSql(path, "CREATE TABLE notes (x); INSERT INTO notes VALUES (1);"));
  EXPECT_EQ(get("x", kRegDword, int32_t{4}), RegValue(int32_t{4}));
  ASSERT_TRUE(set("x", kRegDword, int32_t{2}));
  EXPECT_EQ(get("x", kRegDword, int32_t{4}), RegValue(int32_t{2}));
}

// Stands in for a full disk: the store file may not grow.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(RegistryTest, WriteThatRunsOutOfSpaceLeavesTheStoreAsItWas) {
  ASSERT_TRUE(set("strServerDir", kRegSz, std::string("/data/in")));
  ASSERT_TRUE(set("chkCopy", kRegDword, true));
  const auto size = fs::file_size(registryStorePath());
  {
    FileSizeLimit full(size);
    EXPECT_FALSE(set("strReceiveDir", kRegSz, std::string(64 * 1024, 'x')));
  }
  EXPECT_EQ(get("strServerDir", kRegSz, std::string()), RegValue(std::string("/data/in")));
  EXPECT_EQ(get("chkCopy", kRegDword, int32_t{0}), RegValue(int32_t{-1}));
  EXPECT_EQ(get("strReceiveDir", kRegSz, std::string("none")), RegValue(std::string("none")));
  // The store was not mistaken for a damaged one and is still writable.
  ASSERT_TRUE(set("strReceiveDir", kRegSz, std::string("/data/out")));
  EXPECT_EQ(get("strServerDir", kRegSz, std::string()), RegValue(std::string("/data/in")));
}

}  // namespace
}  // namespace msifter::settings
