// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/msg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/failure.h"
#include "common/ui_services.h"
#include "isolated_test.h"
#include "recording_ui.h"
#include "sqlite_files.h"
#include "temp_env.h"

namespace msifter::common {
namespace {

using testing::RecordingUi;
using testing::TempEnv;

// Builds a keyed catalogue from SQL, as the build does from sys/msg.sql.
std::string makeCatalogue(const TempEnv& env, const std::string& sql,
                          const std::string& password = kMsgPassword) {
  const std::filesystem::path path = env.root() / "msg";
  EXPECT_TRUE(testing::runSql(path, sql, password));
  return path.string();
}

constexpr const char* kSchema = "CREATE TABLE t_MSG (CODE INTEGER, MSG TEXT, DLGFLG INTEGER);";

using MsgTest = testing::IsolatedTest;

TEST_F(MsgTest, BuiltCatalogueOpensWithThePasswordAndHoldsEveryCodeInUse) {
  ASSERT_TRUE(gMsgInit(MSIFTER_MSG_DB, kMsgPassword));
  for (const int16_t code : msgcode::InUse) {
    ui.boxes.clear();
    EXPECT_EQ(gDispMsg(code, ""), answer::Ok) << code;
    ASSERT_EQ(ui.boxes.size(), 1u) << code;
    EXPECT_EQ(ui.boxes[0].title, "") << code;
    EXPECT_NE(ui.boxes[0].text.find("。"), std::string::npos) << code;
    EXPECT_NE(ui.boxes[0].style & mb::IconMask, 0) << code;
  }
  EXPECT_EQ(env.errorLog(), "");
}

TEST_F(MsgTest, CallersTextsReadAsSentencesWithTheBuiltCatalogue) {
  ASSERT_TRUE(gMsgInit(MSIFTER_MSG_DB, kMsgPassword));
  gDispMsg(msgcode::PleaseChoose, "移動元のフォルダを");
  gDispMsg(msgcode::DoesNotExist, "移動先のフォルダが");
  gDispMsg(msgcode::NotChosen, "移動元のフォルダが");
  gDispMsg(msgcode::NotReadCorrectly, "過去の設定データを");
  ASSERT_EQ(ui.boxes.size(), 4u);
  EXPECT_EQ(ui.boxes[0].text, "移動元のフォルダを選択して下さい。");
  EXPECT_EQ(ui.boxes[1].text, "移動先のフォルダが存在しません。");
  EXPECT_EQ(ui.boxes[2].text, "移動元のフォルダが選択されていません。");
  EXPECT_EQ(ui.boxes[3].text.rfind("過去の設定データを", 0), 0u);
}

TEST_F(MsgTest, WrongMissingOrAbsentPasswordIsRefusedAndReported) {
  EXPECT_FALSE(gMsgInit(MSIFTER_MSG_DB, "wrong"));
  EXPECT_FALSE(gMsgInit(MSIFTER_MSG_DB, ""));
  EXPECT_FALSE(gMsgInit((env.root() / "no-such-msg").string(), kMsgPassword));
  const std::string log = env.errorLog();
  std::size_t reports = 0;
  for (std::size_t at = 0; (at = log.find("gMsgInit (m_sifter)", at)) != std::string::npos; ++at) {
    ++reports;
  }
  EXPECT_EQ(reports, 3u);
  EXPECT_TRUE(ui.boxes.empty());
  // Nothing is left open: a lookup now cannot be answered.
  EXPECT_EQ(gDispMsg(37, ""), -100);
}

// Flips bytes in the middle of the file's last page.
void damageLastPage(const std::string& path) {
  const auto size = std::filesystem::file_size(path);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(size - 300));
  file.write("\xde\xad\xbe\xef\xde\xad\xbe\xef", 8);
}

TEST_F(MsgTest, EmptyOrDamagedCatalogueIsRefusedAtStartUp) {
  const std::string noTable = (env.root() / "no-table-msg").string();
  std::filesystem::rename(makeCatalogue(env, "CREATE TABLE other (x);"), noTable);
  // Enough messages to fill several pages, the last of them damaged.
  std::string rows = kSchema;
  for (int code = 100; code < 400; ++code) {
    rows += "INSERT INTO t_MSG VALUES (" + std::to_string(code) + ", '" + std::string(60, 'm') +
            "', 48);";
  }
  const std::string damaged = makeCatalogue(env, rows);
  ASSERT_GT(std::filesystem::file_size(damaged), 8192u);
  damageLastPage(damaged);
  const std::string empty = (env.root() / "empty-msg").string();
  std::ofstream(empty, std::ios::binary).close();

  for (const std::string& path : {damaged, empty, noTable}) {
    const std::string logBefore = env.errorLog();
    EXPECT_FALSE(gMsgInit(path, kMsgPassword)) << path;
    EXPECT_NE(env.errorLog().find("gMsgInit (m_sifter)", logBefore.size()), std::string::npos)
        << path;
  }
  EXPECT_TRUE(ui.boxes.empty());
}

// A code without a row, and a lookup that fails: a box of its own titled
// "gDispMsg", a report, and no message to answer with.
TEST_F(MsgTest, FallbackBoxesWhenNoMessageCanBeShown) {
  struct Row {
    const char* name;
    std::function<void()> openCatalogue;
    int16_t code;
    std::string box;
  };
  const Row rows[] = {
      {.name = "code without a row",
       .openCatalogue = [] { ASSERT_TRUE(gMsgInit(MSIFTER_MSG_DB, kMsgPassword)); },
       .code = 999,
       .box = "ﾒｯｾｰｼﾞｺｰﾄﾞ： 999に対応するﾒｯｾｰｼﾞが登録されていません。"},
      // The table goes away after the catalogue was opened: the query itself fails.
      {.name = "failed lookup",
       .openCatalogue =
           [this] {
             const std::string path = makeCatalogue(
                 env, std::string(kSchema) + "INSERT INTO t_MSG VALUES (37, 'A', 0);");
             ASSERT_TRUE(gMsgInit(path, kMsgPassword));
             makeCatalogue(env, "DROP TABLE t_MSG; CREATE TABLE other (x);");
           },
       .code = 37,
       .box = "ﾒｯｾｰｼﾞの取得に失敗しました。"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ui.boxes.clear();
    const std::string logBefore = env.errorLog();
    row.openCatalogue();
    EXPECT_EQ(gDispMsg(row.code, "移動元のフォルダを"), -100);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, row.box);
    EXPECT_EQ(ui.boxes[0].style, mb::OkOnly);
    EXPECT_EQ(ui.boxes[0].title, "gDispMsg");
    EXPECT_NE(env.errorLog().find("gDispMsg (m_sifter)", logBefore.size()), std::string::npos);
  }
}

TEST_F(MsgTest, NullMessageShowsOneSpaceAndNullStyleAnOkBox) {
  const std::string path =
      makeCatalogue(env, std::string(kSchema) +
                             "INSERT INTO t_MSG VALUES (5, NULL, 52);"
                             "INSERT INTO t_MSG VALUES (6, 'が見つかりません。', NULL);");
  ASSERT_TRUE(gMsgInit(path, kMsgPassword));
  ui.answers = {answer::Yes};
  EXPECT_EQ(gDispMsg(5, "ファイル"), answer::Yes);
  EXPECT_EQ(gDispMsg(6, "ファイル"), answer::Ok);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "ファイル ");
  EXPECT_EQ(ui.boxes[0].style, mb::YesNo | mb::Exclamation);
  EXPECT_EQ(ui.boxes[1].text, "ファイルが見つかりません。");
  EXPECT_EQ(ui.boxes[1].style, mb::OkOnly);
  EXPECT_EQ(ui.boxes[1].title, "");
}

TEST_F(MsgTest, TextPositionOnePutsTheCallersTextAfter) {
  const std::string path =
      makeCatalogue(env, std::string(kSchema) + "INSERT INTO t_MSG VALUES (7, 'A', 0);");
  ASSERT_TRUE(gMsgInit(path, kMsgPassword));
  gDispMsg(7, "b", TextPosition::After);
  gDispMsg(7, "b", TextPosition::Before);
  gDispMsg(7, "b", static_cast<TextPosition>(2));
  gDispMsg(7);
  ASSERT_EQ(ui.boxes.size(), 4u);
  EXPECT_EQ(ui.boxes[0].text, "Ab");
  EXPECT_EQ(ui.boxes[1].text, "bA");
  EXPECT_EQ(ui.boxes[2].text, "bA");
  EXPECT_EQ(ui.boxes[3].text, "A");
}

TEST_F(MsgTest, StyleThatIsNotANumberIsReportedAndGivesMinus100) {
  const std::string path = makeCatalogue(env, std::string(kSchema) +
                                                  "INSERT INTO t_MSG VALUES (8, 'x', 'many');"
                                                  "INSERT INTO t_MSG VALUES (9, 'y', 70000);"
                                                  "INSERT INTO t_MSG VALUES (10, 'z', ' 64 ');");
  ASSERT_TRUE(gMsgInit(path, kMsgPassword));
  EXPECT_EQ(gDispMsg(8), -100);
  EXPECT_EQ(gDispMsg(9), -100);
  EXPECT_EQ(gDispMsg(10), answer::Ok);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, mb::Information);
  EXPECT_NE(env.errorLog().find("エラー番号：13"), std::string::npos);
  EXPECT_NE(env.errorLog().find("エラー番号：6"), std::string::npos);
}

TEST_F(MsgTest, RecordLayerCountsRowsAndKeepsTheFirst) {
  const std::string path =
      makeCatalogue(env, std::string(kSchema) +
                             "INSERT INTO t_MSG VALUES (3, 'first', 1);"
                             "INSERT INTO t_MSG VALUES (3, 'second', 2);"
                             "CREATE TABLE dated (D DATE, N REAL, T TEXT);"
                             "INSERT INTO dated VALUES (NULL, NULL, NULL);"
                             "INSERT INTO dated VALUES ('2002/04/09 17:05:33', 1.5, 'x');");
  ASSERT_TRUE(gMsgInit(path, kMsgPassword));

  ASSERT_TRUE(MsgDbOpenRecordSet(msgQueryText(3)));
  EXPECT_EQ(MsgDbRecordCount(), 2);
  ASSERT_NE(MsgDbFields(0), nullptr);
  EXPECT_EQ(MsgDbFields(0)->name, "MSG");
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(0)), MsgValue(std::string("first")));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(1)), MsgValue(int64_t{1}));
  EXPECT_EQ(MsgDbFields(2), nullptr);
  EXPECT_EQ(MsgDbFields(-1), nullptr);
  EXPECT_EQ(MsgDbCnvFld(nullptr), MsgValue());

  // An empty result is a success with no records; the fields stay.
  ASSERT_TRUE(MsgDbOpenRecordSet(msgQueryText(4)));
  EXPECT_EQ(MsgDbRecordCount(), 0);
  EXPECT_NE(MsgDbFields(1), nullptr);

  EXPECT_FALSE(MsgDbOpenRecordSet("SELECT nonsense FROM nowhere"));

  ASSERT_TRUE(MsgDbOpenRecordSet("SELECT D, N, T FROM dated ORDER BY rowid"));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(0)), MsgValue(std::string("1000/01/01")));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(1)), MsgValue(int64_t{0}));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(2)), MsgValue(std::string(" ")));
  ASSERT_TRUE(MsgDbOpenRecordSet("SELECT D, N, T FROM dated WHERE D IS NOT NULL"));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(0)), MsgValue(std::string("20020409170533")));
  EXPECT_EQ(MsgDbCnvFld(MsgDbFields(1)), MsgValue(1.5));
}

}  // namespace
}  // namespace msifter::common
