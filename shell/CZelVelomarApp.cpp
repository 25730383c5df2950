#include "shell/CZelVelomarApp.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QFileInfo>
#include <algorithm>
#include <QMessageBox>
#include <QResource>
#include <QSettings>
#include <QStandardPaths>

#include "audio/CPlaybackManager.h"
#include "core/AppIdentity.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/Folders.h"
#include "core/RegularFile.h"
#include "core/ResourceBundle.h"
#include "core/SingletonRanks.h"
#include "organiser/CCallHistory.h"
#include "organiser/CHotLists.h"
#include "organiser/CShortCuts.h"
#include "audio/qt/QtWaveOut.h"
#include "shell/CInstanceChecker.h"
#include "shell/CMainFrame.h"
#include "toolkit/ui/CQtMessageSink.h"
#include "toolkit/ui/StringTable.h"

using namespace zelgui;

namespace {
// Where a bundle keeps its texts, and the root its files are registered under.
constexpr const char* kBundleRoot = "/branding";
constexpr const char* kBundleStrings = ":/branding/strings.xml";
}  // namespace

CZelVelomarApp::CZelVelomarApp(int& argc, char** argv)
    : QApplication(argc, argv), checker_(std::make_unique<CInstanceChecker>()) {
  clock_.start();
}

CZelVelomarApp::~CZelVelomarApp() {
  ExitInstance();
  UnregisterBundle();
}

QStringList CZelVelomarApp::FilesToOpen() const {
  // Absolute, because a running instance that gets them has a folder of its own.
  QStringList files;
  const QStringList args = arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i].startsWith(QLatin1Char('-'))) continue;  // an option, not a name
    files << QFileInfo(args[i]).absoluteFilePath();
  }
  return files;
}

void CZelVelomarApp::UnregisterBundle() {
  if (!bundle_) return;
  QResource::unregisterResource(reinterpret_cast<const uchar*>(bundle_->data()), QString::fromLatin1(kBundleRoot));
  bundle_.reset();
}

void CZelVelomarApp::OpenFiles(const QStringList& files, int more) {
  if (more > 0) {
    QMessageBox::warning(frame_, Str(kStrAppTitle),
                         tr("%1 more names were not opened: one start opens at most %2.")
                             .arg(more)
                             .arg(CInstanceChecker::kMaxFiles));
  }
  if (!files.isEmpty()) frame_->OpenFiles(files);
}

CZelVelomarApp* CZelVelomarApp::Instance() { return qobject_cast<CZelVelomarApp*>(QCoreApplication::instance()); }

QString CZelVelomarApp::FindResourceBundle(const QString& name) {
  QStringList candidates;
  if (QFileInfo(name).isAbsolute()) {
    candidates << name;
  } else {
    QStringList folders{QCoreApplication::applicationDirPath(),
                        QString::fromStdString(zel::GetConfigurationFolder(true)),
                        QString::fromStdString(zel::GetConfigurationFolder(false))};
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
      folders << data + QStringLiteral("/zel-velomar");
    }
    for (const QString& folder : folders) {
      candidates << QDir(folder).filePath(name);
      if (!name.endsWith(QLatin1String(".rcc"))) candidates << QDir(folder).filePath(name + QStringLiteral(".rcc"));
    }
  }
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).absoluteFilePath();
  }
  return QString();
}

bool CZelVelomarApp::LoadResourceBundle(const QString& name) {
  if (name.isEmpty()) return true;
  const QString path = FindResourceBundle(name);
  if (path.isEmpty()) return false;
  // Qt reads a bundle's offsets unchecked: it is registered from a copy in memory
  // that was checked whole, so a damaged bundle is refused, never a crash.
  auto bundle = std::make_unique<std::string>();
  if (zel::ReadDataFile(QFile::encodeName(path).toStdString(), *bundle, zel::kMaxResourceBundleSize) !=
      zel::DataFileRead::Ok) {
    return false;
  }
  const std::string damage = zel::CheckResourceBundle(*bundle);
  if (!damage.empty()) {
    qWarning("zel-velomar: the resource file %s is damaged: %s", qPrintable(path), damage.c_str());
    return false;
  }
  if (!QResource::registerResource(reinterpret_cast<const uchar*>(bundle->data()), QString::fromLatin1(kBundleRoot))) {
    return false;
  }
  UnregisterBundle();
  bundle_ = std::move(bundle);
  if (QFileInfo::exists(QString::fromLatin1(kBundleStrings))) {
    StringTable::LoadOverrides(QString::fromLatin1(kBundleStrings));
  }
  return true;
}

bool CZelVelomarApp::LoadBranding() {
  const QString name = QString::fromStdString(Singleton<CSettings>::Instance()->GetResourceFile()).trimmed();
  if (!LoadResourceBundle(name)) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Initialization error"),
                    QStringLiteral("Unable to locate the resources file\n\n(%1)\n\nin the system path. Unable to continue.")
                        .arg(name),
                    QMessageBox::Ok);
    box.exec();
    return false;
  }
  return true;
}

namespace {
int gSignalPipe[2] = {-1, -1};
void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}
}  // namespace

void CZelVelomarApp::WatchTerminationSignals() {
  if (signalNotifier_ || ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalNotifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
  connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
    char byte;
    while (::read(gSignalPipe[0], &byte, 1) > 0) {
    }
    // A modal dialog would keep the window from closing: end the loop instead.
    if (frame_ && !QApplication::activeModalWidget()) {
      frame_->close();
    } else {
      quit();
    }
  });
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

QString CZelVelomarApp::DemoFolder() {
  std::string data;
  zel::GetShellFolder(1, data);
  if (!data.empty() && data.back() != '/') data += '/';
  return QString::fromStdString(data) + QString::fromStdString(zel::CompanyName()) + u'/' +
         QString::fromStdString(zel::ProductName()) + QStringLiteral("/Demo Recordings");
}

// A new user sees recordings at once: the demo folder becomes a shortcut the first
// time the program starts with the folder there, whether the program was started
// before the folder was made or after. Offered once, so a removed link stays removed.
void CZelVelomarApp::AddDemoShortcut() {
  const QString demo = DemoFolder();
  if (!QFileInfo(demo).isDir()) return;
  QSettings profile(Str(kStrCompanyName), Str(kStrAppTitle));
  const QString offered = QStringLiteral("Settings/DemoShortcutOffered");
  if (profile.value(offered, false).toBool()) return;
  profile.setValue(offered, true);
  auto& shortcuts = *Singleton<CShortCuts>::Instance();
  int parent = -1;
  for (const auto& entry : shortcuts.Entries()) {
    if (entry->target == demo.toStdString()) return;
    if (parent == -1 && entry->isGroup && entry->parentId == -1) parent = entry->id;
  }
  CollectionEntry link;
  link.id = shortcuts.NextId() < 0 ? 0 : shortcuts.NextId();
  link.parentId = parent;
  link.name = "Demo Recordings";
  link.target = demo.toStdString();
  shortcuts.Add(link);
  shortcuts.Save();
}

CZelVelomarApp::Start CZelVelomarApp::InitInstance() {
  // "branding.xml" lies in the product's shared folder, so the built-in identity
  // names it; the bundle may then rename the product.
  zel::ApplyStartupIdentity();
  if (!LoadBranding()) return Start::Failed;
  setOrganizationName(Str(kStrCompanyName));
  setApplicationName(Str(kStrAppTitle));
  setApplicationDisplayName(Str(kStrAppTitle));
  // Lets Wayland desktops match the window to its menu entry and icon.
  setDesktopFileName(QStringLiteral("com.merovane.ZelVelomar"));
  zel::SetCompanyName(Str(kStrCompanyName).toStdString());
  zel::SetProductName(Str(kStrProductName).toStdString());

  // A running instance takes over before anything is loaded or shown.
  if (!checker_->LockStartup()) {
    // A runtime folder that takes no lock must not keep the program from running;
    // only two starts in the same instant could then both stay.
    qWarning("zel-velomar: cannot take the start-up lock %s", qPrintable(checker_->LockPath()));
  }
  const QStringList files = FilesToOpen();
  if (checker_->IsAnotherInstanceRunning()) {
    checker_->BringOtherInstanceToFront(files);
    return Start::HandedOver;
  }
  if (!checker_->RegisterAsFirstInstance()) {
    // Without the socket a later start cannot find this one; running anyway is
    // better than not running at all.
    qWarning("zel-velomar: cannot listen on %s", qPrintable(checker_->ServerName()));
  }

  zel::SetMessageSink(std::make_shared<CQtMessageSink>());
  Singleton<CSettings>::Instance()->Load();
  settingsLoaded_ = true;
  Singleton<CCallHistory>::Instance()->LoadHistory();
  historyLoaded_ = true;
  Singleton<CShortCuts>::Instance()->Load();
  shortcutsLoaded_ = true;
  AddDemoShortcut();
  Singleton<CHotLists>::Instance()->Load();
  hotListsLoaded_ = true;

  Singleton<CPlaybackManager>::Instance()->SetWaveOutFactory(QtWaveOut::Factory());
  frame_ = new CMainFrame();
  frame_->setAttribute(Qt::WA_DeleteOnClose);
  connect(checker_.get(), &CInstanceChecker::activateRequested, this, [this](const QStringList& names, int more) {
    if (!frame_) return;
    frame_->BringToFront();
    OpenFiles(names, more);
  });
  frame_->showMaximized();
  startupMs_ = clock_.elapsed();
  Singleton<CKlLogger>::Instance()->LogLine("Start-up: main window shown after %lld ms", static_cast<long long>(startupMs_));
  if (Singleton<CSettings>::Instance()->GetShowHistory()) frame_->OnShowHistory();
  OpenFiles(files.mid(0, CInstanceChecker::kMaxFiles),
            static_cast<int>(std::max<qsizetype>(files.size() - CInstanceChecker::kMaxFiles, 0)));
  return Start::Started;
}

int CZelVelomarApp::ExitInstance() {
  if (exited_) return 0;
  exited_ = true;
  if (frame_) delete frame_.data();
  if (settingsLoaded_) Singleton<CSettings>::Instance()->Save();
  if (historyLoaded_) Singleton<CCallHistory>::Instance()->SaveHistory();
  if (shortcutsLoaded_) Singleton<CShortCuts>::Instance()->Save();
  if (hotListsLoaded_) Singleton<CHotLists>::Instance()->Save();
  Singleton<CPlaybackManager>::Instance()->SetWaveOutFactory(nullptr);
  zel::SetMessageSink(nullptr);
  return 0;
}

int CZelVelomarApp::Run() {
  const Start start = InitInstance();
  int code = 0;
  if (start == Start::Started) {
    WatchTerminationSignals();
    code = exec();
  } else if (start == Start::Failed) {
    code = 1;
  }
  ExitInstance();
  return code;
}
