#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>
#include <QTest>

#include "support/TestSupport.h"
#include "organiser/ui/CCreateRecordingListDlg.h"
#include "toolkit/ui/StringTable.h"

namespace {

// Clicks where the indicator of a check box or radio button is: a wide button
// counts only clicks on its indicator and text.
void Tick(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

QStringList Lines(const CCreateRecordingListDlg& dlg) {
  QStringList lines;
  for (int i = 0; i < dlg.SourceList()->count(); ++i) lines << dlg.SourceList()->item(i)->text();
  return lines;
}

TEST(CreateRecordingListDlg, CompileOnlyWithFolders) {
  CCreateRecordingListDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Create Recording List"));
  EXPECT_FALSE(dlg.CompileButton()->isEnabled());
  EXPECT_FALSE(dlg.RemoveButton()->isEnabled());
  EXPECT_TRUE(dlg.SubfoldersBox()->isChecked());

  dlg.AddFolder(QStringLiteral("/calls/office"));
  dlg.AddFolder(QStringLiteral("/calls/office/2026"));  // already covered
  EXPECT_EQ(Lines(dlg), QStringList{QStringLiteral("/calls/office")});
  EXPECT_TRUE(dlg.CompileButton()->isEnabled());
  EXPECT_TRUE(dlg.RemoveButton()->isEnabled());
  QTest::mouseClick(dlg.RemoveButton(), Qt::LeftButton);
  EXPECT_TRUE(Lines(dlg).isEmpty());
  EXPECT_FALSE(dlg.CompileButton()->isEnabled());
  EXPECT_FALSE(dlg.RemoveButton()->isEnabled());

  // Given folders are listed, the last one selected.
  CCreateRecordingListDlg filled(nullptr, {"/a", "/b", "/c"});
  EXPECT_EQ(filled.SourceList()->currentRow(), 2);
  EXPECT_TRUE(filled.CompileButton()->isEnabled());
  filled.SubfoldersBox()->setChecked(false);
  filled.AddFolder(QStringLiteral("/a/x"));
  filled.SubfoldersBox()->setChecked(true);  // drops /a/x again
  EXPECT_EQ(Lines(filled), (QStringList{"/a", "/b", "/c"}));
  // The line the user selects is the one Remove takes.
  filled.SourceList()->setCurrentRow(1);
  QTest::mouseClick(filled.RemoveButton(), Qt::LeftButton);
  EXPECT_EQ(Lines(filled), (QStringList{"/a", "/c"}));
  EXPECT_EQ(filled.SourceList()->currentRow(), 0);
  filled.show();
  filled.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&filled));
  filled.SourceList()->setFocus();
  QTest::keyClick(filled.SourceList(), Qt::Key_Delete);
  EXPECT_EQ(Lines(filled), QStringList{"/c"});
}

TEST(CreateRecordingListDlg, FolderPickerAddsThePickedFolder) {
  zeltest::TempDir dir;
  CCreateRecordingListDlg dlg;
  dlg.show();
  QTest::mouseClick(dlg.AddButton(), Qt::LeftButton);
  QFileDialog* picker = dlg.FolderPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->windowTitle(), zelgui::Str(zelgui::kStrSelectDirectory));
  QTest::mouseClick(dlg.AddButton(), Qt::LeftButton);  // one picker at a time
  EXPECT_EQ(dlg.FolderPicker(), picker);
  EXPECT_EQ(dlg.findChildren<QFileDialog*>().size(), 1);
  const QString folder = QString::fromStdString(dir.path());
  picker->setDirectory(QFileInfo(folder).absolutePath());
  picker->selectFile(folder);
  static_cast<QDialog*>(picker)->accept();  // as the picker's own Choose button does
  EXPECT_EQ(Lines(dlg), QStringList{QDir::cleanPath(folder)});
  EXPECT_TRUE(dlg.CompileButton()->isEnabled());
}

TEST(CreateRecordingListDlg, DatePickersAndMinutesFollowTheirOptions) {
  CCreateRecordingListDlg dlg(nullptr, {"/calls"});
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(dlg.DateButton(3)->isChecked());
  EXPECT_FALSE(dlg.AfterPicker()->isVisible());
  EXPECT_FALSE(dlg.BeforePicker()->isVisible());
  Tick(dlg.DateButton(4));
  EXPECT_TRUE(dlg.AfterPicker()->isVisible());
  EXPECT_TRUE(dlg.BeforePicker()->isVisible());
  Tick(dlg.DateButton(1));
  EXPECT_FALSE(dlg.AfterPicker()->isVisible());
  EXPECT_EQ(dlg.Criteria().dateMode, 1);
  dlg.DateButton(1)->setFocus();
  QTest::keyClick(dlg.DateButton(1), Qt::Key_Down);  // the keyboard moves the choice too
  EXPECT_EQ(dlg.Criteria().dateMode, 2);

  EXPECT_TRUE(dlg.AllCallsButton()->isChecked());
  EXPECT_FALSE(dlg.MinutesSpin()->isEnabled());
  Tick(dlg.LongerCallsButton());
  ASSERT_TRUE(dlg.MinutesSpin()->isEnabled());
  dlg.MinutesSpin()->stepBy(-1);
  EXPECT_EQ(dlg.MinutesSpin()->value(), 0);
  dlg.MinutesSpin()->setValue(300);
  dlg.MinutesSpin()->stepBy(1);
  EXPECT_EQ(dlg.MinutesSpin()->value(), 300);
  Tick(dlg.AllCallsButton());
  EXPECT_EQ(dlg.MinutesSpin()->value(), 0);  // either choice starts the minutes from 0
  EXPECT_FALSE(dlg.MinutesSpin()->isEnabled());
}

TEST(CreateRecordingListDlg, CriteriaReadBackAndScreenshot) {
  CCreateRecordingListDlg dlg(nullptr, {"/home/reception/Calls", "/srv/recorder/line2"});
  dlg.NameMaskEdit()->setText(QStringLiteral("reception"));
  dlg.CallerIdMaskEdit()->setText(QStringLiteral(">0171*"));
  dlg.CommentMaskEdit()->setText(QStringLiteral("invoice"));
  Tick(dlg.DateButton(4));
  dlg.AfterPicker()->setDate(QDate(2026, 11, 1));
  dlg.BeforePicker()->setDate(QDate(2026, 11, 30));
  Tick(dlg.LongerCallsButton());
  dlg.MinutesSpin()->setFocus();
  dlg.MinutesSpin()->selectAll();
  QTest::keyClicks(dlg.MinutesSpin(), QStringLiteral("5"));

  const SearchCriteria c = dlg.Criteria();
  EXPECT_EQ(c.folders, (std::vector<std::string>{"/home/reception/Calls", "/srv/recorder/line2"}));
  EXPECT_EQ(c.includeSubfolders, 1);
  EXPECT_EQ(c.nameMask, "reception");
  EXPECT_EQ(c.callerIdMask, ">0171*");
  EXPECT_EQ(c.commentMask, "invoice");
  EXPECT_EQ(c.dateMode, 4);
  EXPECT_EQ(c.rangeStart, QDate(2026, 11, 1).startOfDay().toSecsSinceEpoch());
  EXPECT_EQ(c.rangeEnd, QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59)).toSecsSinceEpoch());
  EXPECT_EQ(c.limitByLength, 1);
  EXPECT_EQ(c.minMinutes, 5);

  // Every control a screen reader meets has a name, and every Alt+letter leads to one.
  QStringList mnemonics;
  for (QWidget* w : dlg.findChildren<QWidget*>()) {
    const auto* button = qobject_cast<QAbstractButton*>(w);
    const auto* label = qobject_cast<QLabel*>(w);
    const QString text = button ? button->text() : label ? label->text() : QString();
    const qsizetype amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < text.size()) mnemonics << text.mid(amp + 1, 1).toLower();
    // The line edit inside a spin box or date picker is named by its owner.
    const bool inner = qobject_cast<QLineEdit*>(w) && qobject_cast<QAbstractSpinBox*>(w->parent());
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                         qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractItemView*>(w);
    if (control && !inner) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
  }
  EXPECT_EQ(mnemonics.size(), QSet<QString>(mnemonics.begin(), mnemonics.end()).size()) << mnemonics.join(',').toStdString();

  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(dlg.grab().save(QApplication::applicationDirPath() + QStringLiteral("/create-dialog.png")));
}

}  // namespace
