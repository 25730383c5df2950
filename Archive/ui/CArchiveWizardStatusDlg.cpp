#include "Archive/ui/CArchiveWizardStatusDlg.h"

#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "Archive/CArchiveWizardState.h"

namespace {

const char* const kSteps[] = {"Set Calls to Archive", "Define Job Settings...", "Archiving Calls...",
                              "Original Call Modifications Requested", "Archive Job Complete"};
const char* const kInfo[] = {"Calls to Archive:", "Call Count:",  "Required Space:", "Write Settings:",
                             "Write Method:",     "Original Calls Modification:", "Structure:"};

}  // namespace

CArchiveWizardStatusDlg::CArchiveWizardStatusDlg(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  for (const char* step : kSteps) {
    auto* label = new QLabel(this);
    label->setAccessibleDescription(QString::fromUtf8(step));
    label->setProperty("step", QString::fromUtf8(step));
    steps_.push_back(label);
    layout->addWidget(label);
  }
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  layout->addWidget(line);
  auto* form = new QFormLayout;
  form->setRowWrapPolicy(QFormLayout::WrapLongRows);
  for (const char* name : kInfo) {
    auto* value = new QLabel(this);
    value->setTextFormat(Qt::PlainText);  // the archive path among them
    value->setAccessibleDescription(QString::fromUtf8(name));
    info_.push_back(value);
    form->addRow(QString::fromUtf8(name), value);
  }
  layout->addLayout(form);
  layout->addStretch(1);
  setMinimumWidth(360);
  SetCurrent(0);
}

void CArchiveWizardStatusDlg::SetCurrent(int current) {
  for (int i = 0; i < static_cast<int>(steps_.size()); ++i) {
    QString text = steps_[static_cast<size_t>(i)]->property("step").toString();
    // Done, current and pending read as a check mark, an arrow and a blank.
    QString mark = i < current ? QStringLiteral("\u2714 ") : i == current ? QStringLiteral("\u25B6 ")
                                                                           : QStringLiteral("\u2003 ");
    QString html = i == current ? "<b>" + mark + text.toHtmlEscaped() + "</b>" : mark + text.toHtmlEscaped();
    steps_[static_cast<size_t>(i)]->setText(html);
    steps_[static_cast<size_t>(i)]->setEnabled(i <= current);
  }
}

void CArchiveWizardStatusDlg::Refresh(const CArchiveWizardState& state) {
  QString calls = state.CallsChoice() == 0   ? QStringLiteral("All calls in the Call List")
                  : state.CallsChoice() == 1 ? QStringLiteral("Only selected calls")
                                             : QString::fromUtf8(CArchiveWizardState::kPending);
  info_[0]->setText(calls);
  info_[1]->setText(QString::number(state.CallCount()));
  info_[2]->setText(QString::fromStdString(state.RequiredSpace()));
  QString path = state.ArchivePath().empty() ? QString::fromUtf8(CArchiveWizardState::kPending)
                                             : QString::fromStdString(state.ArchivePath());
  // A long path keeps its end, where the archive's name is; the whole path is the tooltip.
  info_[3]->setToolTip(path);
  info_[3]->setText(path.size() > 34 ? QStringLiteral("…") + path.right(33) : path);
  info_[4]->setText(QString::fromStdString(state.MethodText()));
  info_[5]->setText(QString::fromStdString(state.MediaText()));
  info_[6]->setText(QString::fromStdString(state.StructureText()));
}

QString CArchiveWizardStatusDlg::StepText(int step) const { return steps_.at(static_cast<size_t>(step))->text(); }
QString CArchiveWizardStatusDlg::InfoText(int line) const { return info_.at(static_cast<size_t>(line))->text(); }
