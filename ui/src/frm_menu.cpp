#include "ui/frm_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <exception>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/ui_services.h"
#include "gui_thread.h"
#include "settings/settings_store.h"
#include "ui/appearance.h"
#include "ui/caption_frame.h"
#include "ui/clickable_label.h"
#include "ui/frm_about.h"
#include "ui/lifecycle.h"
#include "ui/number_field.h"
#include "ui/option_values.h"
#include "ui/result_list_model.h"
#include "ui/shell.h"

namespace msifter::ui {

using settings::Check;
using settings::FolderLabel;
using settings::Text;

namespace {

// How often the window thread looks after the window while a run works.
constexpr int kPaintIntervalMs = 100;
constexpr int kRowsLaidOutPerTurn = 20000;

// The last run's list goes before the next run fills it again, and the
// memory it held goes back to the system instead of staying with the process.
void releaseFoundPaths() {
  std::vector<std::string>().swap(engine::runState().lstResult);
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

std::size_t index(Check box) { return static_cast<std::size_t>(box); }
std::size_t index(Text box) { return static_cast<std::size_t>(box); }

QString u(const char* text) { return QString::fromUtf8(text); }

}  // namespace

FrmMenu::FrmMenu() {
  setObjectName(QStringLiteral("frmMenu"));
  setWindowTitle(u(kCaption));
  // Fixed border with a minimize button and no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(programIcon());
  setFont(gothicFont(9));
  buildMenu();
  buildControls();
  setTabOrder();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

FrmMenu::~FrmMenu() { clearFormReference(this); }

void FrmMenu::buildMenu() {
  QMenu* help = menuBar()->addMenu(u("ヘルプ(&H)"));
  help->setObjectName(QStringLiteral("Help"));
  mnuContents_ = help->addAction(u("目次(&C)"));
  mnuContents_->setObjectName(QStringLiteral("mnuContents"));
  mnuAbout_ = help->addAction(u("このソフトについて(&A)"));
  mnuAbout_->setObjectName(QStringLiteral("mnuAbout"));
  connect(mnuContents_, &QAction::triggered, this, [this] { mnuContents_Click(); });
  connect(mnuAbout_, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void FrmMenu::buildControls() {
  auto* client = child<QWidget>(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(twips(10620), twips(7110));
  setCentralWidget(client);

  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(u(name));
    return widget;
  };
  auto frame = [&](QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* box = named(child<CaptionFrame>(parent, u(caption)), name);
    box->setGeometry(geometry);
    return box;
  };
  auto check = [&](QWidget* parent, Check which, const char* name, const char* caption,
                   const char* tip, bool on, QRect geometry) {
    auto* box = named(child<QCheckBox>(parent, u(caption)), name);
    if (tip != nullptr) box->setToolTip(u(tip));
    box->setChecked(on);
    box->setGeometry(geometry);
    checks_[index(which)] = box;
    return box;
  };
  auto numberField = [&](QWidget* parent, Text which, const char* name, int limit,
                         const char* initial, QRect geometry) {
    auto* field = named(child<NumberField>(parent, limit), name);
    field->setProgramText(u(initial));
    field->setGeometry(geometry);
    // Lies over the blanks at the start of its check box's caption.
    field->raise();
    texts_[index(which)] = field;
    return field;
  };
  auto pictureButton = [&](const char* name, const char* caption, const char* image, int w, int h,
                           QRect geometry) {
    auto* button = named(child<QToolButton>(client), name);
    button->setText(u(caption));
    button->setIcon(QIcon(picture(u(image), w, h)));
    button->setIconSize(QSize(w, h));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(geometry);
    return button;
  };
  auto folderRow = [&](const char* frameName, const char* frameCaption, int frameTop,
                       const char* buttonName, const char* labelName, int labelWidth,
                       const char* imageName, QPushButton*& button, QLabel*& label,
                       ClickableLabel*& image) {
    QGroupBox* box = frame(client, frameName, frameCaption, twipRect(120, frameTop, 10335, 855));
    button = named(child<QPushButton>(box, u("フォルダの選択")), buttonName);
    button->setGeometry(twipRect(120, 240, 1455, 495));
    label = named(child<QLabel>(box), labelName);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    label->setGeometry(twipRect(1680, 360, labelWidth, 255));
    image = named(child<ClickableLabel>(box), imageName);
    image->setPixmap(picture(QStringLiteral("folder"), 32, 32));
    image->setCursor(Qt::PointingHandCursor);
    image->setGeometry(twipRect(9690, 240, 480, 480));
  };

  cmdExecute_ =
      pictureButton("cmdExecute", "実 行", "execute", 30, 32, twipRect(240, 2580, 1095, 915));
  cmdExecute_->setToolTip(u("操作を実行します"));
  cmdEnd_ = pictureButton("cmdEnd", "終 了", "end", 32, 32, twipRect(240, 3750, 1095, 915));

  folderRow("Frame1", " 移 動 元 ", 240, "cmdServerSelect", "lblServerDir", 7845, "imgServerDir",
            cmdServerSelect_, lblServerDir_, imgServerDir_);
  folderRow("Frame2", " 移 動 先 ", 1320, "cmdReceiveSelect", "lblReceiveDir", 7875,
            "imgReceiveDir", cmdReceiveSelect_, lblReceiveDir_, imgReceiveDir_);

  QGroupBox* frame3 = frame(client, "Frame3", " 対 象 条 件 ", twipRect(1530, 2400, 8925, 2325));
  check(frame3, Check::SubFolder, "chkSubFolder", "サブフォルダも対象にする",
        "移動元のフォルダ以下にあるフォルダについても対象とします", true,
        twipRect(270, 270, 2925, 315));
  check(frame3, Check::LimitCount, "chkLimitCount", "        件移動したら終了する",
        "対象ファイルを検索順に件数で区切ります", true, twipRect(270, 600, 2865, 315));
  numberField(frame3, Text::LimitCount, "txtLimitCount", 6, "1000000",
              twipRect(510, 600, 675, 270));
  check(frame3, Check::LimitMinSize, "chkLimitMinSize", "     　KB以下は対象にしない",
        "対象ファイルの最小サイズを設定します", true, twipRect(270, 930, 2865, 315));
  numberField(frame3, Text::LimitMinSize, "txtLimitMinSize", 3, "17", twipRect(510, 930, 540, 270));
  check(frame3, Check::LimitMaxSize, "chkLimitMaxSize", "　　　 KB以上は対象にしない",
        "対象ファイルの最大サイズを設定します", true, twipRect(270, 1290, 2805, 315));
  numberField(frame3, Text::LimitMaxSize, "txtLimitMaxSize", 5, "4000",
              twipRect(510, 1290, 555, 270));
  check(frame3, Check::Slowly, "chkSlowly", "ゆっくり移動する",
        "ファイルの移動・コピーの際に、ひとつのファイル毎に１秒待ちます", true,
        twipRect(270, 1590, 2805, 315));
  check(frame3, Check::Copy, "chkCopy", "移動ではなくコピー", "移動ではなくコピーします", true,
        twipRect(270, 1890, 2865, 315));
  check(frame3, Check::AllFile, "ChkAllFile", "全てのファイルを対象にする",
        "全ての種類のファイルを対象にします", true, twipRect(3480, 270, 2715, 315));

  QGroupBox* frame4 =
      frame(frame3, "Frame4", "　　　　　　　　　", twipRect(3300, 660, 2835, 1065));
  frame4->setFont(pGothicFont(9));
  QCheckBox* graphics = check(frame4, Check::Graphics, "ChkGraphics", " 画 像 フ ァ イ ル ",
                              "画像ファイルを対象とします", true, twipRect(180, 0, 2025, 315));
  // The check box is the group's title: it covers the frame line behind it.
  graphics->setFont(gothicFont(9));
  graphics->setAutoFillBackground(true);
  struct TypeBox {
    Check which;
    const char* name;
    const char* caption;
    const char* tip;
    bool on;
    QRect geometry;
  };
  const TypeBox types[] = {
      {Check::BMP, "chkBMP", "BMP", "ビットマップファイルを対象とします", true,
       twipRect(180, 360, 735, 315)},
      {Check::GIF, "chkGIF", "GIF", "ＧＩＦファイルを対象とします", true,
       twipRect(1020, 360, 675, 315)},
      {Check::JPG, "chkJPG", "JPG", "JP(E)Gファイルを対象とします", true,
       twipRect(1860, 330, 675, 315)},
      {Check::PNG, "chkPNG", "PNG", "PNGファイルを対象とします", false,
       twipRect(180, 660, 675, 315)},
      {Check::TIFF, "chkTIFF", "TIFF", "TIF(F)ファイルを対象とします", false,
       twipRect(1020, 660, 675, 315)},
      {Check::PCD, "chkPCD", "PCD", "PCDファイルを対象とします", false,
       twipRect(1860, 630, 675, 315)},
  };
  for (const TypeBox& type : types) {
    check(frame4, type.which, type.name, type.caption, type.tip, type.on, type.geometry)
        ->setFont(gothicFont(9));
  }
  graphics->raise();
  check(frame3, Check::Other, "chkOther", "その他のファイル",
        "ユーザーが設定したファイルを対象とします", true, twipRect(3330, 1860, 1935, 315));
  auto* other = named(child<QLineEdit>(frame3), "txtOTher");
  other->setToolTip(u("「;」で区切れば、複数を指定できます"));
  other->setGeometry(twipRect(5280, 1890, 855, 270));
  texts_[index(Text::Other)] = other;
  for (const Check which : {Check::Graphics, Check::BMP, Check::GIF, Check::JPG, Check::PNG,
                            Check::TIFF, Check::PCD, Check::Other}) {
    checks_[index(which)]->setEnabled(false);
  }

  QGroupBox* fname =
      frame(frame3, "frmFName", "ファイル名変更方法", twipRect(6330, 270, 2385, 1935));
  fname->setToolTip(u("ファイルを移動した際の名前の変更方法を設定します"));
  QGroupBox* frame6 = frame(fname, "Frame6", "ファイル名の先頭に", twipRect(120, 360, 2145, 975));
  optDateNum_ = named(child<QRadioButton>(frame6, u("移動日時をつける")), "optDateNum");
  optDateNum_->setToolTip(
      u("移動するファイル名の先頭に移動日時を追加して新しいファイル名とします"));
  optDateNum_->setGeometry(twipRect(120, 240, 1965, 375));
  optDateNum_->setChecked(true);
  optSerialNum_ = named(child<QRadioButton>(frame6, u("通し番号をつける")), "optSerialNum");
  optSerialNum_->setToolTip(
      u("移動するファイル名の先頭に通し番号を追加して新しいファイル名とします"));
  optSerialNum_->setGeometry(twipRect(120, 630, 1965, 195));
  // Thirteen pixels would cut the caption; the row below it is free.
  optSerialNum_->resize(optSerialNum_->width(),
                        std::max(optSerialNum_->height(), optSerialNum_->sizeHint().height()));
  check(fname, Check::ExtFix, "chkExtFix", "拡張子を整える", "拡張子を小文字に変更します", true,
        twipRect(240, 1470, 2055, 315));

  lblProgress_ = named(child<QLabel>(client, u("処理結果")), "lblProgress");
  lblProgress_->move(twips(150), twips(4950));
  lblProgress_->adjustSize();

  lstResult_ = named(child<QListView>(client), "lstResult");
  lstResult_->setGeometry(twipRect(120, 5220, 10395, 1680));
  lstResult_->setUniformItemSizes(true);
  // A million rows are laid out a slice per turn of the event loop, so the
  // window keeps answering while the list takes its length.
  lstResult_->setLayoutMode(QListView::Batched);
  lstResult_->setBatchSize(kRowsLaidOutPerTurn);
  results_ = child<ResultListModel>(this, engine::runState().lstResult);
  lstResult_->setModel(results_);

  // The four text boxes take direct typing only: no input method.
  for (QLineEdit* box : texts_) box->setAttribute(Qt::WA_InputMethodEnabled, false);

  connect(cmdExecute_, &QToolButton::clicked, this, [this] { cmdExecute_Click(); });
  connect(cmdEnd_, &QToolButton::clicked, this, [this] { close(); });
  connect(cmdServerSelect_, &QPushButton::clicked, this, [this] { cmdServerSelect_Click(); });
  connect(cmdReceiveSelect_, &QPushButton::clicked, this, [this] { cmdReceiveSelect_Click(); });
  imgServerDir_->onClick = [this] { imgServerDir_Click(); };
  imgReceiveDir_->onClick = [this] { imgReceiveDir_Click(); };
  for (const Check which : {Check::AllFile, Check::Graphics, Check::Other, Check::BMP, Check::GIF,
                            Check::JPG, Check::PNG, Check::TIFF, Check::PCD}) {
    connect(checks_[index(which)], &QCheckBox::clicked, this, [this] { targetType_Click(); });
  }
}

void FrmMenu::setTabOrder() {
  QWidget* const order[] = {
      cmdServerSelect_,
      cmdReceiveSelect_,
      cmdExecute_,
      cmdEnd_,
      checkBox(Check::SubFolder),
      checkBox(Check::LimitCount),
      textBox(Text::LimitCount),
      checkBox(Check::LimitMinSize),
      textBox(Text::LimitMinSize),
      checkBox(Check::LimitMaxSize),
      textBox(Text::LimitMaxSize),
      checkBox(Check::Slowly),
      checkBox(Check::Copy),
      checkBox(Check::AllFile),
      checkBox(Check::Graphics),
      checkBox(Check::BMP),
      checkBox(Check::GIF),
      checkBox(Check::JPG),
      checkBox(Check::PNG),
      checkBox(Check::TIFF),
      checkBox(Check::PCD),
      checkBox(Check::Other),
      textBox(Text::Other),
      optDateNum_,
      optSerialNum_,
      checkBox(Check::ExtFix),
      lstResult_,
  };
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QWidget::setTabOrder(order[i - 1], order[i]);
  }
}

QCheckBox* FrmMenu::checkBox(Check box) const { return checks_[index(box)]; }
QLineEdit* FrmMenu::textBox(Text box) const { return texts_[index(box)]; }

// ---- load and unload

void FrmMenu::formLoad() {
  common::guardFatal("frmMenu_Form_load", [&] {
    gDspFormTitle(*this, 1);
    settings::gDspSettingData(*this);
    settings::gDspSettingData2(*this);
  });
}

void FrmMenu::closeEvent(QCloseEvent* event) {
  // A run cannot be left half-way.
  if (running_) {
    event->ignore();
    return;
  }
  common::guardFatal("frmMenu_Form_Unload", [&] {
    if (gGetFormCount() == 1) {
      clearFormReference(this);
      common::ui().processEvents();
      common::ui().endProcessing();
    }
    markUnloaded();
  });
  event->accept();
}

// ---- handlers

void FrmMenu::cmdExecute_Click() {
  if (running_) return;
  common::guardFatal("cmdExecute_Click", [&] { runKeepingWindowPainted(); });
}

void FrmMenu::runKeepingWindowPainted() {
  // The run works on a thread of its own so that the window keeps painting
  // through long transfers and pauses; every call it makes into the window
  // or the window system is carried back to this thread.
  running_ = true;
  struct Done {
    bool& running;
    ~Done() { running = false; }
  } done{running_};
  std::atomic<bool> finished{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      engine::executeCommand(*this);
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  QTimer tick;
  connect(&tick, &QTimer::timeout, this, [this] { applyPendingProgress(); });
  tick.start(kPaintIntervalMs);
  while (!finished) {
    // Until the window is disabled, input waits instead of reaching the
    // controls the run is reading.
    const auto flags = busy_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
    QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

void FrmMenu::cmdServerSelect_Click() { chooseFolder(FolderLabel::ServerDir); }
void FrmMenu::cmdReceiveSelect_Click() { chooseFolder(FolderLabel::ReceiveDir); }

void FrmMenu::chooseFolder(FolderLabel label) {
  const std::string path = gShowSelectDirDlg(this);
  if (!path.empty()) setCaption(label, path);
}

void FrmMenu::imgServerDir_Click() {
  openFolder(FolderLabel::ServerDir, "移動元のフォルダが", "imgServerDir_Click");
}

void FrmMenu::imgReceiveDir_Click() {
  openFolder(FolderLabel::ReceiveDir, "移動先のフォルダが", "imgReceiveDir_Click");
}

void FrmMenu::openFolder(FolderLabel label, const char* subject, const char* procName) {
  common::guardLog(procName, false, [&] {
    const std::string folder = caption(label);
    if (folder.empty()) {
      common::gDispMsg(msgcode::NotChosen, subject);
      return true;
    }
    if (!common::gChkDirExists(folder, false)) {
      common::gDispMsg(msgcode::DoesNotExist, subject);
      return true;
    }
    if (!gShellExecute(folder, common::show::NoActivate)) common::gProcError(procName, "");
    return true;
  });
}

void FrmMenu::targetType_Click() { settings::gDspSettingData2(*this); }

void FrmMenu::mnuContents_Click() {
  common::guardLog("mnuContents_Click", false, [] { return gDspHelp(); });
}

void FrmMenu::mnuAbout_Click() {
  common::guardFatal("frmMenu_mnuAbout_Click", [] { gDspForm(loadAboutForm(), 0, 1, 0); });
}

// ---- the settings store's view of the window

int FrmMenu::value(Check box) const { return checkBox(box)->isChecked() ? 1 : 0; }
void FrmMenu::setValue(Check box, int value) { checkBox(box)->setChecked(value != 0); }
bool FrmMenu::isEnabled(Check box) const { return checkBox(box)->isEnabled(); }
void FrmMenu::setEnabled(Check box, bool enabled) { checkBox(box)->setEnabled(enabled); }

std::string FrmMenu::text(Text box) const { return textBox(box)->text().toStdString(); }

void FrmMenu::setText(Text box, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (auto* field = dynamic_cast<NumberField*>(textBox(box)))
    field->setProgramText(value);
  else
    textBox(box)->setText(value);
}

bool FrmMenu::isTextEnabled(Text box) const { return textBox(box)->isEnabled(); }
void FrmMenu::setTextEnabled(Text box, bool enabled) { textBox(box)->setEnabled(enabled); }

void FrmMenu::setTextBackground(Text box, settings::Background colour) {
  QLineEdit* edit = textBox(box);
  QPalette palette = edit->palette();
  const QPalette system = QPalette();
  const QPalette::ColorRole role =
      colour == settings::Background::Menu ? QPalette::Window : QPalette::Base;
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, system.color(group, role));
  }
  edit->setPalette(palette);
}

std::string FrmMenu::caption(FolderLabel label) const {
  return label == FolderLabel::ServerDir ? serverDir_ : receiveDir_;
}

void FrmMenu::setCaption(FolderLabel label, const std::string& caption) {
  (label == FolderLabel::ServerDir ? serverDir_ : receiveDir_) = caption;
  (label == FolderLabel::ServerDir ? lblServerDir_ : lblReceiveDir_)->setText(displayPath(caption));
}

bool FrmMenu::isSelected(settings::Option option) const {
  return (option == settings::Option::DateNum ? optDateNum_ : optSerialNum_)->isChecked();
}

void FrmMenu::select(settings::Option option) {
  (option == settings::Option::DateNum ? optDateNum_ : optSerialNum_)->setChecked(true);
}

void FrmMenu::setFocus(settings::Focus target) {
  switch (target) {
    case settings::Focus::ServerSelect: cmdServerSelect_->setFocus(); break;
    case settings::Focus::ReceiveSelect: cmdReceiveSelect_->setFocus(); break;
    case settings::Focus::LimitMinSize: textBox(Text::LimitMinSize)->setFocus(); break;
    case settings::Focus::LimitMaxSize: textBox(Text::LimitMaxSize)->setFocus(); break;
  }
}

// ---- the target list's view

bool FrmMenu::isChecked(Check box) const {
  return onGuiThread(const_cast<FrmMenu*>(this), [&] { return value(box) != 0; });
}

std::string FrmMenu::otherText() const {
  return onGuiThread(const_cast<FrmMenu*>(this), [this] { return text(Text::Other); });
}

// ---- the run's view; each call may come from the run's thread

bool FrmMenu::checkSettings() {
  return onGuiThread(this, [this] { return settings::gChkSettingData(*this); });
}

void FrmMenu::enterBusyState() {
  onGuiThread(this, [this] {
    common::ui().setBusyCursor(true);
    lstResult_->hide();
    // From here on the run clears and fills the list the rows are read from.
    results_->hidePaths();
    QWidget::setEnabled(false);
    cmdExecute_->hide();
    cmdEnd_->hide();
    busy_ = true;
  });
  // Still on the run's thread: freeing a million paths would hold the window up.
  releaseFoundPaths();
}

void FrmMenu::saveSettings() {
  // The controls are read on the window thread and written from the run's,
  // so that a slow disk does not hold the window up.
  OptionValues options = onGuiThread(this, [this] { return OptionValues(*this); });
  settings::gSetSettingData(options, engine::runState().lastExecute);
}

engine::TransferOptions FrmMenu::takeSnapshot() {
  return onGuiThread(this, [this] {
    engine::TransferOptions options;
    options.serverDir = serverDir_;
    options.receiveDir = receiveDir_;
    options.subFolder = value(Check::SubFolder) != 0;
    options.useMinSize = value(Check::LimitMinSize) != 0;
    options.minSizeBytes = engine::kbTextToBytes(text(Text::LimitMinSize));
    options.useMaxSize = value(Check::LimitMaxSize) != 0;
    options.maxSizeBytes = engine::kbTextToBytes(text(Text::LimitMaxSize));
    options.useCountLimit = value(Check::LimitCount) != 0;
    options.countLimit = common::wholeNumberText(text(Text::LimitCount));
    options.copyFiles = value(Check::Copy) != 0;
    options.renameMethod = optSerialNum_->isChecked() ? engine::RenameMethod::SerialNumber
                                                      : engine::RenameMethod::DateTime;
    options.extFix = value(Check::ExtFix) != 0;
    options.slowly = value(Check::Slowly) != 0;
    return options;
  });
}

void FrmMenu::setCaption(const std::string& caption) {
  if (QThread::currentThread() == thread()) {
    lblProgress_->setText(displayPath(caption));
    lblProgress_->adjustSize();
    return;
  }
  // The search names every folder it enters, hundreds a second; the window
  // shows the newest one at its next tick, without holding the search up.
  std::lock_guard lock(progressMutex_);
  pendingProgress_ = caption;
  progressQueued_ = true;
}

void FrmMenu::applyPendingProgress() {
  std::string caption;
  {
    std::lock_guard lock(progressMutex_);
    if (!progressQueued_) return;  // already shown, or replaced by the summary
    caption.swap(pendingProgress_);
    progressQueued_ = false;
  }
  lblProgress_->setText(displayPath(caption));
  lblProgress_->adjustSize();
}

void FrmMenu::showSummary(const std::string& summary) {
  onGuiThread(this, [&] {
    {
      std::lock_guard lock(progressMutex_);
      pendingProgress_.clear();
      progressQueued_ = false;
    }
    lblProgress_->setText(QString::fromStdString(summary));
    lblProgress_->adjustSize();
  });
}

void FrmMenu::leaveBusyState() {
  onGuiThread(this, [this] {
    common::ui().setBusyCursor(false);
    results_->showPaths();
    lstResult_->show();
    QWidget::setEnabled(true);
    cmdExecute_->show();
    cmdEnd_->show();
    busy_ = false;
  });
}

}  // namespace msifter::ui
