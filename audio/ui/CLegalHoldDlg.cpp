#include "audio/ui/CLegalHoldDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "core/MessageSink.h"
#include "core/Singleton.h"
#include "toolkit/ui/OkCancelButtons.h"

namespace {

QString FromStd(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CLegalHoldDlg::CLegalHoldDlg(QWidget* parent, std::vector<Call> calls)
    : QDialog(parent), calls_(std::move(calls)), placing_(true) {
  std::set<std::string> callers;
  bool everyCallHasOne = true;
  for (const auto& call : calls_) {
    if (!call.caller.empty()) callers.insert(call.caller);
    everyCallHasOne = everyCallHasOne && !call.caller.empty();
  }
  const QString only = calls_.size() == 1 ? tr("This &call only") : tr("The %1 selected &calls").arg(calls_.size());
  byCall_ = new QRadioButton(only, this);
  byCall_->setAccessibleName(byCall_->text().remove(QLatin1Char('&')));
  byCall_->setChecked(true);
  QString who;
  for (const auto& caller : callers) who += (who.isEmpty() ? QString() : QStringLiteral(", ")) + FromStd(caller);
  byCaller_ = new QRadioButton(tr("&Every call of caller id %1").arg(QString(who).replace('&', "&&")), this);
  byCaller_->setAccessibleName(tr("Every call of caller id %1").arg(who));
  // A call without a caller id can only be held by itself.
  byCaller_->setEnabled(everyCallHasOne);
  Build(tr("Place on Legal Hold"),
        tr("Nothing deletes, trims or strips a call on legal hold until the hold is released."), true);
}

CLegalHoldDlg::CLegalHoldDlg(QWidget* parent, std::vector<CLegalHolds::Hold> holds)
    : QDialog(parent), holds_(std::move(holds)), placing_(false) {
  list_ = new QListWidget(this);
  list_->setAccessibleName(tr("Holds to release"));
  for (const auto& hold : holds_) {
    const QString target = hold.kind == CLegalHolds::Kind::kCall
                               ? FromStd(hold.target)
                               : tr("every call of caller id %1").arg(FromStd(hold.target));
    auto* item = new QListWidgetItem(target + QStringLiteral(" \u2014 ") + FromStd(CLegalHolds::Describe(hold)), list_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  }
  Build(tr("Release Hold"), tr("The ticked holds are released; the calls may then be deleted again."), false);
  connect(list_, &QListWidget::itemChanged, this, [this] { UpdateOk(); });
}

CLegalHoldDlg::~CLegalHoldDlg() = default;

void CLegalHoldDlg::Build(const QString& title, const QString& intro, bool reasonRequired) {
  setWindowTitle(title);
  auto* text = new QLabel(intro, this);
  text->setWordWrap(true);
  auto* label = new QLabel(reasonRequired ? tr("&Reason (required):") : tr("&Reason:"), this);
  reason_ = new QLineEdit(this);
  reason_->setAccessibleName(tr("Reason"));
  label->setBuddy(reason_);
  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  if (list_) layout->addWidget(list_);
  layout->addWidget(label);
  layout->addWidget(reason_);
  if (byCall_) {
    layout->addWidget(byCall_);
    layout->addWidget(byCaller_);
  }
  layout->addStretch(1);
  layout->addWidget(buttons);
  connect(reason_, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
  reason_->setFocus();
  UpdateOk();
  resize(sizeHint().expandedTo(QSize(420, 0)));
}

void CLegalHoldDlg::UpdateOk() {
  bool ok = !placing_ || !reason_->text().trimmed().isEmpty();
  if (list_) {
    bool any = false;
    for (int i = 0; i < list_->count(); ++i) any = any || list_->item(i)->checkState() == Qt::Checked;
    ok = ok && any;
  }
  ok_->setEnabled(ok);
}

bool CLegalHoldDlg::Apply(std::string& errors) {
  CLegalHolds& holds = *Singleton<CLegalHolds>::Instance();
  const std::string reason = reason_->text().trimmed().toStdString();
  bool changed = false;
  auto note = [&](bool done, const std::string& error) {
    changed = changed || done;
    if (!done) errors += (errors.empty() ? "" : "\n") + error;
  };
  std::string error;
  if (placing_) {
    std::set<std::string> done;
    for (const auto& call : calls_) {
      const bool caller = byCaller_->isChecked();
      const std::string target = caller ? call.caller : call.path;
      if (!done.insert(target).second) continue;
      CLegalHolds::Hold hold;
      hold.kind = caller ? CLegalHolds::Kind::kCaller : CLegalHolds::Kind::kCall;
      hold.target = target;
      hold.reason = reason;
      note(holds.Place(hold, error), error);
    }
  } else {
    for (int i = 0; i < list_->count(); ++i) {
      if (list_->item(i)->checkState() != Qt::Checked) continue;
      const auto& hold = holds_[static_cast<size_t>(i)];
      note(holds.Release(hold.kind, hold.target, reason, error), error);
    }
  }
  return changed;
}

bool CLegalHoldDlg::Place(QWidget* parent, const std::vector<Call>& calls) {
  if (calls.empty()) return false;
  CLegalHoldDlg dialog(parent, calls);
  if (dialog.exec() != QDialog::Accepted) return false;
  std::string errors;
  const bool changed = dialog.Apply(errors);
  if (!errors.empty()) zel::ShowMessage(errors, IMessageSink::Icon::Error);
  return changed;
}

bool CLegalHoldDlg::Release(QWidget* parent, const std::vector<Call>& calls) {
  CLegalHolds& holds = *Singleton<CLegalHolds>::Instance();
  std::vector<CLegalHolds::Hold> applying;
  for (const auto& call : calls) {
    for (auto& hold : holds.HoldsOn(call.path, call.caller)) {
      const bool known = std::any_of(applying.begin(), applying.end(), [&](const CLegalHolds::Hold& h) {
        return h.kind == hold.kind && h.target == hold.target;
      });
      if (!known) applying.push_back(std::move(hold));
    }
  }
  if (applying.empty()) {
    zel::ShowMessage("No legal hold applies to the selected calls.", IMessageSink::Icon::Information);
    return false;
  }
  CLegalHoldDlg dialog(parent, std::move(applying));
  if (dialog.exec() != QDialog::Accepted) return false;
  std::string errors;
  const bool changed = dialog.Apply(errors);
  if (!errors.empty()) zel::ShowMessage(errors, IMessageSink::Icon::Error);
  return changed;
}
