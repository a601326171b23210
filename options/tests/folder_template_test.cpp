// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/folder_template.h"

#include <gtest/gtest.h>

#include "common/msg.h"
#include "moments.h"
#include "options/option_table.h"

namespace msifter::options {
namespace {

using Fault = FolderTemplateFault;

TEST(FolderTemplate, ATemplateNeverLeadsOutOfTheDestination) {
  struct Row {
    const char* text;
    std::optional<FolderTemplateProblem> problem;
  };
  const Row rows[] = {
      {"", std::nullopt},
      {"%Y/%m/%d", std::nullopt},
      {"%Y/%Y-%m-%d %H%M%S", std::nullopt},
      {"100%%/..x/.photos", std::nullopt},
      {"/%Y", FolderTemplateProblem{Fault::Climbs, "/"}},
      {"%Y/../%m", FolderTemplateProblem{Fault::Climbs, ".."}},
      {"..", FolderTemplateProblem{Fault::Climbs, ".."}},
      {"./%Y", FolderTemplateProblem{Fault::Climbs, "."}},
      {"%Y//%m", FolderTemplateProblem{Fault::EmptyLevel, ""}},
      {"%Y/", FolderTemplateProblem{Fault::EmptyLevel, ""}},
      {"%Y/%B", FolderTemplateProblem{Fault::UnknownField, "%B"}},
      {"%Y/%", FolderTemplateProblem{Fault::UnknownField, "%"}},
      {"%Y/%/", FolderTemplateProblem{Fault::UnknownField, "%/"}},
  };
  for (const Row& row : rows) EXPECT_EQ(folderTemplateProblem(row.text), row.problem) << row.text;
}

TEST(FolderTemplate, FieldsAreTheStampsDateAndTime) {
  const std::tm when = testing::moment(2024, 5, 1, 9, 6, 7);
  EXPECT_EQ(expandFolderTemplate("%Y/%m/%d", when), "2024/05/01");
  EXPECT_EQ(expandFolderTemplate("%Y/%Y-%m-%d_%H%M%S", when), "2024/2024-05-01_090607");
  EXPECT_EQ(expandFolderTemplate("100%%/%%Y", when), "100%/%Y");
  EXPECT_EQ(expandFolderTemplate("", when), "");
}

// The check before a run refuses a bad template with the catalogue's
// message, which names it and why.
TEST(FolderTemplate, TheRunsCheckRefusesABadTemplate) {
  RunOptions options;
  options.allFile = true;
  options.folders = "%Y/../x";
  const std::optional<OptionProblem> problem = checkChoices(options);
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->code, msgcode::FolderTemplateWrong);
  EXPECT_EQ(problem->callerText, "フォルダの指定「%Y/../x」（「..」は移動先の外を指します）");
  options.folders = "%Y/%m";
  EXPECT_EQ(checkChoices(options), std::nullopt);
}

}  // namespace
}  // namespace msifter::options
