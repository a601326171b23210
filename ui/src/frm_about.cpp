// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frm_about.h"

#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

#include "common/app.h"
#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/ui_services.h"
#include "common/version.h"
#include "ui/appearance.h"
#include "ui/clickable_label.h"
#include "ui/lifecycle.h"
#include "ui/shell.h"
#include "ui/ui_config.h"

namespace msifter::ui {

std::string FrmAbout::linkTarget() {
  if (*kAboutLinkUrl != '\0') return kAboutLinkUrl;
  return common::gAddBackslash(common::applicationFolder()) + "README.md";
}

FrmAbout::FrmAbout() {
  setUpDialogWindow(*this, "frmAbout", kCaption);

  auto* layout = child<QVBoxLayout>(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  auto* menuBar = child<QMenuBar>(this);
  auto* help = menuBar->addMenu(QString::fromUtf8("ヘルプ(&H)"));
  help->setObjectName(QStringLiteral("Help"));
  auto* contents = help->addAction(QString::fromUtf8("目次(&C)"));
  contents->setObjectName(QStringLiteral("mnuContents"));
  connect(contents, &QAction::triggered, this, [this] { mnuContents_Click(); });
  layout->setMenuBar(menuBar);

  auto* client = child<QWidget>(this);
  client->setFixedSize(twips(4380), twips(4020));
  layout->addWidget(client);

  auto* icon = child<QLabel>(client);
  icon->setObjectName(QStringLiteral("imgIcon"));
  icon->setGeometry(twipRect(360, 300, 480, 480));
  icon->setPixmap(picture(QStringLiteral("app"), 32, 32));

  const QFont large = gothicFont(11.25);
  auto makeLabel = [&](const char* name, const QString& text, QRect geometry) {
    auto* label = child<QLabel>(client, text);
    label->setObjectName(QString::fromUtf8(name));
    label->setFont(large);
    label->setGeometry(geometry);
    return label;
  };
  label1_ = makeLabel("Label1", QString(), twipRect(1080, 420, 3180, 435));
  label2_ = makeLabel("Label2", QString(), twipRect(390, 990, 3885, 435));
  makeLabel("lblLicense", QString::fromUtf8("ライセンス： ") + QString::fromUtf8(kLicense),
            twipRect(390, 1560, 3885, 435));
  makeLabel("Label4", QString::fromUtf8("お問い合わせ、最新版の配布は"),
            twipRect(390, 2700, 3885, 375));
  makeLabel("Label7", QString::fromUtf8("このページへ"), twipRect(390, 3030, 3510, 435))
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  lblHp_ = child<ClickableLabel>(client);
  lblHp_->setObjectName(QStringLiteral("lblHp"));
  lblHp_->setText(QString::fromUtf8(kAboutLinkLabel));
  QFont link = large;
  link.setUnderline(true);
  lblHp_->setFont(link);
  QPalette palette = lblHp_->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  lblHp_->setPalette(palette);
  lblHp_->setAlignment(Qt::AlignCenter);
  lblHp_->setCursor(Qt::PointingHandCursor);
  lblHp_->setToolTip(QString::fromStdString(linkTarget()));
  lblHp_->setGeometry(twipRect(60, 3450, 4215, 405));
  lblHp_->onClick = [this] { lblHp_Click(); };
}

FrmAbout::~FrmAbout() { clearFormReference(this); }

void FrmAbout::formLoad() {
  common::guardFatal("frmAbout_Form_Load", [&] {
    gDspFormTitle(*this, TitleMode::TitleLast);
    label1_->setText(QString::fromUtf8(common::kAppTitle) + QStringLiteral("  version ") +
                     QString::number(common::kVersionMajor) + QStringLiteral(".") +
                     QString::number(common::kVersionMinor) + QStringLiteral(".") +
                     QString::number(common::kVersionRevision));
    label2_->setText(QString::fromUtf8(kSecondLine));
    adjustSize();
    // Modal windows keep their own start position: the centre of the screen.
    gDspWindowPosition(*this, FormPosition::Centred);
  });
}

void FrmAbout::lblHp_Click() {
  common::guardFatal("frmAbout_lblHp_Click", [&] {
    if (!gShellExecute(linkTarget(), common::show::Maximized))
      common::gDispMsg(msgcode::HomePageNotOpened);
  });
}

void FrmAbout::mnuContents_Click() {
  common::guardLog("mnuContents_Click", false, [] { return gDspHelp(); });
}

void FrmAbout::done(int result) {
  common::guardFatal("frmAbout_Form_Unload", [&] {
    clearFormReference(this);
    markUnloaded();
  });
  QDialog::done(result);
}

}  // namespace msifter::ui
