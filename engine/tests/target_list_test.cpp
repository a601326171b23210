// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/target_list.h"

#include <gtest/gtest.h>

#include <set>

namespace msifter::engine {
namespace {

using options::Check;

// The run's choice of file types as the window's boxes show it.
options::RunOptions boxes(const std::set<Check>& checked, std::string other = "") {
  options::RunOptions o;
  o.allFile = checked.contains(Check::AllFile);
  o.graphics = checked.contains(Check::Graphics);
  o.other = checked.contains(Check::Other);
  o.otherText = std::move(other);
  for (const auto& type : options::kImageTypes) o.images.set(type.type, checked.contains(type.box));
  return o;
}

using enum options::Check;

TEST(TargetList, BuiltFromTheCheckBoxes) {
  struct Row {
    std::set<Check> checked;
    std::string other;
    std::string list;
  };
  const Row rows[] = {
      {{AllFile, Graphics, BMP, Other}, "txt", "*"},
      {{Graphics, BMP, GIF, TIFF, JPG, PNG, PCD},
       "",
       "*.BMP;*.GIF;*.TIFF;*.TIF;*.JPG;*.JPEG;*.PNG;*.PCD"},
      {{Graphics, BMP, PNG, Other}, "txt;doc", "*.BMP;*.PNG;TXT;DOC"},
      {{Other}, "txt", "TXT"},
      {{Other}, "", ""},
      {{Graphics, JPG, Other}, "", "*.JPG;*.JPEG;"},
      {{Graphics, TIFF}, "", "*.TIFF;*.TIF"},
      {{}, "txt", ""},
      {{BMP, GIF}, "", ""},  // image types count only under Graphics
      {{Graphics}, "", ""},
      {{Other}, "txt; doc", "TXT; DOC"},  // the space stays part of the next item
      {{Other}, "*.[a-c]x?", "*.[A-C]X?"},
      {{Other}, "写真.jpg", "写真.JPG"},                      // kanji have no case
      {{Other}, "ｊｐｇ;ärger;ωмега", "ＪＰＧ;ÄRGER;ΩМЕГА"},  // each letter to its own capital
  };
  for (const auto& r : rows) {
    std::string list = "stale";
    EXPECT_TRUE(gGetSettingData_TargetExtension(boxes(r.checked, r.other), list));
    EXPECT_EQ(list, r.list) << r.other;
  }
}

// Exact extensions come after the image types and before the user's other
// text, so that an empty other text still adds no item that takes every
// file.
TEST(TargetList, ExactExtensionsBesideTheWindowsTypes) {
  struct Row {
    std::set<Check> checked;
    std::string other;
    std::string extensions;
    std::string list;
  };
  const Row rows[] = {
      {{}, "", "cr2;.nef;heic", "/CR2;/NEF;/HEIC"},
      {{Graphics, JPG}, "", "cr2", "*.JPG;*.JPEG;/CR2"},
      {{Graphics, JPG, Other}, "", "cr2", "*.JPG;*.JPEG;/CR2;"},
      {{Other}, "raw", "cr2", "/CR2;RAW"},
      {{Other}, "", ";", ""},
      {{AllFile}, "", "cr2", "*"},
      // A window's item that starts with the mark keeps matching nothing.
      {{Other}, "/cr2;x;/y", "", "[/]CR2;X;[/]Y"},
      {{Other}, "a/b;;", "", "A/B;;"},
  };
  for (const auto& r : rows) {
    options::RunOptions o = boxes(r.checked, r.other);
    o.useExtensions = !r.extensions.empty();
    o.extensions = r.extensions;
    std::string list = "stale";
    EXPECT_TRUE(gGetSettingData_TargetExtension(o, list));
    EXPECT_EQ(list, r.list) << r.other << " " << r.extensions;
  }
}

TEST(TargetList, GraphicsLeavesTheListAloneWhenUnchecked) {
  std::string list = "kept";
  EXPECT_TRUE(gGetSettingData_GraphicsExtension(boxes({BMP}), list));
  EXPECT_EQ(list, "kept");
  EXPECT_TRUE(gGetSettingData_GraphicsExtension(boxes({Graphics, GIF}), list));
  EXPECT_EQ(list, "*.GIF");
}

TEST(ProcCharSplit, Table) {
  struct Row {
    std::string text, delimiter;
    std::vector<std::string> items;
    int32_t lastIndex;
  };
  const Row rows[] = {
      {"a;b", ";", {"a", "b"}, 1},
      {"a;b;", ";", {"a", "b"}, 1},
      {"a;;b", ";", {"a", "", "b"}, 2},
      {";a", ";", {"", "a"}, 1},
      {"a", ";", {"a"}, 0},
      {"", ";", {""}, 0},
      {";", ";", {""}, 0},
      {";;", ";", {"", ""}, 1},
      {"a<>b<>", "<>", {"a", "b"}, 1},
      {"a<b", "<>", {"a<b"}, 0},
      {"*.BMP;*.GIF;*.TIFF", ";", {"*.BMP", "*.GIF", "*.TIFF"}, 2},
  };
  for (const auto& r : rows) {
    std::vector<std::string> items;
    int32_t lastIndex = 0;
    EXPECT_TRUE(gProcCharSplit(r.text, r.delimiter, items, lastIndex));
    EXPECT_EQ(items, r.items) << r.text;
    EXPECT_EQ(lastIndex, r.lastIndex) << r.text;
  }
}

TEST(ProcCharSplit, LastIndexAsTheCallerLeftIt) {
  std::vector<std::string> items = {"old"};
  int32_t lastIndex = 4;
  EXPECT_TRUE(gProcCharSplit("a;b", "", items, lastIndex));  // no delimiter: nothing touched
  EXPECT_EQ(items, std::vector<std::string>{"old"});
  EXPECT_EQ(lastIndex, 4);

  EXPECT_TRUE(gProcCharSplit("whole", ";", items, lastIndex));  // no occurrence: item 0, index kept
  EXPECT_EQ(items, std::vector<std::string>{"whole"});
  EXPECT_EQ(lastIndex, 4);

  items = {"x", "y"};
  lastIndex = 1;
  EXPECT_TRUE(gProcCharSplit("a;b", ";", items, lastIndex));  // appended after what is there
  EXPECT_EQ(items, (std::vector<std::string>{"x", "a", "b"}));
  EXPECT_EQ(lastIndex, 2);
}

}  // namespace
}  // namespace msifter::engine
