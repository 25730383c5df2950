#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "organiser/ui/CDecryptionDlg.h"
#include "shell/CAboutDlg.h"

namespace {

TEST(DecryptionDlg, RoundTrip) {
  CDecryptionDlg dlg(nullptr, QStringLiteral("secret"), true);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Decryption"));
  EXPECT_EQ(dlg.Passphrase(), QStringLiteral("secret"));
  EXPECT_TRUE(dlg.SavePassphrase());
}

TEST(AboutDlg, VersionText) {
  CAboutDlg dlg;
  EXPECT_EQ(dlg.VersionLabel()->text(), QStringLiteral("Version: 0.1.0.0"));
}

}  // namespace
