#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "support/TestSupport.h"
#include "core/ProductVersion.h"
#include "organiser/ui/CDecryptionDlg.h"
#include "shell/CAboutDlg.h"

namespace {

// Clicks where the indicator of a check box or radio button is: a wide button
// counts only clicks on its indicator and text.
void Tick(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

QString BuildDir() { return QApplication::applicationDirPath() + QStringLiteral("/.."); }

TEST(DecryptionDlg, RoundTrip) {
  CDecryptionDlg dlg(nullptr, QStringLiteral("old secret"), false);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Decryption"));
  EXPECT_EQ(dlg.RememberBox()->text().remove(QLatin1Char('&')), QStringLiteral("Remember this Passphrase on my PC."));
  EXPECT_EQ(dlg.PassphraseEdit()->text(), QStringLiteral("old secret"));
  EXPECT_EQ(dlg.PassphraseEdit()->echoMode(), QLineEdit::Password);
  EXPECT_FALSE(dlg.SavePassphrase());
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(dlg.grab().save(QApplication::applicationDirPath() + QStringLiteral("/decryption-dialog.png")));

  dlg.PassphraseEdit()->clear();
  QTest::keyClicks(dlg.PassphraseEdit(), QStringLiteral("  new secret "));
  Tick(dlg.ShowBox());
  EXPECT_EQ(dlg.PassphraseEdit()->echoMode(), QLineEdit::Normal);
  Tick(dlg.RememberBox());
  QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.Passphrase(), QStringLiteral("new secret"));  // kept without surrounding blanks
  EXPECT_TRUE(dlg.SavePassphrase());
}

TEST(AboutDlg, VersionAndClosingOnlyWithClose) {
  EXPECT_EQ(zel::ParseVersion("3.12.7"), (zel::VersionParts{3, 12, 7, 0}));
  EXPECT_EQ(zel::ParseVersion("1.2.3.4.5"), (zel::VersionParts{1, 2, 3, 4}));
  EXPECT_EQ(zel::ParseVersion("70000.x.2"), (zel::VersionParts{65535, 0, 2, 0}));
  EXPECT_EQ(zel::ParseVersion(""), (zel::VersionParts{0, 0, 0, 0}));
  EXPECT_EQ(zel::VersionText({3, 1, 0, 9}), "Version: 3.1.0.9");

  CAboutDlg dlg;
  EXPECT_EQ(dlg.VersionLabel()->text(), QString::fromStdString(zel::VersionText(zel::ParseVersion(ZEL_VERSION))));
  EXPECT_TRUE(dlg.VersionLabel()->text().contains(QRegularExpression(QStringLiteral("^Version: \\d+\\.\\d+\\.\\d+\\.\\d+$"))));
  int links = 0;
  for (QLabel* label : dlg.findChildren<QLabel*>()) {
    if (!label->text().contains(QStringLiteral("<a "))) continue;
    ++links;
    EXPECT_TRUE(label->text().contains(QStringLiteral("color:#0000ee"))) << label->text().toStdString();
    EXPECT_FALSE(label->accessibleName().isEmpty());
  }
  EXPECT_GE(links, 3);

  dlg.open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(dlg.grab().save(QApplication::applicationDirPath() + QStringLiteral("/about-dialog.png")));
  for (QWidget* target : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(dlg.CloseButton())}) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(target, key);
      ASSERT_TRUE(dlg.isVisible()) << "key " << key;
    }
  }
  QTest::mouseClick(dlg.CloseButton(), Qt::LeftButton);
  EXPECT_FALSE(dlg.isVisible());
}

TEST(Manuals, RenderedBesideTheProgram) {
  for (const char* name : {"Velomar 3 Guide.pdf", "Diza Didurido.pdf"}) {
    QFile pdf(BuildDir() + QLatin1Char('/') + QLatin1String(name));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << name;
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-")) << name;
    EXPECT_GT(bytes.size(), 20000) << name;
    EXPECT_GE(bytes.count("/Type /Page\n"), 3) << name;  // pages, not the one "/Type /Pages"
  }
  // A manual that cannot be read fails the build step and leaves no file behind.
  zeltest::TempDir dir;
  const QString out = QString::fromStdString(dir.File("out.pdf"));
  QProcess tool;
  tool.start(BuildDir() + QStringLiteral("/zel-mdpdf"),
             {QString::fromStdString(dir.File("missing.md")), out});
  ASSERT_TRUE(tool.waitForFinished(30000));
  EXPECT_EQ(tool.exitCode(), 2);
  EXPECT_FALSE(QFile::exists(out));
}

}  // namespace
