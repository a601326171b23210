// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frm_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLayout>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/ui_services.h"
#include "menu_controls.h"
#include "settings/settings_store.h"
#include "settings_view.h"
#include "ui/appearance.h"
#include "ui/clickable_label.h"
#include "ui/frm_about.h"
#include "ui/history_window.h"
#include "ui/import_options_dialog.h"
#include "ui/lifecycle.h"
#include "ui/result_list_model.h"
#include "ui/run_view.h"
#include "ui/shell.h"

namespace msifter::ui {

using settings::Check;
using settings::FolderLabel;

namespace {

constexpr int kRowsLaidOutPerTurn = 20000;
constexpr const char* kImportOptionsOn = " — 取り込みの設定あり";

QString u(const char* text) { return QString::fromUtf8(text); }

}  // namespace

FrmMenu::FrmMenu(RunCommand run) : run_(std::move(run)) {
  setObjectName(QStringLiteral("frmMenu"));
  setWindowTitle(u(kCaption));
  // Fixed border with a minimize button and no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(programIcon());
  setFont(gothicFont(9));
  setupMainMenu();
  setupControls();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

FrmMenu::~FrmMenu() { clearFormReference(this); }

settings::SettingsWindow& FrmMenu::settingsView() { return *settingsView_; }
RunView& FrmMenu::runView() { return *runView_; }

std::vector<std::string>& FrmMenu::lstResult() {
  runStateOwner_.touch();
  return lstResult_;
}

void FrmMenu::setupMainMenu() {
  QMenu* tools = menuBar()->addMenu(u("ツール(&T)"));
  tools->setObjectName(QStringLiteral("Tools"));
  QAction* history = tools->addAction(u("実行履歴(&R)..."));
  history->setObjectName(QStringLiteral("mnuHistory"));
  connect(history, &QAction::triggered, this, [this] { mnuHistory_Click(); });
  QAction* import = tools->addAction(u("取り込みの設定(&I)..."));
  import->setObjectName(QStringLiteral("mnuImportOptions"));
  connect(import, &QAction::triggered, this, [this] { mnuImportOptions_Click(); });

  QMenu* help = menuBar()->addMenu(u("ヘルプ(&H)"));
  help->setObjectName(QStringLiteral("Help"));
  QAction* contents = help->addAction(u("目次(&C)"));
  contents->setObjectName(QStringLiteral("mnuContents"));
  QAction* about = help->addAction(u("このソフトについて(&A)"));
  about->setObjectName(QStringLiteral("mnuAbout"));
  connect(contents, &QAction::triggered, this, [this] { mnuContents_Click(); });
  connect(about, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void FrmMenu::setupControls() {
  auto* client = child<QWidget>(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(twips(10620), twips(7110));
  setCentralWidget(client);
  controls_ = std::make_unique<MenuControls>(buildMenuControls(*client));
  setupResultList();
  settingsView_ = std::make_unique<SettingsView>(*controls_);
  runView_ = std::make_unique<RunView>(*this, *controls_, *results_);
  connectHandlers();
}

void FrmMenu::setupResultList() {
  QListView* list = controls_->lstResult;
  list->setUniformItemSizes(true);
  // A million rows are laid out a slice per turn of the event loop, so the
  // window keeps answering while the list takes its length.
  list->setLayoutMode(QListView::Batched);
  list->setBatchSize(kRowsLaidOutPerTurn);
  results_ = child<ResultListModel>(this, lstResult_);
  list->setModel(results_);
}

void FrmMenu::connectHandlers() {
  const MenuControls& c = *controls_;
  connect(c.cmdExecute, &QToolButton::clicked, this, [this] { cmdExecute_Click(); });
  connect(c.cmdEnd, &QToolButton::clicked, this, [this] { close(); });
  const FolderRow& server = c.folder(FolderLabel::ServerDir);
  const FolderRow& receive = c.folder(FolderLabel::ReceiveDir);
  connect(server.select, &QPushButton::clicked, this, [this] { cmdServerSelect_Click(); });
  connect(receive.select, &QPushButton::clicked, this, [this] { cmdReceiveSelect_Click(); });
  server.picture->onClick = [this] { imgServerDir_Click(); };
  receive.picture->onClick = [this] { imgReceiveDir_Click(); };
  for (const Check which : {Check::AllFile, Check::Graphics, Check::Other, Check::BMP, Check::GIF,
                            Check::JPG, Check::PNG, Check::TIFF, Check::PCD}) {
    connect(c.check(which), &QCheckBox::clicked, this, [this] { targetType_Click(); });
  }
}

// ---- load and unload

void FrmMenu::formLoad() {
  common::guardFatal("frmMenu_Form_load", [&] {
    gDspFormTitle(*this, TitleMode::TitleFirst);
    settings::gDspSettingData(*settingsView_);
    settings::gDspSettingData2(*settingsView_);
    // Read again, silently: gDspSettingData has told of a damaged store.
    settings::SavedSettings saved;
    settings::gGetSettingData(saved);
    beyondForm_ = saved.options;
    plainTitle_ = windowTitle();
    showImportState();
  });
}

// The form cannot show the import options; its title says that some are on,
// so that names by capture time or skipped files never come as a surprise.
void FrmMenu::showImportState() {
  setWindowTitle(anyImportOptionOn(beyondForm_) ? plainTitle_ + u(kImportOptionsOn) : plainTitle_);
}

void FrmMenu::closeEvent(QCloseEvent* event) {
  // A run cannot be left half-way, nor an undo.
  if (running_ || (history_ != nullptr && history_->isUndoing())) {
    event->ignore();
    return;
  }
  if (history_ != nullptr) history_->close();
  if (importOptions_ != nullptr) importOptions_->reject();
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

void FrmMenu::cmdServerSelect_Click() { chooseFolder(FolderLabel::ServerDir); }
void FrmMenu::cmdReceiveSelect_Click() { chooseFolder(FolderLabel::ReceiveDir); }

void FrmMenu::chooseFolder(FolderLabel label) {
  const std::string path = gShowSelectDirDlg(this);
  if (!path.empty()) settingsView_->setCaption(label, path);
}

void FrmMenu::imgServerDir_Click() {
  openFolder(FolderLabel::ServerDir, "移動元のフォルダが", "imgServerDir_Click");
}

void FrmMenu::imgReceiveDir_Click() {
  openFolder(FolderLabel::ReceiveDir, "移動先のフォルダが", "imgReceiveDir_Click");
}

void FrmMenu::openFolder(FolderLabel label, const char* subject, const char* procName) {
  common::guardLog(procName, false, [&] {
    const std::string folder = settingsView_->caption(label);
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

void FrmMenu::targetType_Click() { settings::gDspSettingData2(*settingsView_); }

void FrmMenu::mnuContents_Click() {
  common::guardLog("mnuContents_Click", false, [] { return gDspHelp(); });
}

void FrmMenu::mnuAbout_Click() {
  common::guardFatal("frmMenu_mnuAbout_Click", [] {
    gDspForm(loadAboutForm(), FormPosition::Centred, FormModal::Modal, FormState::Normal);
  });
}

void FrmMenu::mnuHistory_Click() {
  common::guardLog("frmMenu_mnuHistory_Click", false, [this] {
    if (history_ == nullptr) history_ = child<HistoryWindow>(this);
    history_->refresh();
    history_->show();
    history_->raise();
    history_->activateWindow();
    return true;
  });
}

void FrmMenu::mnuImportOptions_Click() {
  common::guardLog("frmMenu_mnuImportOptions_Click", false, [this] {
    if (importOptions_ != nullptr) {
      importOptions_->raise();
      importOptions_->activateWindow();
      return true;
    }
    // A new dialog each time, so that it starts from what is kept now.
    importOptions_ = child<ImportOptionsDialog>(this, beyondForm_,
                                                settingsView_->caption(FolderLabel::ReceiveDir));
    importOptions_->setAttribute(Qt::WA_DeleteOnClose);
    connect(importOptions_, &QDialog::accepted, this, [this] {
      beyondForm_ = importOptions_->kept();
      showImportState();
    });
    importOptions_->open();
    return true;
  });
}

}  // namespace msifter::ui
