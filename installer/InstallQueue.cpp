#include "InstallQueue.h"

#include "NsisStack.h"
#include "PluginApp.h"
#include "PluginLog.h"
#include "PluginMessages.h"
#include "ProductTables.h"
#include "TaskLog.h"
#include "TestHooks.h"
#include "Utilities.h"

#include <LanguageTable.h>
#include <Registry.h>
#include <SupportExceptions.h>

#include <aclapi.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <exception>

namespace gwplugin {

using orv_products::CProd;
using orv_products::CProdPtr;
using orv_products::ProductList;

namespace {

// Under the configured root (HKEY_LOCAL_MACHINE), always in the 32-bit view.
constexpr const wchar_t* kSwitchesKey = L"SOFTWARE\\ORVEL\\gw";
constexpr const wchar_t* kMakerKey = L"Software\\ORVEL";
constexpr const wchar_t* kVoiceFamily0Key = L"Software\\ORVEL\\Orvel Vokant";
constexpr const wchar_t* kVoiceFamily2Key = L"Software\\ORVEL\\Orvel 2 Vokant";
constexpr REGSAM kView = KEY_WOW64_32KEY;

void Trace(const std::wstring& text) { OutputDebugStringW((L"GWPlugin install queue: " + text + L"\n").c_str()); }

std::wstring Hex(DWORD value) {
  wchar_t text[16];
  _snwprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
  text[15] = 0;
  return text;
}

void SetEventIfAny(const std::shared_ptr<win::UniqueKernelHandle>& event) {
  if (event && *event) SetEvent(event->get());
}

// Whether a switch of the key is on: a 4-byte REG_DWORD of 1.
bool SwitchIsOn(const win::RegistryKey& key, const wchar_t* name) {
  DWORD value = 0;
  return key.ReadDword(name, value) && value == 1;
}

// Waits for a worker thread to end while still answering messages other threads send to
// this one (an extract function may talk to the NSIS window).
void WaitForThread(HANDLE thread) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// Built-in English texts for a module without the string (never the case for the DLL).
std::wstring FallbackText(UINT id) {
  switch (id) {
    case IDS_QUEUE_DOWNLOADING:
      return L"Downloading: %s (%d / %d KB)";
    case IDS_QUEUE_INSTALLING:
      return L"Installing: %s";
    case IDS_QUEUE_COMPLETED:
      return L"Installation completed";
    case IDS_QUEUE_DOWNLOAD_FAILED:
      return L"Downloading of \n\"%s\"\n has failed.";
    case IDS_QUEUE_NO_DOWNLOAD:
      return L"Can't download file from the Internet.";
    case IDS_QUEUE_EXTRACTING:
      return L"Extracting: %s";
    case IDS_QUEUE_INSTALL_FAILED:
      return L"Installation failed: %s";
  }
  return std::wstring();
}

std::wstring OutcomeReason(InstallOutcome outcome, DWORD code) {
  switch (outcome) {
    case InstallOutcome::ExitCode:
      return L"the installer exited with code " + std::to_wstring(code) + L" (" + Hex(code) + L")";
    case InstallOutcome::StartFailed:
      return L"the installer could not be started (error " + std::to_wstring(code) + L")";
    case InstallOutcome::NotDownloaded:
      return L"the installer was not downloaded completely";
    case InstallOutcome::FileChanged:
      return L"the downloaded file changed before it ran";
    case InstallOutcome::Pending:
    case InstallOutcome::Installed:
      break;
  }
  return std::wstring();
}

// 3010 and 1641 are successes that ask for a restart (ERROR_SUCCESS_REBOOT_REQUIRED and
// ERROR_SUCCESS_REBOOT_INITIATED, as Windows Installer and most setup programs report them).
bool IsInstalledExitCode(DWORD code) {
  return code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_REQUIRED || code == ERROR_SUCCESS_REBOOT_INITIATED;
}

// Whether this process runs elevated (an administrator's full token). When the token cannot
// be asked, the answer is yes: the download file then gets the stricter access list.
bool ProcessIsElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    Trace(L"the process token cannot be opened (error " + std::to_wstring(GetLastError()) + L")");
    return true;
  }
  const win::UniqueKernelHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
    Trace(L"the token's elevation cannot be read (error " + std::to_wstring(GetLastError()) + L")");
    return true;
  }
  return elevation.TokenIsElevated != 0;
}

// The access list of a download file made by an elevated process: only SYSTEM and the
// Administrators may write, rename or delete the file. The owner, who may be the user, gets
// reading and running only: the OWNER RIGHTS entry takes away the owner's implicit right to
// rewrite the list, which the user's unelevated processes would otherwise share.
class AdminOnlyAccessList {
 public:
  AdminOnlyAccessList() { m_error = Build(); }
  AdminOnlyAccessList(const AdminOnlyAccessList&) = delete;
  AdminOnlyAccessList& operator=(const AdminOnlyAccessList&) = delete;

  // ERROR_SUCCESS, or why the list could not be made.
  DWORD Error() const { return m_error; }
  PACL Acl() { return m_error == ERROR_SUCCESS ? reinterpret_cast<PACL>(m_acl.data()) : nullptr; }

 private:
  using SidBuffer = DWORD[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];

  static DWORD WellKnown(WELL_KNOWN_SID_TYPE type, SidBuffer& sid) {
    DWORD size = sizeof sid;
    return CreateWellKnownSid(type, nullptr, sid, &size) ? ERROR_SUCCESS : GetLastError();
  }

  DWORD Build() {
    DWORD error = WellKnown(WinLocalSystemSid, m_system);
    if (error == ERROR_SUCCESS) error = WellKnown(WinBuiltinAdministratorsSid, m_administrators);
    if (error != ERROR_SUCCESS) return error;
    SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    if (!InitializeSid(m_ownerRights, &creator, 1)) return GetLastError();
    *GetSidSubAuthority(m_ownerRights, 0) = SECURITY_CREATOR_OWNER_RIGHTS_RID;

    const struct {
      PSID sid;
      DWORD access;
    } entries[] = {{m_system, FILE_ALL_ACCESS},
                   {m_administrators, FILE_ALL_ACCESS},
                   {m_ownerRights, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    DWORD bytes = sizeof(ACL);
    for (const auto& entry : entries) bytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(entry.sid);
    m_acl.assign((bytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    PACL acl = reinterpret_cast<PACL>(m_acl.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(m_acl.size() * sizeof(DWORD)), ACL_REVISION)) return GetLastError();
    for (const auto& entry : entries)
      if (!AddAccessAllowedAce(acl, ACL_REVISION, entry.access, entry.sid)) return GetLastError();
    return ERROR_SUCCESS;
  }

  SidBuffer m_system = {};
  SidBuffer m_administrators = {};
  SidBuffer m_ownerRights = {};
  std::vector<DWORD> m_acl;  // DWORD elements: an ACL is DWORD-aligned
  DWORD m_error = ERROR_SUCCESS;
};

// Trades the download's write handle, which shares nothing (so no process could start from the
// file), for a handle that reads and shares reading only. The two cannot be open at once, so
// the file opened again must be the one written, with the length written: ERROR_FILE_INVALID
// when it is not (renamed and replaced). Another handle may still have written to the same file
// in between: the digest of what the download wrote goes with the held file, and the worker
// compares the file with it before running it. ERROR_SUCCESS, or why the file cannot be run.
DWORD HoldDownloadedFile(CProd& product, InstallerRun& run) {
  if (!product.file) return ERROR_INVALID_HANDLE;
  BY_HANDLE_FILE_INFORMATION written{};
  const bool known = GetFileInformationByHandle(product.file->Handle(), &written) != FALSE;
  const DWORD error = known ? ERROR_SUCCESS : GetLastError();
  WrittenBytes* count = product.file->Written();
  run.checkDownload = count && count->Finish(run.downloadDigest, run.downloadLength);
  product.file.reset();
  if (!known) return error;
  // Without the digest nothing could tell the download from what another handle wrote.
  if (!run.checkDownload) return ERROR_INVALID_DATA;
  testhooks::DownloadWriteHandleClosed(product.instFile);
  win::UniqueFile& held = run.heldFile;
  held.reset(CreateFileW(product.instFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!held) return GetLastError();
  BY_HANDLE_FILE_INFORMATION reopened{};
  if (!GetFileInformationByHandle(held.get(), &reopened)) return GetLastError();
  if (reopened.dwVolumeSerialNumber != written.dwVolumeSerialNumber ||
      reopened.nFileIndexHigh != written.nFileIndexHigh || reopened.nFileIndexLow != written.nFileIndexLow ||
      reopened.nFileSizeHigh != written.nFileSizeHigh || reopened.nFileSizeLow != written.nFileSizeLow) {
    held.reset();
    return ERROR_FILE_INVALID;
  }
  return ERROR_SUCCESS;
}

// Reads the held file from its start through the held handle and compares it with what the
// download wrote: ERROR_SUCCESS for the same bytes, ERROR_FILE_INVALID for others, or why the
// file could not be read.
DWORD CheckHeldFile(const InstallerRun& run) {
  const HANDLE file = run.heldFile.get();
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return GetLastError();
  Sha256 hash;
  std::vector<std::uint8_t> buffer(1u << 20);
  std::int64_t length = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return GetLastError();
    if (got == 0) break;
    hash.Update(buffer.data(), got);
    length += got;
  }
  Sha256::Digest digest{};
  if (!hash.Finish(digest)) return ERROR_INVALID_DATA;
  return length == run.downloadLength && digest == run.downloadDigest ? ERROR_SUCCESS : ERROR_FILE_INVALID;
}

void Notify(const InstallerRun& run, QueueEvent event) {
  if (run.observer && run.product) run.observer(event, *run.product);
}

void RunInstaller(InstallerRun& run) {
  if (run.extractFunction != 0) {
    run.phase = InstallerRun::Extracting;
    if (run.executeCodeSegment) run.executeCodeSegment(run.extractFunction, run.nsisParent);
  }
  run.phase = InstallerRun::Installing;
  if (run.checkDownload) {
    const DWORD check = CheckHeldFile(run);
    if (check != ERROR_SUCCESS) {
      run.heldFile.reset();
      run.outcome = check == ERROR_FILE_INVALID ? InstallOutcome::FileChanged : InstallOutcome::StartFailed;
      run.code = check;
      return;
    }
  }
  Notify(run, QueueEvent::InstallerStarting);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<wchar_t> commandLine(run.commandLine.begin(), run.commandLine.end());
  commandLine.push_back(L'\0');
  const BOOL started = CreateProcessW(run.application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  // From here the process has its own hold on its image.
  run.heldFile.reset();
  if (!started) {
    run.outcome = InstallOutcome::StartFailed;
    run.code = startError;
    return;
  }
  win::UniqueKernelHandle processHandle(process.hProcess);
  win::UniqueKernelHandle threadHandle(process.hThread);
  Notify(run, QueueEvent::InstallerStarted);

  DWORD exitCode = 0;
  if (WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(processHandle.get(), &exitCode)) {
    run.outcome = InstallOutcome::StartFailed;
    run.code = GetLastError();
    return;
  }
  run.code = exitCode;
  run.outcome = IsInstalledExitCode(exitCode) ? InstallOutcome::Installed : InstallOutcome::ExitCode;
  // A voice that did not install has no key to mark.
  if (run.outcome == InstallOutcome::Installed && run.product)
    SetVoiceGuiLanguage(*run.product, run.langid, run.registryRoot);
}

// The installer's worker. param: a heap-held shared reference to the run, taken over here.
UINT AFX_CDECL RunInstallerThread(LPVOID param) {
  std::shared_ptr<InstallerRun> run;
  {
    std::unique_ptr<std::shared_ptr<InstallerRun>> holder(static_cast<std::shared_ptr<InstallerRun>*>(param));
    run = std::move(*holder);
  }
  try {
    RunInstaller(*run);
  } catch (const std::exception& e) {
    run->outcome = InstallOutcome::StartFailed;
    run->code = ERROR_INTERNAL_ERROR;
    OutputDebugStringA((std::string("GWPlugin installer thread: ") + e.what() + "\n").c_str());
  } catch (...) {
    run->outcome = InstallOutcome::StartFailed;
    run->code = ERROR_INTERNAL_ERROR;
  }
  try {
    Notify(*run, QueueEvent::InstallerEnded);
  } catch (...) {
  }
  run->phase = InstallerRun::Finished;
  SetEventIfAny(run->stepEvent);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
InstallQueueConfig PluginInstallQueueConfig() {
  InstallQueueConfig config;
  if (CGWPluginApp* app = PluginAppIfAny()) {
    config.langid = app->langid;
    config.profile = app->profileFlag != 0;
    config.userAgent = app->userAgent;
    config.nsisParent = app->parentWindow();
  }
  config.messageBox = [](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
  };
  config.executeCodeSegment = [](int address, HWND parent) { return NsisExecuteCodeSegment(address, parent); };
  return config;
}

CInstallQueue::CInstallQueue()
    : m_stepEvent(std::make_shared<win::UniqueKernelHandle>(CreateEventW(nullptr, FALSE, FALSE, nullptr))) {
  if (!*m_stepEvent) Trace(L"the step event cannot be made (error " + std::to_wstring(GetLastError()) + L")");
}

CInstallQueue::~CInstallQueue() { Clear(); }

void CInstallQueue::Configure(InstallQueueConfig config) {
  InstallQueueConfig defaults = PluginInstallQueueConfig();
  if (!config.messageBox) config.messageBox = defaults.messageBox;
  if (!config.executeCodeSegment) config.executeCodeSegment = defaults.executeCodeSegment;
  if (!config.registryRoot) config.registryRoot = HKEY_LOCAL_MACHINE;
  m_config = std::move(config);
  m_configured = true;
}

void CInstallQueue::Clear() {
  for (InstallQueueEntry& entry : m_entries) {
    if (entry.task) entry.task->RequestCancel();
    if (entry.installerThread && entry.installerThread->m_hThread) WaitForThread(entry.installerThread->m_hThread);
  }
  m_entries.clear();
}

void CInstallQueue::Kick() const { SetEventIfAny(m_stepEvent); }

bool CInstallQueue::StopDownloads(DWORD waitMs) {
  const ULONGLONG start = GetTickCount64();
  for (InstallQueueEntry& entry : m_entries)
    if (entry.task) entry.task->RequestCancel();
  bool stopped = true;
  for (InstallQueueEntry& entry : m_entries) {
    if (!entry.task) continue;
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (!entry.task->WaitEnded(elapsed >= waitMs ? 0 : static_cast<DWORD>(waitMs - elapsed))) {
      stopped = false;
      continue;
    }
    if (!entry.downloaded) entry.product->file.reset();
  }
  return stopped;
}

std::wstring CInstallQueue::Text(UINT id) const {
  std::wstring text;
  if (!LoadLangString(id, m_config.langid, text) || text.empty()) text = FallbackText(id);
  return text;
}

void CInstallQueue::SetStatus(const std::wstring& text) const {
  if (m_statusLabel && IsWindow(m_statusLabel)) SetWindowTextW(m_statusLabel, text.c_str());
}

void CInstallQueue::SetProgress(int position) const {
  if (m_progressBar && IsWindow(m_progressBar))
    SendMessageW(m_progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

std::vector<std::wstring> CInstallQueue::FailedProducts() const {
  std::vector<std::wstring> labels;
  for (const InstallQueueEntry& entry : m_entries) {
    if (entry.outcome == InstallOutcome::Pending || entry.outcome == InstallOutcome::Installed) continue;
    labels.push_back(entry.product->label.empty() ? entry.product->id : entry.product->label);
  }
  return labels;
}

int CInstallQueue::Prepare(const ProductList& products, CWnd* page, CWnd* progressBar, CWnd* statusLabel) {
  return Prepare(products, page ? page->GetSafeHwnd() : nullptr, progressBar ? progressBar->GetSafeHwnd() : nullptr,
                 statusLabel ? statusLabel->GetSafeHwnd() : nullptr);
}

int CInstallQueue::Prepare(const ProductList& products, HWND page, HWND progressBar, HWND statusLabel) {
  Clear();
  // The application's values as they are when the page opens (the queue may be built
  // while the application object itself is still being built).
  if (!m_configured) m_config = PluginInstallQueueConfig();
  m_page = page;
  m_progressBar = progressBar;
  m_statusLabel = statusLabel;
  m_retryQuestionOpen = false;
  m_stepCounter = 0;
  m_cursor = 0;
  m_downloadPhase = true;
  m_cancelled = false;
  m_logEnabled = false;
  m_elevated = m_config.elevated ? *m_config.elevated : ProcessIsElevated();
  m_downloadText = Text(IDS_QUEUE_DOWNLOADING);
  m_installText = Text(IDS_QUEUE_INSTALLING);
  m_extractText = Text(IDS_QUEUE_EXTRACTING);

  for (const CProdPtr& product : products) {
    if (product && product->HasAllStateBits(orv_products::PS_INSTALL_CHECK) &&
        product->HasNoStateBits(orv_products::PS_NOT_AVAILABLE))
      m_entries.emplace_back(product);
  }
  // Downloads first; within each class the products keep the order they were given in.
  std::stable_partition(m_entries.begin(), m_entries.end(), [](const InstallQueueEntry& entry) {
    return entry.product->HasAllStateBits(orv_products::PS_DOWNLOAD);
  });
  m_downloads = static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const InstallQueueEntry& entry) {
    return entry.product->HasAllStateBits(orv_products::PS_DOWNLOAD);
  }));
  m_totalSteps = static_cast<int>(m_entries.size()) + m_downloads;

  ReadSwitchesAndLog();

  if (m_progressBar && IsWindow(m_progressBar)) {
    SendMessageW(m_progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, m_totalSteps));
    SendMessageW(m_progressBar, PBM_SETPOS, 0, 0);
  }
  if (!m_cancelled) WriteLanguage();
  m_cursor = 0;
  DeleteOldTempFiles();
  return Step();
}

void CInstallQueue::ReadSwitchesAndLog() {
  const win::RegistryKey key(m_config.registryRoot, kSwitchesKey, KEY_QUERY_VALUE | kView);
  if (!SwitchIsOn(key, L"log")) return;
  m_logEnabled = true;
  InstallTaskLog log;
  if (log.Open()) {
    ProductList queued;
    for (const InstallQueueEntry& entry : m_entries) queued.push_back(entry.product);
    if (!log.WriteTasks(queued))
      Trace(L"the task log cannot be written (error " + std::to_wstring(log.LastError()) + L")");
  } else {
    Trace(L"the task log cannot be opened (error " + std::to_wstring(log.LastError()) + L")");
  }
  if (SwitchIsOn(key, L"cancel_installation")) {
    const int answer = m_config.messageBox(m_progressBar, L"Cancel installation?", L"GW", MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) m_cancelled = true;
  }
}

void CInstallQueue::WriteLanguage() {
  const wchar_t* name = GetLanguageName(m_config.langid);
  if (!name) return;
  // Created when missing: on a fresh machine the maker key does not exist yet, and the
  // reader picks its language from this value.
  LSTATUS status = ERROR_SUCCESS;
  const win::RegistryKey key = win::RegistryKey::Create(m_config.registryRoot, kMakerKey,
                                                        KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE | kView, &status);
  if (!key) {
    Trace(L"the maker key cannot be created (error " + std::to_wstring(status) + L")");
    return;
  }
  const DWORD bytes = static_cast<DWORD>((std::wcslen(name) + 1) * sizeof(wchar_t));
  if (!key.Write(L"language", REG_SZ, name, bytes, &status))
    Trace(L"\"language\" cannot be written (error " + std::to_wstring(status) + L")");
}

void CInstallQueue::LogFailure(const InstallQueueEntry& entry) {
  const std::wstring reason = OutcomeReason(entry.outcome, entry.code);
  Trace(entry.product->id + L": " + reason);
  if (!m_logEnabled) return;
  InstallTaskLog log;
  if (!log.Open() || !log.WriteFailure(*entry.product, reason))
    Trace(L"the task log cannot be written (error " + std::to_wstring(log.LastError()) + L")");
}

int CInstallQueue::Step() {
  try {
    return StepImpl();
  } catch (const std::exception& e) {
    OutputDebugStringA((std::string("GWPlugin install queue: step failed: ") + e.what() + "\n").c_str());
  } catch (...) {
    Trace(L"step failed");
  }
  m_retryQuestionOpen = false;
  m_cancelled = true;
  return kStepCancelled;
}

int CInstallQueue::StepImpl() {
  // The page's timer keeps firing while a question is up.
  if (m_retryQuestionOpen) return kStepBusy;
  // A cancel stays a cancel, also for the steps after it.
  if (m_cancelled) return kStepCancelled;
  if (m_entries.empty()) return Finish();
  if (m_downloadPhase) {
    if (m_cursor < m_entries.size()) {
      bool downloadsOver = false;
      const int result = StepDownload(m_entries[m_cursor], downloadsOver);
      if (!downloadsOver) return result;
    }
    EndDownloads();
  }
  if (m_cursor >= m_entries.size()) return Finish();
  return StepInstall(m_entries[m_cursor]);
}

int CInstallQueue::StepDownload(InstallQueueEntry& entry, bool& downloadsOver) {
  CProd& product = *entry.product;
  if (!entry.task && !entry.downloadStartFailed) {
    if (!product.HasAllStateBits(orv_products::PS_DOWNLOAD)) {
      downloadsOver = true;
      return kStepBusy;
    }
    return StartDownload(entry) ? kStepStarted : kStepBusy;
  }
  if (entry.task) {
    switch (entry.task->GetState()) {
      case DownloadState::NotStarted:
      case DownloadState::Started:
        return kStepBusy;
      case DownloadState::Receiving: {
        const std::int64_t total = entry.task->GetTotalSize() > 0 ? entry.task->GetTotalSize() : product.size;
        SetStatus(FormatText(m_downloadText, {product.label, std::to_wstring(entry.task->GetReceivedSize() / 1024),
                                              std::to_wstring(total / 1024)}));
        return kStepBusy;
      }
      case DownloadState::Finished:
        break;
    }
    if (DownloadComplete(entry)) {
      entry.downloaded = true;
      ++m_cursor;
      Kick();
      return kStepBusy;
    }
    Trace(product.id + L": download failed: " + std::wstring(L"result ") +
          std::to_wstring(static_cast<int>(entry.task->GetResult())));
  }

  // A failed download (or one that could not even start): Retry resumes, Cancel ends.
  m_retryQuestionOpen = true;
  int answer = IDCANCEL;
  try {
    answer = m_config.messageBox(nullptr, FormatText(Text(IDS_QUEUE_DOWNLOAD_FAILED), {product.label}),
                                 Text(IDS_QUEUE_NO_DOWNLOAD), MB_RETRYCANCEL | MB_ICONERROR);
  } catch (...) {
    m_retryQuestionOpen = false;
    throw;
  }
  m_retryQuestionOpen = false;
  if (answer == IDRETRY) {
    StartDownload(entry);
    return kStepBusy;
  }
  m_cancelled = true;
  return kStepCancelled;
}

bool CInstallQueue::DownloadComplete(const InstallQueueEntry& entry) const {
  const FileDownloadTask& task = *entry.task;
  if (task.GetState() != DownloadState::Finished || task.GetResult() != DownloadResult::Success) return false;
  const std::int64_t received = task.GetReceivedSize();
  if (task.GetTotalSize() > 0 && received != task.GetTotalSize()) return false;
  // The file must hold every byte the task counted (the counts include a resume offset).
  try {
    return entry.product->file && GetFileSize64(entry.product->file) == received;
  } catch (const FileException&) {
    return false;
  }
}

bool CInstallQueue::StartDownload(InstallQueueEntry& entry) {
  CProd& product = *entry.product;
  entry.downloadStartFailed = false;

  // A retry continues the file it has, unless what it holds cannot be trusted: a body that
  // did not match the announced size, or an offset the server refused, starts over.
  bool resume = false;
  if (product.file) {
    resume = true;
    if (entry.task) {
      const DownloadResult last = entry.task->GetResult();
      if (last == DownloadResult::SizeMismatch || last == DownloadResult::RangeRefused) resume = false;
    }
    // Nor can a file with bytes the count of written bytes does not hold (a write that failed
    // part-way): the installer is only run from bytes that are all accounted for.
    std::int64_t counted = 0;
    const WrittenBytes* count = product.file->Written();
    try {
      if (!count || !count->Intact(counted) || counted != GetFileSize64(product.file)) resume = false;
    } catch (const FileException&) {
      resume = false;
    }
  }
  entry.task.reset();

  auto failed = [&](const std::wstring& why) {
    Trace(product.id + L": " + why);
    entry.downloadStartFailed = true;
    Kick();  // the next step asks the retry question
    return false;
  };

  if (!product.file) {
    if (!entry.downloadCounted) {
      SetStatus(FormatText(m_downloadText, {product.label, L"0", std::to_wstring(product.size / 1024)}));
      SetProgress(m_stepCounter);
      ++m_stepCounter;
      entry.downloadCounted = true;
    }
    std::wstring temp;
    if (!GetDownloadTempFile(temp))
      return failed(L"no temporary file can be made (error " + std::to_wstring(GetLastError()) + L")");
    product.instFile = temp + L".dat";
    // An elevated run will start the file as an administrator: no unelevated process of the
    // user may write to it. The list is set through the handle, which shares nothing, before a
    // byte is written; a descriptor given to CreateFileW would be ignored for a file that
    // already exists under the name. Unelevated, nothing is gained: the folder's defaults stay.
    win::UniqueFile created(CreateFileW(product.instFile.c_str(),
                                        GENERIC_READ | GENERIC_WRITE | (m_elevated ? WRITE_DAC : 0), 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created)
      return failed(L"the download file cannot be created (error " + std::to_wstring(GetLastError()) + L")");
    if (m_elevated) {
      AdminOnlyAccessList list;
      DWORD error = list.Error();
      if (error == ERROR_SUCCESS)
        error = SetSecurityInfo(created.get(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                list.Acl(), nullptr);
      if (error != ERROR_SUCCESS)
        return failed(L"the download file's access list cannot be set (error " + std::to_wstring(error) + L")");
    }
    HANDLE handle = created.release();
    product.file = MakeFileRecord(handle);
    product.file->CountWrittenBytes();
  }

  try {
    FileDownloadTaskPtr task(new FileDownloadTask());
    task->SetUrl(product.instURL);
    task->SetUserAgent(m_config.userAgent);
    std::shared_ptr<win::UniqueKernelHandle> event = m_stepEvent;
    auto observer = m_config.observer;
    CProdPtr shared = entry.product;
    task->Finished().connect([event, observer, shared](FileDownloadTask& ended) {
      // On the download's worker: never let an exception into the signal.
      try {
        LogLine(shared->id + L" download ended: " + WidenAscii(ended.GetResultName()));
        if (observer) observer(QueueEvent::DownloadFinished, *shared);
      } catch (...) {
      }
      SetEventIfAny(event);
    });
    task->StartToFile(product.file, resume);
    entry.task = task;
    return true;
  } catch (const FileException& e) {
    return failed(L"the download cannot start (file error " + std::to_wstring(e.Error()) + L")");
  } catch (const std::exception& e) {
    std::string what = e.what();
    return failed(L"the download cannot start (" + std::wstring(what.begin(), what.end()) + L")");
  }
}

void CInstallQueue::EndDownloads() {
  m_cursor = 0;
  m_downloadPhase = false;
  if (m_page && IsWindow(m_page)) SendMessageW(m_page, WM_DISABLE_CANCEL, 0, 0);
}

int CInstallQueue::StepInstall(InstallQueueEntry& entry) {
  if (!entry.installerThread) {
    if (entry.outcome == InstallOutcome::Pending && StartInstaller(entry)) return kStepStarted;
    ++m_cursor;
    Kick();
    return kStepBusy;
  }
  InstallerRun& run = *entry.run;
  if (run.phase >= InstallerRun::Installing && entry.shownPhase < InstallerRun::Installing) {
    SetStatus(FormatText(m_installText, {entry.product->label}));
    entry.shownPhase = InstallerRun::Installing;
  }
  const HANDLE thread = entry.installerThread->m_hThread;
  bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
  // The run is over once it says so; the thread only has its return left to do.
  if (!ended && run.phase == InstallerRun::Finished) ended = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
  if (!ended) return kStepBusy;
  CollectOutcome(entry);
  ++m_cursor;
  Kick();
  return kStepBusy;
}

bool CInstallQueue::StartInstaller(InstallQueueEntry& entry) {
  entry.task.reset();
  CProd& product = *entry.product;
  if (product.HasAllStateBits(orv_products::PS_DOWNLOAD) && !entry.downloaded) {
    // Never run a file whose transfer did not complete.
    entry.outcome = InstallOutcome::NotDownloaded;
    LogFailure(entry);
    return false;
  }
  auto run = std::make_shared<InstallerRun>();
  if (product.HasAllStateBits(orv_products::PS_DOWNLOAD)) {
    const DWORD error = HoldDownloadedFile(product, *run);
    if (error != ERROR_SUCCESS) {
      entry.outcome = error == ERROR_FILE_INVALID ? InstallOutcome::FileChanged : InstallOutcome::StartFailed;
      entry.code = error;
      LogFailure(entry);
      return false;
    }
  } else {
    product.file.reset();
  }
  run->product = entry.product;
  run->application = product.instFile;
  run->commandLine =
      BuildInstallerCommandLine(product.instFile, GetInstallerArguments(product, m_config.profile), m_config.langid);
  run->extractFunction = product.extractFunction;
  run->nsisParent = m_config.nsisParent;
  run->langid = m_config.langid;
  run->registryRoot = m_config.registryRoot;
  run->executeCodeSegment = m_config.executeCodeSegment;
  run->observer = m_config.observer;
  run->stepEvent = m_stepEvent;

  if (product.extractFunction != 0) {
    SetStatus(FormatText(m_extractText, {product.label}));
    entry.shownPhase = InstallerRun::Extracting;
  } else {
    SetStatus(FormatText(m_installText, {product.label}));
    entry.shownPhase = InstallerRun::Installing;
  }
  SetProgress(m_stepCounter);
  ++m_stepCounter;

  auto* param = new std::shared_ptr<InstallerRun>(run);
  CWinThread* thread = AfxBeginThread(RunInstallerThread, param, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!thread) {
    delete param;
    entry.outcome = InstallOutcome::StartFailed;
    entry.code = GetLastError();
    LogFailure(entry);
    return false;
  }
  // Kept by the entry until Step has seen it end.
  thread->m_bAutoDelete = FALSE;
  entry.installerThread.reset(thread);
  entry.run = run;
  if (thread->ResumeThread() == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    TerminateThread(thread->m_hThread, error);
    WaitForSingleObject(thread->m_hThread, INFINITE);
    delete param;  // the thread never reached its procedure, which would have taken it
    entry.installerThread.reset();
    entry.outcome = InstallOutcome::StartFailed;
    entry.code = error;
    LogFailure(entry);
    return false;
  }
  return true;
}

void CInstallQueue::CollectOutcome(InstallQueueEntry& entry) {
  entry.outcome = entry.run->outcome;
  entry.code = entry.run->code;
  if (entry.outcome != InstallOutcome::Installed) LogFailure(entry);
}

int CInstallQueue::Finish() {
  SetProgress(m_totalSteps);
  const std::vector<std::wstring> failed = FailedProducts();
  if (failed.empty()) {
    SetStatus(Text(IDS_QUEUE_COMPLETED));
  } else {
    std::wstring labels;
    for (const std::wstring& label : failed) labels += (labels.empty() ? L"" : L", ") + label;
    SetStatus(FormatText(Text(IDS_QUEUE_INSTALL_FAILED), {labels}));
  }
  return kStepDone;
}

// ---------------------------------------------------------------------------------------------
std::wstring GetInstallerArguments(const CProd& product, bool profile) {
  if (profile && product.id == L"ORVEL_PARLON") return L"/PROFILE=emotivar";
  // Only a voice row counts: an application's row number indexes another table.
  const int row = product.VoiceRow();
  if (row < 0 || row >= kVoiceRowCount) return std::wstring();
  const int family = kVoiceTable[row].family;
  if (family != 0 && family != 2) return std::wstring();
  wchar_t folder[MAX_PATH] = {};
  const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(hr)) {
    Trace(L"the Program Files folder is not known (" + Hex(static_cast<DWORD>(hr)) + L")");
    return std::wstring();
  }
  return L"/ORVEL_HELM=\"" + std::wstring(folder) + L"\\Orvel\\Orvel Helmstand\\Orvel Helmstand.exe\"";
}

std::wstring BuildInstallerCommandLine(const std::wstring& file, const std::wstring& extra, LANGID langid) {
  const std::wstring arguments = L" " + extra + L" /S /L=" + std::to_wstring(static_cast<unsigned>(langid));
  return L"\"" + file + L"\" " + arguments;
}

bool SetVoiceGuiLanguage(const CProd& product, LANGID langid, HKEY root) {
  const int row = product.VoiceRow();
  if (row < 0 || row >= kVoiceRowCount) return false;
  const int family = kVoiceTable[row].family;
  const wchar_t* keyPath = family == 0 ? kVoiceFamily0Key : family == 2 ? kVoiceFamily2Key : nullptr;
  if (!keyPath) return false;
  LSTATUS status = ERROR_SUCCESS;
  const win::RegistryKey key(root ? root : HKEY_LOCAL_MACHINE, keyPath,
                             KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE | kView, &status);
  if (!key) {
    Trace(product.id + L": no voice key for \"GUI Lang\" (error " + std::to_wstring(status) + L")");
    return false;
  }
  const DWORD value = langid;
  if (!key.Write(L"GUI Lang", REG_DWORD, &value, sizeof value, &status)) {
    Trace(product.id + L": \"GUI Lang\" cannot be written (error " + std::to_wstring(status) + L")");
    return false;
  }
  return true;
}

std::wstring FormatText(const std::wstring& pattern, const std::vector<std::wstring>& arguments) {
  std::wstring out;
  out.reserve(pattern.size() + 32);
  std::size_t next = 0;
  const std::size_t n = pattern.size();
  auto isOneOf = [](wchar_t c, const wchar_t* set) { return c != L'\0' && std::wcschr(set, c) != nullptr; };
  for (std::size_t i = 0; i < n; ++i) {
    const wchar_t c = pattern[i];
    if (c != L'%') {
      out += c;
      continue;
    }
    if (i + 1 < n && pattern[i + 1] == L'%') {
      out += L'%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < n && isOneOf(pattern[j], L"-+ #0")) ++j;
    while (j < n && std::iswdigit(pattern[j])) ++j;
    if (j < n && pattern[j] == L'.') {
      ++j;
      while (j < n && std::iswdigit(pattern[j])) ++j;
    }
    while (j < n && isOneOf(pattern[j], L"hlLqjztI")) {
      if (pattern[j] == L'I') {
        ++j;
        while (j < n && std::iswdigit(pattern[j])) ++j;
      } else {
        ++j;
      }
    }
    if (j < n && isOneOf(pattern[j], L"sSdiuxXcC")) {
      if (next < arguments.size()) out += arguments[next];
      ++next;
      i = j;
      continue;
    }
    out += c;  // not a conversion: kept as written
  }
  return out;
}

}  // namespace gwplugin
