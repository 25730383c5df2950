#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <memory>
#include <string>

class QSocketNotifier;

class CInstanceChecker;
#include "shell/CMainFrame.h"

// The desktop application: start-up (branding bundle, identity, single instance,
// the stored state, the main window) and the exit that writes back what start-up
// loaded, nothing else.
class CZelVelomarApp : public QApplication {
  Q_OBJECT
 public:
  enum class Start { Started, HandedOver, Failed };

  CZelVelomarApp(int& argc, char** argv);
  ~CZelVelomarApp() override;

  static CZelVelomarApp* Instance();

  // The start-up sequence. Started: the main window is shown; HandedOver: another
  // instance was brought to the front; Failed: a message said why.
  Start InitInstance();
  // Writes the settings, the play history, the shortcuts and the Calls for Review,
  // each only when start-up loaded it. Returns the exit code.
  int ExitInstance();
  // InitInstance, the event loop while the main window lives, ExitInstance.
  int Run();

  CMainFrame* MainFrame() const { return frame_; }
  CInstanceChecker& InstanceChecker() const { return *checker_; }
  // Milliseconds from the application object to the shown main window; -1 before.
  qint64 StartupMs() const { return startupMs_; }

  // The folder of demo recordings that `zelctl make-demo` fills for a new user.
  static QString DemoFolder();
  // Looks for the bundle `name` beside the program, in the shared configuration
  // folder and in the data folders; "" when none is found.
  static QString FindResourceBundle(const QString& name);
  // Registers the bundle `name` and takes its texts; false when it is not found,
  // not a resource file or damaged. Empty names need no bundle.
  bool LoadResourceBundle(const QString& name);
  // The names on the command line (options left out), made absolute.
  QStringList FilesToOpen() const;

 private:
  bool LoadBranding();
  void UnregisterBundle();
  // Opens names given at a start; says how many `more` were left out.
  void OpenFiles(const QStringList& files, int more);
  void AddDemoShortcut();
  // SIGTERM and SIGINT (a session that ends, Ctrl+C) close the main window the
  // ordinary way, so that the exit still writes the settings and the collections.
  void WatchTerminationSignals();

  std::unique_ptr<CInstanceChecker> checker_;
  QPointer<CMainFrame> frame_;
  QElapsedTimer clock_;
  qint64 startupMs_ = -1;
  std::unique_ptr<std::string> bundle_;  // the registered bundle's bytes
  QSocketNotifier* signalNotifier_ = nullptr;
  bool settingsLoaded_ = false;
  bool historyLoaded_ = false;
  bool shortcutsLoaded_ = false;
  bool hotListsLoaded_ = false;
  bool exited_ = false;
};
