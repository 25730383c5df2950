// The player's speed control, its keys and its two playback switches, as they reach
// the playback manager and the user's settings.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include "audio/CPlaybackManager.h"
#include "audio/ui/CPlayerBar.h"
#include "audio/ui/CPlayerForm.h"
#include "core/CSettings.h"
#include "core/Singleton.h"

namespace {

TEST(PlayerSpeed, KeysStepTheSpeedAndSettingsRememberIt) {
  // Choices are saved: into a folder of the test's own, never the user's.
  QTemporaryDir config;
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  auto& manager = *Singleton<CPlaybackManager>::Instance();
  auto& settings = *Singleton<CSettings>::Instance();
  settings.SetPlaybackSpeed(10);
  CPlayerBar bar;
  CPlayerForm* form = bar.Form();
  bar.show();
  bar.activateWindow();
  form->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&bar));

  auto* speed = form->findChild<QComboBox*>();
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->accessibleName(), "Playback speed");
  EXPECT_EQ(speed->currentText(), QString::fromUtf8("1.0\u00d7"));

  QTest::keyClick(form, Qt::Key_BracketRight);
  QTest::keyClick(form, Qt::Key_BracketRight);
  EXPECT_EQ(form->Speed(), 12);
  EXPECT_DOUBLE_EQ(manager.PlaybackOptions().speed, 1.2);
  EXPECT_EQ(settings.GetPlaybackSpeed(), 12);
  for (int i = 0; i < 12; ++i) QTest::keyClick(form, Qt::Key_BracketLeft);
  EXPECT_EQ(form->Speed(), 5);  // stops at the slowest
  QTest::keyClick(form, Qt::Key_Equal);
  EXPECT_EQ(form->Speed(), 10);
  EXPECT_DOUBLE_EQ(manager.PlaybackOptions().speed, 1.0);

  form->SetSkipSilence(true);
  form->SetSpeed(20);
  EXPECT_TRUE(manager.PlaybackOptions().skipSilence);
  EXPECT_FALSE(manager.PlaybackOptions().normalise);
  EXPECT_EQ(settings.GetSkipSilence(), 1);
  for (QAbstractButton* b : bar.findChildren<QAbstractButton*>()) EXPECT_FALSE(b->accessibleName().isEmpty());
  // Each switch looks plainly different on and off, and says which it is.
  for (QAbstractButton* b : bar.findChildren<QAbstractButton*>()) {
    if (b->text() != "Skip silence" && b->text() != "Even loudness") continue;
    b->setChecked(false);
    const QImage off = b->grab().toImage();
    b->setChecked(true);
    const QImage on = b->grab().toImage();
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(b)->state().checked) << b->text().toStdString();
    int strongest = 0;
    for (int y = 0; y < std::min(on.height(), off.height()); ++y)
      for (int x = 0; x < std::min(on.width(), off.width()); ++x)
        strongest = std::max(strongest, std::abs(qGray(on.pixel(x, y)) - qGray(off.pixel(x, y))));
    EXPECT_GT(strongest, 120) << b->text().toStdString();
  }
  EXPECT_TRUE(bar.grab().save(QApplication::applicationDirPath() + "/player-speed.png"));

  // The choice is in the user's "config.xml": reading it back restores it.
  settings.SetPlaybackSpeed(10);
  settings.SetSkipSilence(0);
  settings.Load();
  EXPECT_EQ(settings.GetPlaybackSpeed(), 20);
  EXPECT_EQ(settings.GetSkipSilence(), 1);
  // A new panel starts with what the user chose last.
  CPlayerBar again;
  EXPECT_EQ(again.Form()->Speed(), 20);
  form->SetSkipSilence(false);
  form->SetSpeed(10);
  if (oldConfig.isEmpty()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", oldConfig);
  }
}

}  // namespace
