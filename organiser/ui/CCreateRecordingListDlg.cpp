#include "organiser/ui/CCreateRecordingListDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

#include "organiser/CreateListForm.h"
#include "organiser/DateMode.h"
#include "toolkit/ui/StringTable.h"

namespace {

// The accessible name of a control is its visible text without the mnemonic mark.
QString Plain(const QString& text) {
  QString plain = text;
  return plain.remove(QLatin1Char('&'));
}

template <typename T>
T* Named(T* widget) {
  widget->setAccessibleName(Plain(widget->text()));
  return widget;
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  buddy->setAccessibleName(Plain(text).remove(QLatin1Char(':')));
  return label;
}

zel::LocalDate ToLocalDate(const QDate& date) { return {date.year(), date.month(), date.day()}; }

}  // namespace

CCreateRecordingListDlg::CCreateRecordingListDlg(QWidget* parent, const std::vector<std::string>& folders)
    : QDialog(parent), form_(std::make_unique<zel::CreateListForm>(folders)) {
  setWindowTitle(tr("Create Recording List"));

  // Where to look.
  auto* sourceBox = new QGroupBox(tr("Source"), this);
  sources_ = new QListWidget(sourceBox);
  sources_->setAccessibleName(tr("Source folders"));
  sources_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Room for a typical path without scrolling sideways.
  sources_->setMinimumWidth(sources_->fontMetrics().averageCharWidth() * 44);
  subfolders_ = Named(new QCheckBox(tr("Include &Sub-directories"), sourceBox));
  subfolders_->setChecked(form_->IncludeSubfolders());
  add_ = Named(new QPushButton(tr("&Add..."), sourceBox));
  remove_ = Named(new QPushButton(tr("&Remove"), sourceBox));
  auto* sourceButtons = new QVBoxLayout;
  sourceButtons->addWidget(add_);
  sourceButtons->addWidget(remove_);
  sourceButtons->addStretch(1);
  auto* sourceLayout = new QGridLayout(sourceBox);
  sourceLayout->addWidget(sources_, 0, 0);
  sourceLayout->addLayout(sourceButtons, 0, 1);
  sourceLayout->addWidget(subfolders_, 1, 0, 1, 2);

  // Which names and callers.
  auto* limitBox = new QGroupBox(tr("Limits"), this);
  nameMask_ = new QLineEdit(QStringLiteral("*"), limitBox);
  callerMask_ = new QLineEdit(QStringLiteral("*"), limitBox);
  commentMask_ = new QLineEdit(QStringLiteral("*"), limitBox);
  auto* limitLayout = new QGridLayout(limitBox);
  limitLayout->addWidget(BuddyLabel(tr("Limit by &Filename:"), nameMask_, limitBox), 0, 0);
  limitLayout->addWidget(nameMask_, 0, 1);
  limitLayout->addWidget(BuddyLabel(tr("Limit by Caller &ID:"), callerMask_, limitBox), 1, 0);
  limitLayout->addWidget(callerMask_, 1, 1);
  limitLayout->addWidget(BuddyLabel(tr("Limit by Co&mment:"), commentMask_, limitBox), 2, 0);
  limitLayout->addWidget(commentMask_, 2, 1);

  // When.
  auto* dateBox = new QGroupBox(tr("Dates"), this);
  auto* dateGroup = new QButtonGroup(this);
  const char* const dateTexts[] = {QT_TR_NOOP("All &dates"), QT_TR_NOOP("&Yesterday and today"),
                                   QT_TR_NOOP("Within &7 days"), QT_TR_NOOP("Within &30 days"),
                                   QT_TR_NOOP("Specific date ra&nge")};
  auto* dateLayout = new QGridLayout(dateBox);
  for (int mode = 0; mode < 5; ++mode) {
    auto* button = Named(new QRadioButton(tr(dateTexts[mode]), dateBox));
    dates_[static_cast<size_t>(mode)] = button;
    dateGroup->addButton(button, mode);
    dateLayout->addWidget(button, mode, 0, 1, 2);
  }
  const QDate today = QDate::currentDate();
  after_ = new QDateEdit(today, dateBox);
  before_ = new QDateEdit(today, dateBox);
  for (QDateEdit* picker : {after_, before_}) {
    picker->setCalendarPopup(true);
    picker->setDateRange(QDate(1970, 1, 1), QDate(2038, 1, 18));  // the reach of the criteria's times
    picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  }
  afterLabel_ = BuddyLabel(tr("Af&ter this date:"), after_, dateBox);
  beforeLabel_ = BuddyLabel(tr("&Before this date:"), before_, dateBox);
  dateLayout->addWidget(afterLabel_, 5, 0);
  dateLayout->addWidget(after_, 5, 1);
  dateLayout->addWidget(beforeLabel_, 6, 0);
  dateLayout->addWidget(before_, 6, 1);
  dateLayout->setColumnStretch(1, 1);

  // How long.
  auto* lengthBox = new QGroupBox(tr("Length"), this);
  allCalls_ = Named(new QRadioButton(tr("All ca&lls"), lengthBox));
  longerCalls_ = Named(new QRadioButton(tr("Only calls lar&ger than"), lengthBox));
  minutes_ = new QSpinBox(lengthBox);
  minutes_->setRange(0, 300);
  minutes_->setSingleStep(1);
  minutes_->setAccessibleName(tr("Minutes"));
  minutesUnit_ = new QLabel(tr("minutes"), lengthBox);
  auto* lengthGroup = new QButtonGroup(this);
  lengthGroup->addButton(allCalls_, 0);
  lengthGroup->addButton(longerCalls_, 1);
  auto* lengthLayout = new QGridLayout(lengthBox);
  lengthLayout->addWidget(allCalls_, 0, 0, 1, 3);
  lengthLayout->addWidget(longerCalls_, 1, 0);
  lengthLayout->addWidget(minutes_, 1, 1);
  lengthLayout->addWidget(minutesUnit_, 1, 2);
  lengthLayout->setColumnStretch(3, 1);

  auto* buttons = new QDialogButtonBox(this);
  compile_ = Named(buttons->addButton(tr("&Compile"), QDialogButtonBox::AcceptRole));
  cancel_ = Named(buttons->addButton(QDialogButtonBox::Cancel));
  compile_->setDefault(true);

  auto* right = new QVBoxLayout;
  right->addWidget(dateBox);
  right->addWidget(lengthBox);
  right->addStretch(1);
  auto* left = new QVBoxLayout;
  left->addWidget(sourceBox, 1);
  left->addWidget(limitBox);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addLayout(right, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns, 1);
  layout->addWidget(buttons);

  // Tab follows the reading order: the sources, their buttons, then the limits.
  QWidget* order[] = {sources_, add_, remove_, subfolders_, nameMask_, callerMask_, commentMask_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(add_, &QPushButton::clicked, this, &CCreateRecordingListDlg::OpenPicker);
  connect(remove_, &QPushButton::clicked, this, &CCreateRecordingListDlg::RemoveLine);
  connect(subfolders_, &QCheckBox::toggled, this, &CCreateRecordingListDlg::SubfoldersToggled);
  connect(sources_, &QListWidget::currentRowChanged, this, [this](int row) { form_->Select(row); });
  connect(nameMask_, &QLineEdit::textChanged, this,
          [this](const QString& text) { form_->SetNameMask(text.toStdString()); });
  connect(callerMask_, &QLineEdit::textChanged, this,
          [this](const QString& text) { form_->SetCallerIdMask(text.toStdString()); });
  connect(commentMask_, &QLineEdit::textChanged, this,
          [this](const QString& text) { form_->SetCommentMask(text.toStdString()); });
  // Toggled rather than clicked: arrow keys move the choice as well as the mouse.
  connect(dateGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) DateRuleChosen(id);
  });
  connect(lengthGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) LengthChosen(id == 1);
  });
  auto* removeKey = new QShortcut(QKeySequence::Delete, sources_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(removeKey, &QShortcut::activated, this, &CCreateRecordingListDlg::RemoveLine);
  connect(after_, &QDateEdit::dateChanged, this, &CCreateRecordingListDlg::DatesChanged);
  connect(before_, &QDateEdit::dateChanged, this, &CCreateRecordingListDlg::DatesChanged);
  connect(minutes_, &QSpinBox::valueChanged, this, [this](int value) { form_->SetMinMinutes(value); });

  DatesChanged();
  dates_[static_cast<size_t>(form_->DateRule())]->setChecked(true);
  DateRuleChosen(form_->DateRule());
  allCalls_->setChecked(true);
  LengthChosen(false);
  ShowFolders();
  // With folders given the user usually only adjusts the limits; without, adding
  // a folder is the first thing to do.
  (form_->CanCompile() ? static_cast<QWidget*>(compile_) : add_)->setFocus();
  resize(sizeHint().expandedTo(QSize(720, 0)));
}

CCreateRecordingListDlg::~CCreateRecordingListDlg() = default;

SearchCriteria CCreateRecordingListDlg::Criteria() const { return form_->Criteria(); }

void CCreateRecordingListDlg::AddFolder(const QString& folder) {
  if (folder.isEmpty()) return;
  if (form_->Add(QDir::cleanPath(folder).toStdString())) ShowFolders();
}

void CCreateRecordingListDlg::OpenPicker() {
  if (picker_) return;  // one picker at a time
  auto* picker = new QFileDialog(this, zelgui::Str(zelgui::kStrSelectDirectory));
  picker->setAttribute(Qt::WA_DeleteOnClose);
  picker->setFileMode(QFileDialog::Directory);
  picker->setOption(QFileDialog::ShowDirsOnly);
  const int selected = form_->Selected();
  picker->setDirectory(selected >= 0 ? QString::fromStdString(form_->Folders()[static_cast<size_t>(selected)])
                                     : QDir::homePath());
  connect(picker, &QFileDialog::fileSelected, this, &CCreateRecordingListDlg::AddFolder);
  picker_ = picker;
  picker->open();
}

void CCreateRecordingListDlg::RemoveLine() {
  if (form_->RemoveSelected()) ShowFolders();
}

void CCreateRecordingListDlg::SubfoldersToggled(bool on) {
  form_->SetIncludeSubfolders(on);
  ShowFolders();
}

void CCreateRecordingListDlg::DateRuleChosen(int mode) {
  form_->SetDateRule(mode);
  const bool range = form_->ShowsDateRange();
  for (QWidget* widget : {static_cast<QWidget*>(afterLabel_), static_cast<QWidget*>(after_),
                          static_cast<QWidget*>(beforeLabel_), static_cast<QWidget*>(before_)}) {
    widget->setVisible(range);
  }
}

void CCreateRecordingListDlg::LengthChosen(bool limit) {
  form_->SetLimitByLength(limit);
  const QSignalBlocker block(minutes_);
  minutes_->setValue(form_->MinMinutes());
  minutes_->setEnabled(limit);
  minutesUnit_->setEnabled(limit);
}

void CCreateRecordingListDlg::DatesChanged() { form_->SetRange(ToLocalDate(after_->date()), ToLocalDate(before_->date())); }

void CCreateRecordingListDlg::ShowFolders() {
  const QSignalBlocker block(sources_);
  sources_->clear();
  for (const std::string& folder : form_->Folders()) sources_->addItem(QString::fromStdString(folder));
  sources_->setCurrentRow(form_->Selected());
  compile_->setEnabled(form_->CanCompile());
  remove_->setEnabled(form_->CanCompile());
}
