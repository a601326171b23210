// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu_controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>
#include <map>
#include <string_view>

#include "ui/appearance.h"
#include "ui/caption_frame.h"
#include "ui/clickable_label.h"
#include "ui/number_field.h"

namespace msifter::ui {

namespace {

enum class Kind {
  Frame,
  PictureButton,  // a picture above the caption
  Button,
  PathLabel,      // a folder path in a single-line border
  FolderPicture,  // opens the folder of its row when clicked
  CheckBox,
  NumberField,
  TextBox,
  OptionButton,
  FittedLabel,  // sizes itself to its text: only the top-left corner counts
  List,
};

struct Picture {
  const char* name = nullptr;  // ":/icons/<name>.svg"
  int width = 0;
  int height = 0;
};

// What a control starts with beside its caption: the tick and enable state
// of a check box or option button, a number field's typing limit, a picture.
struct Initial {
  bool on = false;
  bool enabled = true;
  int typingLimit = 0;
  Picture picture{};
};
constexpr Initial kPlain{};
constexpr Initial kOn{.on = true};
constexpr Initial kOff{};
constexpr Initial kOnDisabled{.on = true, .enabled = false};
constexpr Initial kOffDisabled{.enabled = false};
constexpr Initial typingLimit(int characters) { return {.typingLimit = characters}; }
constexpr Initial image(const char* name, int width, int height) {
  return {.picture = {name, width, height}};
}

struct ControlRow {
  const char* name;
  Kind kind;
  const char* in;       // the container; "client" is the window's client area
  const char* caption;  // or the initial text
  const char* tip;
  Initial initial;
  QRect geometry;
};

// In the order the window makes them, which is also the order they are
// drawn in where they overlap.
// clang-format off
constexpr ControlRow kControls[] = {
    {"cmdExecute", Kind::PictureButton, "client", "実 行", "操作を実行します", image("execute", 30, 32), twipRect(240, 2580, 1095, 915)},
    {"cmdEnd", Kind::PictureButton, "client", "終 了", "", image("end", 32, 32), twipRect(240, 3750, 1095, 915)},
    {"Frame1", Kind::Frame, "client", " 移 動 元 ", "", kPlain, twipRect(120, 240, 10335, 855)},
    {"cmdServerSelect", Kind::Button, "Frame1", "フォルダの選択", "", kPlain, twipRect(120, 240, 1455, 495)},
    {"lblServerDir", Kind::PathLabel, "Frame1", "", "", kPlain, twipRect(1680, 360, 7845, 255)},
    {"imgServerDir", Kind::FolderPicture, "Frame1", "", "", image("folder", 32, 32), twipRect(9690, 240, 480, 480)},
    {"Frame2", Kind::Frame, "client", " 移 動 先 ", "", kPlain, twipRect(120, 1320, 10335, 855)},
    {"cmdReceiveSelect", Kind::Button, "Frame2", "フォルダの選択", "", kPlain, twipRect(120, 240, 1455, 495)},
    {"lblReceiveDir", Kind::PathLabel, "Frame2", "", "", kPlain, twipRect(1680, 360, 7875, 255)},
    {"imgReceiveDir", Kind::FolderPicture, "Frame2", "", "", image("folder", 32, 32), twipRect(9690, 240, 480, 480)},
    {"Frame3", Kind::Frame, "client", " 対 象 条 件 ", "", kPlain, twipRect(1530, 2400, 8925, 2325)},
    {"chkSubFolder", Kind::CheckBox, "Frame3", "サブフォルダも対象にする", "移動元のフォルダ以下にあるフォルダについても対象とします", kOn, twipRect(270, 270, 2925, 315)},
    {"chkLimitCount", Kind::CheckBox, "Frame3", "        件移動したら終了する", "対象ファイルを検索順に件数で区切ります", kOn, twipRect(270, 600, 2865, 315)},
    {"txtLimitCount", Kind::NumberField, "Frame3", "1000000", "", typingLimit(6), twipRect(510, 600, 675, 270)},
    {"chkLimitMinSize", Kind::CheckBox, "Frame3", "     　KB以下は対象にしない", "対象ファイルの最小サイズを設定します", kOn, twipRect(270, 930, 2865, 315)},
    {"txtLimitMinSize", Kind::NumberField, "Frame3", "17", "", typingLimit(3), twipRect(510, 930, 540, 270)},
    {"chkLimitMaxSize", Kind::CheckBox, "Frame3", "　　　 KB以上は対象にしない", "対象ファイルの最大サイズを設定します", kOn, twipRect(270, 1290, 2805, 315)},
    {"txtLimitMaxSize", Kind::NumberField, "Frame3", "4000", "", typingLimit(5), twipRect(510, 1290, 555, 270)},
    {"chkSlowly", Kind::CheckBox, "Frame3", "ゆっくり移動する", "ファイルの移動・コピーの際に、ひとつのファイル毎に１秒待ちます", kOn, twipRect(270, 1590, 2805, 315)},
    {"chkCopy", Kind::CheckBox, "Frame3", "移動ではなくコピー", "移動ではなくコピーします", kOn, twipRect(270, 1890, 2865, 315)},
    {"ChkAllFile", Kind::CheckBox, "Frame3", "全てのファイルを対象にする", "全ての種類のファイルを対象にします", kOn, twipRect(3480, 270, 2715, 315)},
    {"Frame4", Kind::Frame, "Frame3", "　　　　　　　　　", "", kPlain, twipRect(3300, 660, 2835, 1065)},
    {"ChkGraphics", Kind::CheckBox, "Frame4", " 画 像 フ ァ イ ル ", "画像ファイルを対象とします", kOnDisabled, twipRect(180, 0, 2025, 315)},
    {"chkBMP", Kind::CheckBox, "Frame4", "BMP", "ビットマップファイルを対象とします", kOnDisabled, twipRect(180, 360, 735, 315)},
    {"chkGIF", Kind::CheckBox, "Frame4", "GIF", "ＧＩＦファイルを対象とします", kOnDisabled, twipRect(1020, 360, 675, 315)},
    {"chkJPG", Kind::CheckBox, "Frame4", "JPG", "JP(E)Gファイルを対象とします", kOnDisabled, twipRect(1860, 330, 675, 315)},
    {"chkPNG", Kind::CheckBox, "Frame4", "PNG", "PNGファイルを対象とします", kOffDisabled, twipRect(180, 660, 675, 315)},
    {"chkTIFF", Kind::CheckBox, "Frame4", "TIFF", "TIF(F)ファイルを対象とします", kOffDisabled, twipRect(1020, 660, 675, 315)},
    {"chkPCD", Kind::CheckBox, "Frame4", "PCD", "PCDファイルを対象とします", kOffDisabled, twipRect(1860, 630, 675, 315)},
    {"chkOther", Kind::CheckBox, "Frame3", "その他のファイル", "ユーザーが設定したファイルを対象とします", kOnDisabled, twipRect(3330, 1860, 1935, 315)},
    {"txtOTher", Kind::TextBox, "Frame3", "", "「;」で区切れば、複数を指定できます", kPlain, twipRect(5280, 1890, 855, 270)},
    {"frmFName", Kind::Frame, "Frame3", "ファイル名変更方法", "ファイルを移動した際の名前の変更方法を設定します", kPlain, twipRect(6330, 270, 2385, 1935)},
    {"Frame6", Kind::Frame, "frmFName", "ファイル名の先頭に", "", kPlain, twipRect(120, 360, 2145, 975)},
    {"optDateNum", Kind::OptionButton, "Frame6", "移動日時をつける", "移動するファイル名の先頭に移動日時を追加して新しいファイル名とします", kOn, twipRect(120, 240, 1965, 375)},
    {"optSerialNum", Kind::OptionButton, "Frame6", "通し番号をつける", "移動するファイル名の先頭に通し番号を追加して新しいファイル名とします", kOff, twipRect(120, 630, 1965, 195)},
    {"chkExtFix", Kind::CheckBox, "frmFName", "拡張子を整える", "拡張子を小文字に変更します", kOn, twipRect(240, 1470, 2055, 315)},
    {"lblProgress", Kind::FittedLabel, "client", "処理結果", "", kPlain, twipRect(150, 4950, 720, 180)},
    {"lstResult", Kind::List, "client", "", "", kPlain, twipRect(120, 5220, 10395, 1680)},
};
// clang-format on

// The settings' check boxes and text boxes, in the order of their enums.
constexpr const char* kCheckNames[] = {
    "chkSubFolder", "chkLimitCount", "chkLimitMinSize", "chkLimitMaxSize", "chkSlowly", "chkCopy",
    "ChkAllFile",   "ChkGraphics",   "chkBMP",          "chkGIF",          "chkTIFF",   "chkJPG",
    "chkPNG",       "chkPCD",        "chkOther",        "chkExtFix"};
constexpr const char* kTextNames[] = {"txtLimitCount", "txtLimitMinSize", "txtLimitMaxSize",
                                      "txtOTher"};
static_assert(std::size(kCheckNames) == std::tuple_size_v<decltype(MenuControls::checks)>);
static_assert(std::size(kTextNames) == std::tuple_size_v<decltype(MenuControls::texts)>);

constexpr const char* kTabOrder[] = {
    "cmdServerSelect", "cmdReceiveSelect", "cmdExecute",      "cmdEnd",          "chkSubFolder",
    "chkLimitCount",   "txtLimitCount",    "chkLimitMinSize", "txtLimitMinSize", "chkLimitMaxSize",
    "txtLimitMaxSize", "chkSlowly",        "chkCopy",         "ChkAllFile",      "ChkGraphics",
    "chkBMP",          "chkGIF",           "chkJPG",          "chkPNG",          "chkTIFF",
    "chkPCD",          "chkOther",         "txtOTher",        "optDateNum",      "optSerialNum",
    "chkExtFix",       "lstResult"};

using Made = std::map<std::string_view, QWidget*>;

template <class W>
W* made(const Made& widgets, const char* name) {
  return dynamic_cast<W*>(widgets.at(name));
}

QString u(const char* text) { return QString::fromUtf8(text); }

QWidget* pictureButton(QWidget* parent, const QString& caption, const Picture& image) {
  auto* button = child<QToolButton>(parent);
  button->setText(caption);
  button->setIcon(QIcon(picture(u(image.name), image.width, image.height)));
  button->setIconSize(QSize(image.width, image.height));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

QWidget* pathLabel(QWidget* parent) {
  auto* label = child<QLabel>(parent);
  label->setFrameStyle(QFrame::Box | QFrame::Plain);
  label->setLineWidth(1);
  return label;
}

QWidget* folderPicture(QWidget* parent, const Picture& image) {
  auto* label = child<ClickableLabel>(parent);
  label->setPixmap(picture(u(image.name), image.width, image.height));
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

QWidget* numberField(QWidget* parent, const QString& text, int typingLimit) {
  auto* field = child<NumberField>(parent, typingLimit);
  field->setProgramText(text);
  // Lies over the blanks at the start of its check box's caption.
  field->raise();
  return field;
}

template <class Button>
QWidget* checkable(QWidget* parent, const QString& caption, bool on) {
  auto* button = child<Button>(parent, caption);
  button->setChecked(on);
  return button;
}

QWidget* create(const ControlRow& row, QWidget* parent) {
  const QString caption = u(row.caption);
  switch (row.kind) {
    case Kind::Frame: return child<CaptionFrame>(parent, caption);
    case Kind::PictureButton: return pictureButton(parent, caption, row.initial.picture);
    case Kind::Button: return child<QPushButton>(parent, caption);
    case Kind::PathLabel: return pathLabel(parent);
    case Kind::FolderPicture: return folderPicture(parent, row.initial.picture);
    case Kind::CheckBox: return checkable<QCheckBox>(parent, caption, row.initial.on);
    case Kind::NumberField: return numberField(parent, caption, row.initial.typingLimit);
    case Kind::TextBox: return child<QLineEdit>(parent);
    case Kind::OptionButton: return checkable<QRadioButton>(parent, caption, row.initial.on);
    case Kind::FittedLabel: return child<QLabel>(parent, caption);
    case Kind::List: return child<QListView>(parent);
  }
  return nullptr;
}

QWidget* place(const ControlRow& row, QWidget* widget) {
  widget->setObjectName(u(row.name));
  if (*row.tip != '\0') widget->setToolTip(u(row.tip));
  if (!row.initial.enabled) widget->setEnabled(false);
  if (row.kind == Kind::FittedLabel) {
    widget->move(row.geometry.topLeft());
    widget->adjustSize();
  } else {
    widget->setGeometry(row.geometry);
  }
  return widget;
}

// The image-file group's title is its check box: it covers the frame line
// behind the blank caption. The group's frame alone is in the proportional face.
void dressImageGroup(const Made& widgets) {
  made<QWidget>(widgets, "Frame4")->setFont(pGothicFont(9));
  for (const char* name :
       {"ChkGraphics", "chkBMP", "chkGIF", "chkJPG", "chkPNG", "chkTIFF", "chkPCD"}) {
    made<QWidget>(widgets, name)->setFont(gothicFont(9));
  }
  auto* graphics = made<QWidget>(widgets, "ChkGraphics");
  graphics->setAutoFillBackground(true);
  graphics->raise();
}

// Thirteen pixels would cut the caption; the row below it is free.
void fitSerialOption(const Made& widgets) {
  auto* serial = made<QWidget>(widgets, "optSerialNum");
  serial->resize(serial->width(), std::max(serial->height(), serial->sizeHint().height()));
}

void setTabOrder(const Made& widgets) {
  for (std::size_t i = 1; i < std::size(kTabOrder); ++i) {
    QWidget::setTabOrder(widgets.at(kTabOrder[i - 1]), widgets.at(kTabOrder[i]));
  }
}

FolderRow folderRow(const Made& widgets, const char* button, const char* label, const char* image) {
  return {made<QPushButton>(widgets, button), made<QLabel>(widgets, label),
          made<ClickableLabel>(widgets, image)};
}

MenuControls reach(const Made& widgets) {
  MenuControls controls;
  controls.cmdExecute = made<QToolButton>(widgets, "cmdExecute");
  controls.cmdEnd = made<QToolButton>(widgets, "cmdEnd");
  controls.lblProgress = made<QLabel>(widgets, "lblProgress");
  controls.lstResult = made<QListView>(widgets, "lstResult");
  controls.folders = {folderRow(widgets, "cmdServerSelect", "lblServerDir", "imgServerDir"),
                      folderRow(widgets, "cmdReceiveSelect", "lblReceiveDir", "imgReceiveDir")};
  for (const auto& method : options::kRenameMethods) {
    controls.options[static_cast<std::size_t>(method.choice)] =
        made<QRadioButton>(widgets, method.button);
  }
  for (std::size_t i = 0; i < controls.checks.size(); ++i)
    controls.checks[i] = made<QCheckBox>(widgets, kCheckNames[i]);
  for (std::size_t i = 0; i < controls.texts.size(); ++i)
    controls.texts[i] = made<QLineEdit>(widgets, kTextNames[i]);
  return controls;
}

}  // namespace

MenuControls buildMenuControls(QWidget& client) {
  Made widgets{{"client", &client}};
  for (const ControlRow& row : kControls) {
    widgets[row.name] = place(row, create(row, widgets.at(row.in)));
  }
  dressImageGroup(widgets);
  fitSerialOption(widgets);
  setTabOrder(widgets);
  MenuControls controls = reach(widgets);
  // The four text boxes take direct typing only: no input method.
  for (QLineEdit* box : controls.texts) box->setAttribute(Qt::WA_InputMethodEnabled, false);
  return controls;
}

}  // namespace msifter::ui
