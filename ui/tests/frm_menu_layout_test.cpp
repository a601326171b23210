// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as built: controls, captions, geometry, menu, tab order and
// the rules of the number fields.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

struct ControlRow {
  const char* name;
  const char* kind;
  const char* container;
  const char* caption = "";
  const char* toolTip = "";
  int checked = -1;  // -1: not a check box or option button
  bool enabled = true;
  QRect twipsGeometry;
};

// Straight from the window's table, in twips.
// clang-format off
const ControlRow kControls[] = {
    {.name = "cmdExecute", .kind = "QToolButton", .container = "client", .caption = "実 行", .toolTip = "操作を実行します", .twipsGeometry = {240, 2580, 1095, 915}},
    {.name = "cmdEnd", .kind = "QToolButton", .container = "client", .caption = "終 了", .twipsGeometry = {240, 3750, 1095, 915}},
    {.name = "Frame1", .kind = "QGroupBox", .container = "client", .caption = " 移 動 元 ", .twipsGeometry = {120, 240, 10335, 855}},
    {.name = "cmdServerSelect", .kind = "QPushButton", .container = "Frame1", .caption = "フォルダの選択", .twipsGeometry = {120, 240, 1455, 495}},
    {.name = "lblServerDir", .kind = "QLabel", .container = "Frame1", .twipsGeometry = {1680, 360, 7845, 255}},
    {.name = "imgServerDir", .kind = "QLabel", .container = "Frame1", .twipsGeometry = {9690, 240, 480, 480}},
    {.name = "Frame2", .kind = "QGroupBox", .container = "client", .caption = " 移 動 先 ", .twipsGeometry = {120, 1320, 10335, 855}},
    {.name = "cmdReceiveSelect", .kind = "QPushButton", .container = "Frame2", .caption = "フォルダの選択", .twipsGeometry = {120, 240, 1455, 495}},
    {.name = "lblReceiveDir", .kind = "QLabel", .container = "Frame2", .twipsGeometry = {1680, 360, 7875, 255}},
    {.name = "imgReceiveDir", .kind = "QLabel", .container = "Frame2", .twipsGeometry = {9690, 240, 480, 480}},
    {.name = "Frame3", .kind = "QGroupBox", .container = "client", .caption = " 対 象 条 件 ", .twipsGeometry = {1530, 2400, 8925, 2325}},
    {.name = "chkSubFolder", .kind = "QCheckBox", .container = "Frame3", .caption = "サブフォルダも対象にする", .toolTip = "移動元のフォルダ以下にあるフォルダについても対象とします", .checked = 1, .twipsGeometry = {270, 270, 2925, 315}},
    {.name = "chkLimitCount", .kind = "QCheckBox", .container = "Frame3", .caption = "        件移動したら終了する", .toolTip = "対象ファイルを検索順に件数で区切ります", .checked = 1, .twipsGeometry = {270, 600, 2865, 315}},
    {.name = "txtLimitCount", .kind = "QLineEdit", .container = "Frame3", .caption = "1000000", .twipsGeometry = {510, 600, 675, 270}},
    {.name = "chkLimitMinSize", .kind = "QCheckBox", .container = "Frame3", .caption = "     　KB以下は対象にしない", .toolTip = "対象ファイルの最小サイズを設定します", .checked = 1, .twipsGeometry = {270, 930, 2865, 315}},
    {.name = "txtLimitMinSize", .kind = "QLineEdit", .container = "Frame3", .caption = "17", .twipsGeometry = {510, 930, 540, 270}},
    {.name = "chkLimitMaxSize", .kind = "QCheckBox", .container = "Frame3", .caption = "　　　 KB以上は対象にしない", .toolTip = "対象ファイルの最大サイズを設定します", .checked = 1, .twipsGeometry = {270, 1290, 2805, 315}},
    {.name = "txtLimitMaxSize", .kind = "QLineEdit", .container = "Frame3", .caption = "4000", .twipsGeometry = {510, 1290, 555, 270}},
    {.name = "chkSlowly", .kind = "QCheckBox", .container = "Frame3", .caption = "ゆっくり移動する", .toolTip = "ファイルの移動・コピーの際に、ひとつのファイル毎に１秒待ちます", .checked = 1, .twipsGeometry = {270, 1590, 2805, 315}},
    {.name = "chkCopy", .kind = "QCheckBox", .container = "Frame3", .caption = "移動ではなくコピー", .toolTip = "移動ではなくコピーします", .checked = 1, .twipsGeometry = {270, 1890, 2865, 315}},
    {.name = "ChkAllFile", .kind = "QCheckBox", .container = "Frame3", .caption = "全てのファイルを対象にする", .toolTip = "全ての種類のファイルを対象にします", .checked = 1, .twipsGeometry = {3480, 270, 2715, 315}},
    {.name = "Frame4", .kind = "QGroupBox", .container = "Frame3", .caption = "　　　　　　　　　", .twipsGeometry = {3300, 660, 2835, 1065}},
    {.name = "chkBMP", .kind = "QCheckBox", .container = "Frame4", .caption = "BMP", .toolTip = "ビットマップファイルを対象とします", .checked = 1, .enabled = false, .twipsGeometry = {180, 360, 735, 315}},
    {.name = "chkGIF", .kind = "QCheckBox", .container = "Frame4", .caption = "GIF", .toolTip = "ＧＩＦファイルを対象とします", .checked = 1, .enabled = false, .twipsGeometry = {1020, 360, 675, 315}},
    {.name = "chkJPG", .kind = "QCheckBox", .container = "Frame4", .caption = "JPG", .toolTip = "JP(E)Gファイルを対象とします", .checked = 1, .enabled = false, .twipsGeometry = {1860, 330, 675, 315}},
    {.name = "chkPNG", .kind = "QCheckBox", .container = "Frame4", .caption = "PNG", .toolTip = "PNGファイルを対象とします", .checked = 0, .enabled = false, .twipsGeometry = {180, 660, 675, 315}},
    {.name = "chkTIFF", .kind = "QCheckBox", .container = "Frame4", .caption = "TIFF", .toolTip = "TIF(F)ファイルを対象とします", .checked = 0, .enabled = false, .twipsGeometry = {1020, 660, 675, 315}},
    {.name = "chkPCD", .kind = "QCheckBox", .container = "Frame4", .caption = "PCD", .toolTip = "PCDファイルを対象とします", .checked = 0, .enabled = false, .twipsGeometry = {1860, 630, 675, 315}},
    {.name = "chkOther", .kind = "QCheckBox", .container = "Frame3", .caption = "その他のファイル", .toolTip = "ユーザーが設定したファイルを対象とします", .checked = 1, .enabled = false, .twipsGeometry = {3330, 1860, 1935, 315}},
    {.name = "txtOTher", .kind = "QLineEdit", .container = "Frame3", .toolTip = "「;」で区切れば、複数を指定できます", .twipsGeometry = {5280, 1890, 855, 270}},
    {.name = "frmFName", .kind = "QGroupBox", .container = "Frame3", .caption = "ファイル名変更方法", .toolTip = "ファイルを移動した際の名前の変更方法を設定します", .twipsGeometry = {6330, 270, 2385, 1935}},
    {.name = "Frame6", .kind = "QGroupBox", .container = "frmFName", .caption = "ファイル名の先頭に", .twipsGeometry = {120, 360, 2145, 975}},
    {.name = "optDateNum", .kind = "QRadioButton", .container = "Frame6", .caption = "移動日時をつける", .toolTip = "移動するファイル名の先頭に移動日時を追加して新しいファイル名とします", .checked = 1, .twipsGeometry = {120, 240, 1965, 375}},
    {.name = "chkExtFix", .kind = "QCheckBox", .container = "frmFName", .caption = "拡張子を整える", .toolTip = "拡張子を小文字に変更します", .checked = 1, .twipsGeometry = {240, 1470, 2055, 315}},
    {.name = "lstResult", .kind = "QListView", .container = "client", .twipsGeometry = {120, 5220, 10395, 1680}},
};
// clang-format on

QString captionOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  return {};
}

QRect pixels(const QRect& twipsRect) {
  return {twipsRect.x() / 15, twipsRect.y() / 15, twipsRect.width() / 15, twipsRect.height() / 15};
}

TEST(FrmMenuLayout, EveryControlIsAsTheTableGivesIt) {
  FrmMenu window;
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* widget = window.findChild<QWidget*>(QString::fromUtf8(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind)) << widget->metaObject()->className();
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), row.container);
    EXPECT_EQ(captionOf(widget).toStdString(), row.caption);
    EXPECT_EQ(widget->toolTip().toStdString(), row.toolTip);
    EXPECT_EQ(widget->isEnabled(), row.enabled);
    if (row.checked >= 0) {
      EXPECT_EQ(qobject_cast<QAbstractButton*>(widget)->isChecked(), row.checked == 1);
    }
    EXPECT_EQ(widget->geometry(), pixels(row.twipsGeometry));
  }
}

TEST(FrmMenuLayout, GraphicsBoxIsTheTitleOfItsFrame) {
  FrmMenu window;
  auto* graphics = window.findChild<QCheckBox*>("ChkGraphics");
  ASSERT_NE(graphics, nullptr);
  EXPECT_EQ(graphics->parentWidget()->objectName(), "Frame4");
  EXPECT_EQ(graphics->text().toStdString(), " 画 像 フ ァ イ ル ");
  EXPECT_EQ(graphics->toolTip().toStdString(), "画像ファイルを対象とします");
  EXPECT_TRUE(graphics->isChecked());
  EXPECT_FALSE(graphics->isEnabled());
  // On the frame's top edge, in the place of the (blank) caption.
  EXPECT_EQ(graphics->geometry(), QRect(12, 0, 135, 21));
  EXPECT_TRUE(graphics->autoFillBackground());
  EXPECT_EQ(window.findChild<QGroupBox*>("Frame4")->font().family().toStdString(),
            "ＭＳ Ｐゴシック");
}

TEST(FrmMenuLayout, SerialOptionStartsUnselected) {
  FrmMenu window;
  auto* serial = window.findChild<QRadioButton*>("optSerialNum");
  ASSERT_NE(serial, nullptr);
  EXPECT_FALSE(serial->isChecked());
  EXPECT_EQ(serial->text().toStdString(), "通し番号をつける");
  EXPECT_EQ(serial->pos(), QPoint(8, 42));
}

TEST(FrmMenuLayout, WindowIsFixedWithoutMaximizeInGothic) {
  FrmMenu window;
  EXPECT_EQ(window.windowTitle().toStdString(), "ファイル検索移動プログラム");
  EXPECT_EQ(window.centralWidget()->size(), QSize(708, 474));
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  window.show();
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.font().family().toStdString(), "ＭＳ ゴシック");
  EXPECT_EQ(window.font().pointSizeF(), 9.0);
  EXPECT_FALSE(window.windowIcon().isNull());
  auto* execute = window.findChild<QToolButton*>("cmdExecute");
  EXPECT_EQ(execute->iconSize(), QSize(30, 32));
  EXPECT_EQ(execute->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
  EXPECT_FALSE(execute->icon().isNull());
  EXPECT_EQ(window.findChild<QToolButton*>("cmdEnd")->iconSize(), QSize(32, 32));
  EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->text().toStdString(), "処理結果");
  EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->pos(), QPoint(10, 330));
}

TEST(FrmMenuLayout, HelpMenuHoldsContentsThenAbout) {
  FrmMenu window;
  const auto menus = window.menuBar()->actions();
  // The last menu; ツール comes before it.
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[1]->text().toStdString(), "ヘルプ(&H)");
  const auto items = menus[1]->menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->objectName(), "mnuContents");
  EXPECT_EQ(items[0]->text().toStdString(), "目次(&C)");
  EXPECT_EQ(items[1]->objectName(), "mnuAbout");
  EXPECT_EQ(items[1]->text().toStdString(), "このソフトについて(&A)");
}

TEST(FrmMenuLayout, TabOrderFollowsTheWindowTable) {
  FrmMenu window;
  const std::vector<std::string> expected = {
      "cmdServerSelect", "cmdReceiveSelect", "cmdExecute",      "cmdEnd",
      "chkSubFolder",    "chkLimitCount",    "txtLimitCount",   "chkLimitMinSize",
      "txtLimitMinSize", "chkLimitMaxSize",  "txtLimitMaxSize", "chkSlowly",
      "chkCopy",         "ChkAllFile",       "ChkGraphics",     "chkBMP",
      "chkGIF",          "chkJPG",           "chkPNG",          "chkTIFF",
      "chkPCD",          "chkOther",         "txtOTher",        "optDateNum",
      "optSerialNum",    "chkExtFix",        "lstResult"};
  std::vector<std::string> seen;
  QWidget* start = window.findChild<QWidget*>("cmdServerSelect");
  QWidget* w = start;
  do {
    const std::string name = w->objectName().toStdString();
    if (std::find(expected.begin(), expected.end(), name) != expected.end()) seen.push_back(name);
    w = w->nextInFocusChain();
  } while (w != start && seen.size() < expected.size());
  EXPECT_EQ(seen, expected);
}

// Each number field covers the blanks that open its check box's caption and
// ends before the caption's words begin.
TEST(FrmMenuLayout, NumberFieldsLieOverTheBlanksOfTheirCaptions) {
  FrmMenu window;
  window.show();
  const std::pair<const char*, const char*> rows[] = {{"chkLimitCount", "txtLimitCount"},
                                                      {"chkLimitMinSize", "txtLimitMinSize"},
                                                      {"chkLimitMaxSize", "txtLimitMaxSize"}};
  for (const auto& [boxName, fieldName] : rows) {
    SCOPED_TRACE(fieldName);
    auto* box = window.findChild<QCheckBox*>(boxName);
    auto* field = window.findChild<QLineEdit*>(fieldName);
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect textArea = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    const QString caption = box->text();
    qsizetype blanks = 0;
    while (blanks < caption.size() && caption[blanks].isSpace()) ++blanks;
    ASSERT_GT(blanks, 0);
    const int wordsStart =
        box->x() + textArea.x() + box->fontMetrics().horizontalAdvance(caption.left(blanks));
    const int indicatorEnd = box->x() + textArea.x();
    EXPECT_GE(field->x() + 4, indicatorEnd);  // the tick box stays visible
    EXPECT_LE(field->geometry().right(), wordsStart + 2);
    EXPECT_EQ(field->y(), box->y());
    // Drawn above the check box.
    const auto siblings = box->parentWidget()->children();
    EXPECT_GT(siblings.indexOf(field), siblings.indexOf(box));
  }
}

class NumberFieldTyping : public QtTest {
 protected:
  void SetUp() override {
    QtTest::SetUp();
    window.show();
  }

  // The text box `name` with the focus, its text selected when `cleared`
  // and then deleted.
  QLineEdit* typingInto(const char* name, bool cleared) {
    auto* field = window.findChild<QLineEdit*>(name);
    field->setFocus();
    if (cleared) {
      field->selectAll();
      QTest::keyClick(field, Qt::Key_Delete);
    }
    return field;
  }

  FrmMenu window;
};

TEST_F(NumberFieldTyping, LimitsStopTypingButNotTheProgramsOwnText) {
  const std::tuple<const char*, int, const char*> fields[] = {{"txtLimitCount", 6, "1000000"},
                                                              {"txtLimitMinSize", 3, "17"},
                                                              {"txtLimitMaxSize", 5, "4000"}};
  for (const auto& [name, limit, initial] : fields) {
    SCOPED_TRACE(name);
    auto* field = window.findChild<QLineEdit*>(name);
    EXPECT_EQ(field->text().toStdString(), initial);
    EXPECT_FALSE(field->testAttribute(Qt::WA_InputMethodEnabled));
    typingInto(name, true);
    QTest::keyClicks(field, "98765432");
    EXPECT_EQ(field->text().toStdString(),
              std::string("98765432").substr(0, static_cast<std::size_t>(limit)));
  }
  EXPECT_FALSE(window.findChild<QLineEdit*>("txtOTher")->testAttribute(Qt::WA_InputMethodEnabled));
}

TEST_F(NumberFieldTyping, DigitsOnlyWhenTypingAndPasting) {
  QLineEdit* field = typingInto("txtLimitMaxSize", true);
  QTest::keyClicks(field, "1a2-3 .4");
  EXPECT_EQ(field->text().toStdString(), "1234");

  QApplication::clipboard()->setText("5x");
  field->paste();
  EXPECT_EQ(field->text().toStdString(), "1234");
  QApplication::clipboard()->setText("56");  // would make six characters
  field->paste();
  EXPECT_EQ(field->text().toStdString(), "1234");
  QApplication::clipboard()->setText("5");
  field->paste();
  EXPECT_EQ(field->text().toStdString(), "12345");
}

TEST_F(NumberFieldTyping, TextOverTheLimitCanStillBeShortened) {
  QLineEdit* field = typingInto("txtLimitCount", false);
  field->end(false);
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text().toStdString(), "100000");
  QTest::keyClicks(field, "7");
  EXPECT_EQ(field->text().toStdString(), "100000");
}

TEST_F(NumberFieldTyping, OtherTextTakesAnything) {
  QLineEdit* other = typingInto("txtOTher", false);
  QTest::keyClicks(other, ".raw;.nef;txt");
  EXPECT_EQ(other->text().toStdString(), ".raw;.nef;txt");
}

}  // namespace
}  // namespace msifter::ui::testing
