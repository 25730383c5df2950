#include "shell/CAboutDlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "core/ProductVersion.h"
#include "toolkit/ui/CIconSet.h"
#include "toolkit/ui/ManualPath.h"
#include "toolkit/ui/StringTable.h"

namespace {

// The links of the box are blue on the white background of the dialog.
constexpr const char* kLinkColour = "#0000ee";

QLabel* LinkLabel(const QString& text, const QUrl& target, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::RichText);
  label->setText(QStringLiteral("<a href=\"%1\" style=\"color:%2;\">%3</a>")
                     .arg(target.toString(QUrl::FullyEncoded).toHtmlEscaped(), QLatin1String(kLinkColour),
                          text.toHtmlEscaped()));
  label->setTextInteractionFlags(Qt::TextBrowserInteraction);
  label->setOpenExternalLinks(true);
  label->setAttribute(Qt::WA_TranslucentBackground);
  label->setAccessibleName(text);
  label->setToolTip(target.toDisplayString());
  return label;
}

// A manual of the installation.
QUrl ManualUrl(const QString& fileName) {
  return QUrl::fromLocalFile(zelgui::ManualPath(fileName));
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const QString product = zelgui::Str(zelgui::kStrAppTitle);
  const QString company = zelgui::Str(zelgui::kStrCompanyName);
  setWindowTitle(tr("About %1").arg(product));
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  setPalette(white);

  auto* name = new QLabel(product, this);
  QFont large = name->font();
  large.setPointSizeF(large.pointSizeF() * 1.6);
  large.setBold(true);
  name->setFont(large);
  version_ = new QLabel(QString::fromStdString(zel::VersionText(zel::ProductVersion())), this);
  version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* purpose = new QLabel(tr("Finds, plays, annotates, exports and archives the recordings of your telephone "
                                "calls. The archiver %1 keeps them safe in folders, ZIP archives or ISO images.")
                                 .arg(QStringLiteral("Diza Didurido")),
                             this);
  purpose->setWordWrap(true);
  auto* vendor = new QLabel(tr("Copyright \u00a9 %1. All rights reserved.").arg(company), this);

  auto* links = new QFormLayout;
  links->addRow(tr("Web site:"), LinkLabel(QStringLiteral("www.merovane.com"),
                                           QUrl(QStringLiteral("https://www.merovane.com/zel-velomar")), this));
  links->addRow(tr("Support:"), LinkLabel(QStringLiteral("support@merovane.com"),
                                          QUrl(QStringLiteral("mailto:support@merovane.com")), this));
  links->addRow(tr("Sales:"), LinkLabel(QStringLiteral("sales@merovane.com"),
                                        QUrl(QStringLiteral("mailto:sales@merovane.com")), this));
  links->addRow(tr("User guide:"), LinkLabel(zelgui::Str(zelgui::kStrGuideFile),
                                             ManualUrl(zelgui::Str(zelgui::kStrGuideFile)), this));
  links->addRow(tr("Archiver manual:"), LinkLabel(QStringLiteral("Diza Didurido.pdf"),
                                                  ManualUrl(QStringLiteral("Diza Didurido.pdf")), this));

  auto* buttons = new QDialogButtonBox(this);
  close_ = buttons->addButton(tr("Close"), QDialogButtonBox::AcceptRole);
  close_->setAccessibleName(tr("Close"));
  // Enter reaches the button only as a click of its own.
  close_->setAutoDefault(false);
  close_->installEventFilter(this);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);

  auto* icon = new QLabel(this);
  icon->setPixmap(CIconSet::Icon(QStringLiteral("recording")).pixmap(48, 48));
  icon->setAccessibleName(product);
  auto* heading = new QVBoxLayout;
  heading->addWidget(name);
  heading->addWidget(version_);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(8);
  top->addLayout(heading, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addWidget(purpose);
  layout->addSpacing(8);
  layout->addLayout(links);
  layout->addSpacing(8);
  layout->addWidget(vendor);
  layout->addStretch(1);
  layout->addWidget(buttons);
  close_->setFocus();
  setMinimumWidth(420);
}

CAboutDlg::~CAboutDlg() = default;

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CAboutDlg::keyPressEvent(QKeyEvent* event) {
  // Neither Enter nor Esc closes the box; only "Close" does.
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
