// The install queue: the chosen products are downloaded one after the other into temporary
// files (a failed download asks Retry/Cancel and a retry resumes into the same file), then
// each product's installer runs silently, one at a time, on a worker thread of its own,
// with the installer's language.
//
// The progress page drives the queue: Prepare when it opens, then Step on its timer until
// Step answers done or cancel. Threads: the queue itself is used on one thread (the NSIS
// thread); download tasks and installer runs report back through shared records and the
// step event, never by touching the queue or its windows.
#pragma once

#include "Products.h"

#include <FileDownloadTask.h>
#include <Sha256.h>
#include <UniqueHandle.h>

#include <afxwin.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gwplugin {

// Texts of the plug-in's string table that the queue shows.
enum : UINT {
  IDS_QUEUE_DOWNLOADING = 2014,      // "Downloading: %s (%d / %d KB)"
  IDS_QUEUE_INSTALLING = 2015,       // "Installing: %s"
  IDS_QUEUE_COMPLETED = 2016,        // "Installation completed"
  IDS_QUEUE_DOWNLOAD_FAILED = 2017,  // "Downloading of \n\"%s\"\n has failed."
  IDS_QUEUE_NO_DOWNLOAD = 2018,      // "Can't download file from the Internet."
  IDS_QUEUE_EXTRACTING = 2019,       // "Extracting: %s"
  IDS_QUEUE_INSTALL_FAILED = 2240,   // "Installation failed: %s"
};

// What Step answers.
enum StepResult : int {
  kStepDone = 0,       // nothing left: the page moves the wizard on
  kStepBusy = 1,       // a download or an installer is running (or the cursor moved)
  kStepStarted = 2,    // a download or an installer was started
  kStepCancelled = 3,  // the user cancelled: the page cancels the installer
};

// How one product's installation ended.
enum class InstallOutcome {
  Pending,        // not run yet
  Installed,      // the installer ran and exited with 0, 3010 or 1641 (restart asked)
  ExitCode,       // the installer exited with a failure code (code)
  StartFailed,    // the installer could not be started (code = Windows error)
  NotDownloaded,  // the download never completed, so nothing was run
  FileChanged,    // the downloaded file no longer held what was downloaded, so it was not run
};

// Moments an observer is told of (for measurements); called on the thread where they
// happen: DownloadFinished on the download's worker, the installer moments on the
// installer's worker.
enum class QueueEvent { DownloadFinished, InstallerStarting, InstallerStarted, InstallerEnded };

// Where the queue takes what it does not own. The defaults are the plug-in's: the
// application object's language, profile and User-Agent, the NSIS host, message boxes and
// HKEY_LOCAL_MACHINE.
struct InstallQueueConfig {
  LANGID langid = 0;
  bool profile = false;  // the "EMOTIVAR" profile of Configuration
  std::wstring userAgent;
  HWND nsisParent = nullptr;  // the window extract functions run with

  // The key the registry paths are under; the 32-bit view is always used, as the
  // products' installers write there. Owned by the caller.
  HKEY registryRoot = HKEY_LOCAL_MACHINE;

  // Whether the process runs elevated, which decides the download files' access list; unset,
  // the process token is asked when the queue is prepared.
  std::optional<bool> elevated;

  // MessageBoxW's signature; answers IDYES/IDNO/IDRETRY/IDCANCEL.
  using MessageBoxFunction =
      std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)>;
  MessageBoxFunction messageBox;
  // Runs an NSIS function by the address the script gave (the host's ExecuteCodeSegment);
  // called on the installer's worker thread.
  std::function<int(int address, HWND parent)> executeCodeSegment;
  // Told of the moments above; may be empty.
  std::function<void(QueueEvent, const orv_products::CProd&)> observer;
};

// The plug-in's defaults: the application object's values, MessageBoxW, the NSIS host.
InstallQueueConfig PluginInstallQueueConfig();

// What an installer's worker reads and reports. Created on the NSIS thread before the
// worker starts; the inputs are not changed afterwards; the results are written by the
// worker before it sets finished, and read by the NSIS thread only after it has seen
// finished (or the thread's end).
struct InstallerRun {
  // Inputs.
  orv_products::CProdPtr product;
  std::wstring application;  // the installer file
  std::wstring commandLine;
  int extractFunction = 0;
  HWND nsisParent = nullptr;
  LANGID langid = 0;
  HKEY registryRoot = HKEY_LOCAL_MACHINE;
  std::function<int(int, HWND)> executeCodeSegment;
  std::function<void(QueueEvent, const orv_products::CProd&)> observer;
  std::shared_ptr<win::UniqueKernelHandle> stepEvent;  // set when the run has finished
  // A downloaded installer, open for reading with nothing but read sharing from the closing of
  // the download's write handle: no other handle can write, rename or delete the file before
  // its process is made. The worker closes it once CreateProcessW has returned.
  win::UniqueFile heldFile;
  // What the download wrote to it: the worker runs the file only when it reads the same
  // bytes through heldFile (another handle could write between the close and the reopening).
  bool checkDownload = false;
  Sha256::Digest downloadDigest{};
  std::int64_t downloadLength = 0;

  // Progress, read by the NSIS thread at any time.
  enum Phase : int { Waiting, Extracting, Installing, Finished };
  std::atomic<int> phase{Waiting};

  // Results.
  InstallOutcome outcome = InstallOutcome::Pending;
  DWORD code = 0;  // exit code or Windows error
};

struct InstallQueueEntry {
  explicit InstallQueueEntry(orv_products::CProdPtr p) : product(std::move(p)) {}

  FileDownloadTaskPtr task;  // null until a download starts; released when the installer starts
  orv_products::CProdPtr product;
  // The installer's worker: owned here (it does not delete itself) so that the queue can
  // wait on it until it has ended.
  std::unique_ptr<CWinThread> installerThread;
  std::shared_ptr<InstallerRun> run;

  bool downloadCounted = false;            // the download's step was counted on the progress bar
  bool downloadStartFailed = false;        // no file or no task could be made: a failed download
  bool downloaded = false;                 // the transfer completed and the file holds all of it
  int shownPhase = InstallerRun::Waiting;  // what the status label says of the installer
  InstallOutcome outcome = InstallOutcome::Pending;
  DWORD code = 0;
};

class CInstallQueue {
 public:
  CInstallQueue();
  // Asks running downloads to stop and waits for a running installer's worker.
  ~CInstallQueue();
  CInstallQueue(const CInstallQueue&) = delete;
  CInstallQueue& operator=(const CInstallQueue&) = delete;

  // Before Prepare; replaces the defaults. Missing functions are filled with the defaults.
  // Without it, Prepare takes PluginInstallQueueConfig() at that moment.
  void Configure(InstallQueueConfig config);

  // Queues the products marked PS_INSTALL_CHECK and not PS_NOT_AVAILABLE (downloads first,
  // each class in the given order), logs them and asks the diagnostic cancel question when
  // the registry switches say so, sets the progress bar's range, writes the installer's
  // language into the maker key, removes old download files, and takes the first step.
  // Windows may be null. Answers the first step's result.
  int Prepare(const orv_products::ProductList& products, CWnd* page, CWnd* progressBar, CWnd* statusLabel);
  int Prepare(const orv_products::ProductList& products, HWND page, HWND progressBar, HWND statusLabel);

  // One step (see StepResult). Never throws.
  int Step();

  // Asks the downloads still running to stop and waits at most waitMs in all until their
  // workers have exited; the files of downloads that did not complete are closed (they stay on
  // disk for the next run's clean-up). False when one still runs after the wait.
  bool StopDownloads(DWORD waitMs);

  // Set whenever a Step may make progress at once (a download or an installer finished, a
  // step moved on). The page steps on its timer; tests and measurements wait on this.
  HANDLE StepEvent() const { return m_stepEvent->get(); }

  const std::deque<InstallQueueEntry>& Entries() const { return m_entries; }
  int TotalSteps() const { return m_totalSteps; }
  int Downloads() const { return m_downloads; }
  int StepCounter() const { return m_stepCounter; }
  // Labels of the products whose installation failed, in queue order.
  std::vector<std::wstring> FailedProducts() const;

 private:
  int StepImpl();
  int StepDownload(InstallQueueEntry& entry, bool& downloadsOver);
  int StepInstall(InstallQueueEntry& entry);
  int Finish();
  void EndDownloads();
  bool StartDownload(InstallQueueEntry& entry);
  bool StartInstaller(InstallQueueEntry& entry);
  void CollectOutcome(InstallQueueEntry& entry);
  bool DownloadComplete(const InstallQueueEntry& entry) const;
  void ReadSwitchesAndLog();
  void WriteLanguage();
  void LogFailure(const InstallQueueEntry& entry);
  void Clear();
  void Kick() const;

  void SetStatus(const std::wstring& text) const;
  void SetProgress(int position) const;
  std::wstring Text(UINT id) const;

  InstallQueueConfig m_config;
  std::deque<InstallQueueEntry> m_entries;
  HWND m_progressBar = nullptr;
  HWND m_page = nullptr;
  HWND m_statusLabel = nullptr;
  bool m_retryQuestionOpen = false;
  std::wstring m_downloadText;
  std::wstring m_installText;
  std::wstring m_extractText;
  int m_totalSteps = 0;
  int m_downloads = 0;
  int m_stepCounter = 0;
  std::size_t m_cursor = 0;
  bool m_downloadPhase = true;
  bool m_cancelled = false;
  bool m_logEnabled = false;  // the "log" switch was 1 at preparation
  bool m_configured = false;  // Configure was called
  bool m_elevated = false;    // the download files get the administrators' access list
  // Auto-reset; shared with the download slots and installer runs, which may outlive the queue.
  std::shared_ptr<win::UniqueKernelHandle> m_stepEvent;
};

// The extra installer argument of a product: "/PROFILE=emotivar" for ORVEL_PARLON with the
// profile, the Helmstand path for voices of the families 0 and 2, else empty.
std::wstring GetInstallerArguments(const orv_products::CProd& product, bool profile);
// The installer's command line: "\"file\"  <extra> /S /L=<langid>".
std::wstring BuildInstallerCommandLine(const std::wstring& file, const std::wstring& extra, LANGID langid);
// Writes "GUI Lang" = langid into the family key of a voice of family 0 or 2 (not created
// when missing). Nothing for applications and other products. True when written.
bool SetVoiceGuiLanguage(const orv_products::CProd& product, LANGID langid, HKEY root = HKEY_LOCAL_MACHINE);

// Fills a text of the string table: each printf-style conversion ("%s", "%d", "%I64d", ...)
// takes the next argument as it is, "%%" gives "%". Arguments are formatted by the caller,
// so a number of any width is right whatever conversion a translation uses, and a text
// with more conversions than arguments leaves them empty rather than reading garbage.
std::wstring FormatText(const std::wstring& pattern, const std::vector<std::wstring>& arguments);

}  // namespace gwplugin
