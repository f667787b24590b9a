#include "SelReaderDlg.h"

#include <ClipboardAccess.h>
#include <UniqueHandle.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "ReaderTestHooks.h"
#include "Settings.h"

namespace {

// The window of another process that last took the keyboard focus. Written by the focus
// hook's callback and read by the capture, both on the UI thread.
HWND g_lastFocusWnd = nullptr;

constexpr ULONG_PTR kCopyKeysExtraInfo = 2;
constexpr UINT kPollMs = 10;

win::UniqueKernelHandle Snapshot(DWORD flags, DWORD process) {
  HANDLE h = ::CreateToolhelp32Snapshot(flags, process);
  return win::UniqueKernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// The first process named "notepad.exe", 0 when none runs.
DWORD FirstNotepadProcess() {
  win::UniqueKernelHandle snapshot = Snapshot(TH32CS_SNAPPROCESS, 0);
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"notepad.exe") == 0) return entry.th32ProcessID;
  }
  return 0;
}

bool IsEditClass(HWND window) {
  wchar_t name[257] = {};
  return ::GetClassNameW(window, name, 257) > 0 && _wcsicmp(name, L"EDIT") == 0;
}

BOOL CALLBACK FindEditChild(HWND child, LPARAM found) {
  if (!IsEditClass(child)) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

BOOL CALLBACK FindEditUnderTopLevel(HWND top, LPARAM found) {
  ::EnumChildWindows(top, FindEditChild, found);  // every descendant
  return *reinterpret_cast<HWND*>(found) == nullptr;
}

// Waits (polling) until the key's asynchronous state is `down`; false when the bound passes.
bool WaitForKeyState(WORD key, bool down, UINT boundMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const bool isDown = (::GetAsyncKeyState(key) & 0x8000) != 0;
    if (isDown == down) return true;
    if (::GetTickCount() - start >= boundMs) return false;
    ::Sleep(kPollMs);
  }
}

}  // namespace

bool notepad::IsRunning() { return FirstNotepadProcess() != 0; }

HWND notepad::FindEdit() {
  const DWORD process = FirstNotepadProcess();
  if (!process) return nullptr;
  win::UniqueKernelHandle threads = Snapshot(TH32CS_SNAPTHREAD, 0);
  if (!threads) return nullptr;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  HWND found = nullptr;
  for (BOOL more = ::Thread32First(threads.get(), &entry); more && !found;
       more = ::Thread32Next(threads.get(), &entry)) {
    if (entry.th32OwnerProcessID != process) continue;
    // A thread without windows, or a window without children, only moves the search on.
    ::EnumThreadWindows(entry.th32ThreadID, FindEditUnderTopLevel, reinterpret_cast<LPARAM>(&found));
  }
  return found;
}

IMPLEMENT_DYNAMIC(CSelReaderDlg, CDialog)

BEGIN_MESSAGE_MAP(CSelReaderDlg, CDialog)
  ON_WM_CHANGECBCHAIN()
  ON_WM_DRAWCLIPBOARD()
  ON_MESSAGE(WM_SELTEXT_READY, &CSelReaderDlg::OnTextReady)
  ON_WM_DESTROY()
  ON_WM_TIMER()
END_MESSAGE_MAP()

CSelReaderDlg::CSelReaderDlg() = default;
CSelReaderDlg::CSelReaderDlg(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

CSelReaderDlg::~CSelReaderDlg() {
  if (m_hWnd) DestroyWindow();
  RemoveFocusHook();
}

HWND CSelReaderDlg::LastFocusWnd() { return g_lastFocusWnd; }
void CSelReaderDlg::SetLastFocusWnd(HWND window) { g_lastFocusWnd = window; }

void CSelReaderDlg::SetBusy(bool) {}
void CSelReaderDlg::OnCaptureFailed() {}
void CSelReaderDlg::OnTextCaptured(const std::wstring&) { SetBusy(false); }
void CSelReaderDlg::OnReadRequest() { StartCapture(); }
void CSelReaderDlg::ShowUsageHint() {}

BOOL CSelReaderDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  InstallFocusHook();
  return TRUE;
}

void CSelReaderDlg::InstallFocusHook() {
  if (m_hFocusHook) return;
  m_hFocusHook = ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, &CSelReaderDlg::OnFocusWinEvent, 0,
                                   0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
}

void CSelReaderDlg::RemoveFocusHook() {
  if (!m_hFocusHook) return;
  ::UnhookWinEvent(m_hFocusHook);
  m_hFocusHook = nullptr;
}

void CALLBACK CSelReaderDlg::OnFocusWinEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG, LONG, DWORD, DWORD) {
  g_lastFocusWnd = hwnd;
}

UINT CSelReaderDlg::CaptureTimeout() const {
  DWORD wait = 0;
  return GetAppDwordValue(L"wait", wait) ? static_cast<UINT>(wait) : kDefaultCaptureTimeoutMs;
}

void CSelReaderDlg::JoinClipboardChain() {
  if (m_bInChain) return;
  m_hNextViewer = ::SetClipboardViewer(m_hWnd);
  // Only now: a clipboard change delivered while joining is passed on, not read.
  m_bInChain = 1;
}

void CSelReaderDlg::LeaveClipboardChain() {
  if (!m_bInChain) return;
  ::ChangeClipboardChain(m_hWnd, m_hNextViewer);
  m_hNextViewer = nullptr;
  m_bInChain = 0;
}

bool CSelReaderDlg::BringToForeground(HWND window) {
  // The focus event names the control; only its top-level window can be brought forward, and
  // the switch completes a little later, so the keys wait for it.
  HWND root = ::GetAncestor(window, GA_ROOT);
  if (!root) root = window;
  ::SetForegroundWindow(root);
  const DWORD start = ::GetTickCount();
  while (::GetForegroundWindow() != root) {
    if (::GetTickCount() - start >= m_bounds.foregroundWaitMs) return false;
    ::Sleep(kPollMs);
  }
  return true;
}

bool CSelReaderDlg::StartCapture() {
  // Every capture says whose it is: only the one the fallback starts is the fallback's.
  m_bFallbackRunning = m_bFallbackReading;
  bool sent = false;
  HWND target = g_lastFocusWnd;
  if (target && ::IsWindow(target)) {
    JoinClipboardChain();
    // A refused switch would send the keys to whoever has the focus: the capture then
    // fails by its time-out instead.
    if (BringToForeground(target)) {
      SendCopyKeys();
      sent = true;
    }
  }
  SetTimer(TIMER_CAPTURE_TIMEOUT, CaptureTimeout(), nullptr);
  SetBusy(true);
  return sent;
}

bool CSelReaderDlg::SendCopyKeys() {
  struct Step {
    WORD key;
    bool down;
  };
  static const Step steps[] = {{VK_CONTROL, true}, {'C', true}, {'C', false}, {VK_CONTROL, false}};
  bool allSeen = true;
  // Every event is sent even when one was not seen, so that no key is left pressed.
  for (const Step& step : steps) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = step.key;
    input.ki.wScan = 0;
    input.ki.dwFlags = step.down ? 0 : KEYEVENTF_KEYUP;
    input.ki.dwExtraInfo = kCopyKeysExtraInfo;
    if (::SendInput(1, &input, sizeof(INPUT)) != 1) {
      allSeen = false;
      continue;
    }
    ::Sleep(m_bounds.keyDelayMs);
    if (!WaitForKeyState(step.key, step.down, m_bounds.keyStateWaitMs)) allSeen = false;
  }
  return allSeen;
}

void CSelReaderDlg::CopyBoundedText(const void* data, SIZE_T bytes, std::wstring& text) {
  text.clear();
  if (!data) return;
  const auto* chars = static_cast<const wchar_t*>(data);
  const size_t count = bytes / sizeof(wchar_t);
  const wchar_t* end = std::wmemchr(chars, L'\0', count);
  text.assign(chars, end ? static_cast<size_t>(end - chars) : count);
}

bool CSelReaderDlg::ReadClipboardText(std::wstring& text) {
  text.clear();
  try {
    // Every way out unlocks the block and closes the clipboard: while it stays open, no other
    // application can copy or paste.
    const win::OpenedClipboard clipboard(nullptr);
    if (!clipboard || !::IsClipboardFormatAvailable(CF_UNICODETEXT)) return false;
    const win::LockedGlobal block(::GetClipboardData(CF_UNICODETEXT));
    if (!block) return false;
    orv_reader::testhooks::InjectFault(orv_reader::testhooks::FaultPoint::ClipboardCopy);
    CopyBoundedText(block.data(), block.size(), text);
  } catch (const std::bad_alloc&) {
    // A selection too large to copy reads as no text: the capture then ends by its time-out,
    // as one that found no text does, and the viewer chain is still passed on.
    text.clear();
    return false;
  }
  return !text.empty();
}

void CSelReaderDlg::OnChangeCbChain(HWND hWndRemove, HWND hWndAfter) {
  Default();
  if (hWndRemove == m_hNextViewer)
    m_hNextViewer = hWndAfter;
  else if (m_hNextViewer)
    ::SendMessageW(m_hNextViewer, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(hWndRemove),
                   reinterpret_cast<LPARAM>(hWndAfter));
}

void CSelReaderDlg::OnDrawClipboard() {
  Default();
  if (m_bInChain) ReadClipboardText(m_capturedText);
  if (m_hNextViewer && ::IsWindow(m_hNextViewer)) ::SendMessageW(m_hNextViewer, WM_DRAWCLIPBOARD, 0, 0);
  if (m_bInChain) {
    // One change per capture: leave at once. Without text the time-out ends the capture.
    LeaveClipboardChain();
    if (!m_capturedText.empty()) PostMessage(WM_SELTEXT_READY, 0, 0);
  }
}

LRESULT CSelReaderDlg::OnTextReady(WPARAM, LPARAM) {
  KillTimer(TIMER_CAPTURE_TIMEOUT);
  LeaveClipboardChain();
  m_bFallbackRunning = false;
  SetBusy(false);
  OnTextCaptured(m_capturedText);
  return 0;
}

void CSelReaderDlg::EndCaptureByTimeout() {
  KillTimer(TIMER_CAPTURE_TIMEOUT);
  LeaveClipboardChain();
  SetBusy(false);
  OnCaptureFailed();
}

void CSelReaderDlg::AbandonCapture() {
  KillTimer(TIMER_CAPTURE_TIMEOUT);
  LeaveClipboardChain();
  m_bFallbackRunning = false;
  SetBusy(false);
}

void CSelReaderDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == TIMER_CAPTURE_TIMEOUT) EndCaptureByTimeout();
  CDialog::OnTimer(nIDEvent);
}

void CSelReaderDlg::OnDestroy() {
  // A capture may be under way: the chain must not keep a dead window at its head, or the
  // other viewers would never hear of a change again.
  KillTimer(TIMER_CAPTURE_TIMEOUT);
  LeaveClipboardChain();
  m_bFallbackRunning = false;
  RemoveFocusHook();
  CDialog::OnDestroy();
}

void CSelReaderDlg::StartNotepadFallback() {
  DWORD mode = 0;
  // One fallback per user request: the failure of the capture the fallback started ends here.
  if (m_bFallbackRunning || !GetAppDwordValue(L"notepad_mode", mode) || mode != 1) {
    m_bFallbackRunning = false;
    ShowUsageHint();
    return;
  }
  if (!RunNotepadFallback()) ShowUsageHint();
}

bool CSelReaderDlg::RunNotepadFallback() {
  if (!notepad::IsRunning()) {
    std::wstring textFile;
    if (GetRegStringValue(reader_settings::kAppKey, textFile, L"notepad_default_txt")) {
      FILE* probe = _wfopen(textFile.c_str(), L"r");
      if (probe)
        std::fclose(probe);
      else
        textFile.clear();
    }
    wchar_t windows[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(m_hWnd, windows, CSIDL_WINDOWS, FALSE)) return false;
    const std::wstring program = std::wstring(windows) + L"\\notepad.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!textFile.empty()) commandLine += L" " + textFile;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return false;
    const win::UniqueKernelHandle notepadProcess(process.hProcess);
    const win::UniqueKernelHandle notepadThread(process.hThread);
    if (::WaitForInputIdle(notepadProcess.get(), m_bounds.notepadIdleWaitMs) == WAIT_TIMEOUT) return false;
  }
  HWND edit = nullptr;
  const DWORD start = ::GetTickCount();
  while (!(edit = notepad::FindEdit())) {
    if (::GetTickCount() - start >= m_bounds.notepadEditWaitMs) return false;
    ::Sleep(100);
  }
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  // No focus event may replace the target before the capture has started on it.
  RemoveFocusHook();
  g_lastFocusWnd = edit;
  m_bFallbackReading = true;
  OnReadRequest();
  m_bFallbackReading = false;
  InstallFocusHook();
  return true;
}
