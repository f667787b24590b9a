// webclicker: drives a web installer built from the example script through its pages as a
// user would, and reports what it saw and what the installation left behind.
//
//   webclicker RESULT SHOTS SETUP [ARGS] -- STEP...
//
// Before the installer starts, the maker's keys that an installation writes are removed (in
// the 32-bit registry view, where the plug-in and the products work), TEMP and TMP point at
// a fresh folder "clicker-temp" beside RESULT (where the task log goes). Steps, in order:
//   log           switches the plug-in's task log on (HKLM SOFTWARE\ORVEL\gw "log" = 1)
//   start         starts SETUP with ARGS
//   wait:KIND     waits until a new page of KIND is up (flags, components, progress, finished)
//   text:ID:TEXT  waits until the page's control ID shows a text that begins with TEXT
//   shot:NAME     saves the installer window as SHOTS\NAME.png
//   dump:NAME     writes every control of the page to RESULT (id, checked, enabled, text; a
//                 tree's items below it, with their check boxes)
//   click:ID      clicks the page's control ID
//   check:LABEL   clicks the check box of the page's tree item whose label begins with LABEL,
//                 with the mouse, and waits until the box has changed
//   next, back, cancel
//                 clicks the installer's Next (also "Close"), Back or Cancel button
//   key:escape, key:return
//                 presses Escape or Return as a user would: the key goes down and up in the window
//                 that has the keyboard focus on the installer's thread, or, when none has, as a
//                 system key in its active window
//   ready         waits until the installer's Next button is enabled while the page last waited
//                 for is still up; fails when another page comes first
//   buttons:NAME  writes the installer's Back, Next and Cancel buttons to RESULT (enabled, text,
//                 and which one has the keyboard focus)
//   exit          waits for the installer to end and writes its exit code
//   report        writes the registry values and the task log's product lines to RESULT, with
//                 the log's failure lines (without their times)
//   clean         removes the maker's keys again (what the products and the plug-in wrote)
// Every wait ends with a failure after 120 s, or when the installer has ended (its exit code is
// reported then). A step fails when any call on the installer's memory fails (dump and check read
// the tree through it). Exit code 0 when every step was made.
#include <windows.h>

#include <objidl.h>
#include <gdiplus.h>

#include "ClientShot.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 120000;
constexpr REGSAM kView = KEY_WOW64_32KEY;

FILE* g_result = nullptr;
PROCESS_INFORMATION g_process{};
HWND g_last_page = nullptr;  // the page that was up when the last button was clicked

void Line(const std::wstring& text) {
  std::string utf8(
      static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  std::fprintf(g_result, "%s\n", utf8.c_str());
  std::fflush(g_result);
}

bool Fail(const std::wstring& why) {
  std::fwprintf(stderr, L"webclicker: %ls\n", why.c_str());
  return false;
}

std::wstring Hex(DWORD value) {
  wchar_t text[16] = {};
  std::swprintf(text, 16, L"0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::wstring ErrorText(DWORD error) { return L"error " + Hex(error); }

// Set by the one report of a failed call on the installer's memory; the step then fails even
// where the call's caller cannot return the failure (a buffer's release).
bool g_remote_failed = false;

// Names the call, its size and the error, so that a failure is not mistaken for a wrong tree.
bool RemoteFailed(const wchar_t* call, SIZE_T size, const wchar_t* where) {
  const DWORD error = GetLastError();
  g_remote_failed = true;
  return Fail(std::wstring(call) + L" of " + std::to_wstring(size) + L" bytes " + where + L" failed, " +
              ErrorText(error));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

struct InstallerSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK MatchInstallerWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<InstallerSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == s->pid && IsWindowVisible(window) && ClassOf(window) == L"#32770" && GetDlgItem(window, 1018)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

// The installer's main window: a visible dialog of the installer process with the page frame.
HWND InstallerWindow() {
  InstallerSearch search{g_process.dwProcessId, nullptr};
  EnumWindows(MatchInstallerWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Whether the installer has ended and with which exit code: a wait that failed because the
// installer ended by itself says so.
std::wstring InstallerState() {
  if (!g_process.hProcess) return L"the installer has not been started";
  if (WaitForSingleObject(g_process.hProcess, 0) != WAIT_OBJECT_0) return L"the installer is running";
  DWORD code = 0;
  if (!GetExitCodeProcess(g_process.hProcess, &code))
    return L"the installer has ended; its exit code cannot be read, " + ErrorText(GetLastError());
  return L"the installer has ended with exit code " + std::to_wstring(code) + L" (" + Hex(code) + L")";
}

// The hook's only work is its delivery: a message that wakes the waiting thread.
void CALLBACK IgnoreWinEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

// The page shown in the installer window: its visible child dialog.
HWND CurrentPage() {
  HWND main = InstallerWindow();
  if (!main) return nullptr;
  for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child) && ClassOf(child) == L"#32770") return child;
  return nullptr;
}

std::wstring KindOf(HWND page) {
  if (!page) return L"";
  HWND bar = GetDlgItem(page, 2011);
  if (GetDlgItem(page, 2000) && GetDlgItem(page, 2028)) return L"flags";
  if (bar && ClassOf(bar) == L"msctls_progress32" && GetDlgItem(page, 2013)) return L"progress";
  if (GetDlgItem(page, 2012) && GetDlgItem(page, 2017)) return L"components";
  // NSIS's own instfiles page, once its Next button ("Close") may be pressed.
  HWND main = InstallerWindow();
  if (GetDlgItem(page, 1016) && main && IsWindowEnabled(GetDlgItem(main, 1))) return L"finished";
  return L"other";
}

// Waits until done() holds: woken by the installer's window events (their delivery is a
// message to this thread), looking again at least every 200 ms in case an event is not
// delivered; false after kWaitMs or when the installer has ended.
bool WaitUntil(const std::function<bool()>& done) {
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_NAMECHANGE, nullptr, IgnoreWinEvent,
                                       g_process.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  bool ok = false;
  for (;;) {
    if (done()) {
      ok = true;
      break;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    const DWORD step = static_cast<DWORD>(std::min<ULONGLONG>(200, deadline - now));
    const DWORD r = MsgWaitForMultipleObjects(1, &g_process.hProcess, FALSE, step, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      ok = done();
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  if (hook) UnhookWinEvent(hook);
  return ok;
}

// The installer window has painted everything that is invalid.
void Settle(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

bool SaveShot(HWND window, const std::wstring& path) {
  Settle(window);
  return gwplugin_test::SaveClientPng(window, path);
}

// Memory in the installer's process: a tree view reads and fills the structures that its
// messages point at in its own address space.
class RemoteBuffer {
 public:
  explicit RemoteBuffer(SIZE_T size)
      : m_size(size),
        m_remote(static_cast<BYTE*>(VirtualAllocEx(g_process.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE))) {
    if (!m_remote) RemoteFailed(L"VirtualAllocEx", size, L"in the installer");
  }
  ~RemoteBuffer() {
    if (m_remote && !VirtualFreeEx(g_process.hProcess, m_remote, 0, MEM_RELEASE))
      RemoteFailed(L"VirtualFreeEx", m_size, L"in the installer");
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  explicit operator bool() const { return m_remote != nullptr; }
  // The address in the installer's process.
  BYTE* At(SIZE_T offset = 0) const { return m_remote + offset; }
  bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const {
    SIZE_T done = 0;
    return (WriteProcessMemory(g_process.hProcess, m_remote + offset, data, size, &done) && done == size) ||
           RemoteFailed(L"WriteProcessMemory", size, L"into the installer");
  }
  bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const {
    SIZE_T done = 0;
    return (ReadProcessMemory(g_process.hProcess, m_remote + offset, data, size, &done) && done == size) ||
           RemoteFailed(L"ReadProcessMemory", size, L"from the installer");
  }

 private:
  SIZE_T m_size;
  BYTE* m_remote;
};

struct TreeItem {
  HTREEITEM handle;
  int depth;
  std::wstring text;
  int state_image;  // the tree's check images: 1 unchecked, 2 checked, 3 partly; +4 disabled, +8 hot
};

HWND TreeOf(HWND page) {
  for (HWND child = page ? GetWindow(page, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassOf(child) == WC_TREEVIEWW) return child;
  return nullptr;
}

bool ReadTreeItem(HWND tree, const RemoteBuffer& shared, TreeItem& item) {
  constexpr int kChars = 256;
  TVITEMW query{};
  query.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
  query.hItem = item.handle;
  query.stateMask = TVIS_STATEIMAGEMASK;
  query.pszText = reinterpret_cast<wchar_t*>(shared.At(sizeof(TVITEMW)));
  query.cchTextMax = kChars;
  wchar_t text[kChars] = {};
  if (!shared.Write(&query, sizeof query)) return false;
  if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(shared.At())))
    return Fail(L"the tree refused TVM_GETITEM for one of its items");
  if (!shared.Read(&query, sizeof query) || !shared.Read(text, sizeof text - sizeof(wchar_t), sizeof(TVITEMW)))
    return false;
  item.text = text;
  item.state_image = static_cast<int>((query.state & TVIS_STATEIMAGEMASK) >> 12);
  return true;
}

// Every item of the tree, depth first, as the tree shows them from the top; false (reported)
// when an item cannot be read, rather than a tree with the item left out.
bool TreeItems(HWND tree, std::vector<TreeItem>& items) {
  items.clear();
  RemoteBuffer shared(sizeof(TVITEMW) + 256 * sizeof(wchar_t));
  if (!shared) return false;
  std::function<bool(HTREEITEM, int)> walk = [&](HTREEITEM first, int depth) {
    for (HTREEITEM h = first; h;
         h = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(h)))) {
      TreeItem item{h, depth, L"", 0};
      if (!ReadTreeItem(tree, shared, item)) return false;
      items.push_back(item);
      if (!walk(
              reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(h))),
              depth + 1))
        return false;
    }
    return true;
  };
  return walk(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0);
}

std::wstring CheckText(int state_image) {
  const wchar_t* boxes[] = {L"", L"[ ] ", L"[x] ", L"[-] "};
  return boxes[state_image & 3] + std::wstring(state_image & 4 ? L"disabled " : L"");
}

// Where the item's check box is, in the tree's client coordinates: the tree's own hit test,
// walked left from the label, so the picture between box and label does not matter.
bool CheckBoxPoint(HWND tree, const TreeItem& item, POINT& point) {
  RemoteBuffer shared(sizeof(TVHITTESTINFO) + sizeof(RECT));
  if (!shared) return false;
  // TVM_GETITEMRECT takes the item in the rectangle it fills.
  RECT label{};
  std::memcpy(&label, &item.handle, sizeof item.handle);
  if (!shared.Write(&label, sizeof label)) return false;
  if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(shared.At())))
    return Fail(L"no rectangle for \"" + item.text + L"\"");
  if (!shared.Read(&label, sizeof label)) return false;
  const int y = (label.top + label.bottom) / 2;
  int right = -1, left = -1;
  for (int x = label.left - 1; x >= 0; --x) {
    TVHITTESTINFO hit{};
    hit.pt = {x, y};
    if (!shared.Write(&hit, sizeof hit)) return false;
    SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(shared.At()));
    if (!shared.Read(&hit, sizeof hit)) return false;
    const bool on_box = hit.hItem == item.handle && (hit.flags & TVHT_ONITEMSTATEICON);
    if (on_box && right < 0) right = x;
    if (on_box) left = x;
    if (!on_box && right >= 0) break;
  }
  if (right < 0) return Fail(L"no check box for \"" + item.text + L"\"");
  point = {(left + right) / 2, y};
  return true;
}

bool ClickTreeCheck(const std::wstring& label) {
  HWND main = InstallerWindow();
  HWND tree = TreeOf(CurrentPage());
  if (!main || !tree) return Fail(L"no tree on the page");
  std::vector<TreeItem> items;
  if (!TreeItems(tree, items)) return false;
  TreeItem item{nullptr, 0, L"", 0};
  for (const TreeItem& candidate : items)
    if (candidate.text.compare(0, label.size(), label) == 0) {
      item = candidate;
      break;
    }
  if (!item.handle) return Fail(L"no tree item \"" + label + L"\"");
  // A user scrolls the item into view first.
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item.handle));
  POINT point{};
  if (!CheckBoxPoint(tree, item, point)) return false;
  ClientToScreen(tree, &point);
  // Two clicks on one spot within the double-click time are a double click, which toggles
  // nothing: a second box scrolled to where the first one was is clicked as a user would,
  // once that time has passed (the wait only ends early if the installer ends).
  static POINT last_point{-1000, -1000};
  static ULONGLONG last_time = 0;
  const ULONGLONG double_click = GetDoubleClickTime();
  if (std::abs(point.x - last_point.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
      std::abs(point.y - last_point.y) <= GetSystemMetrics(SM_CYDOUBLECLK) &&
      GetTickCount64() < last_time + double_click + 50)
    WaitForSingleObject(g_process.hProcess, static_cast<DWORD>(last_time + double_click + 50 - GetTickCount64()));
  SetForegroundWindow(main);
  SetCursorPos(point.x, point.y);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  if (SendInput(2, input, sizeof(INPUT)) != 2) return Fail(L"SendInput refused, " + ErrorText(GetLastError()));
  last_point = point;
  last_time = GetTickCount64();
  RemoteBuffer shared(sizeof(TVITEMW) + 256 * sizeof(wchar_t));
  // A failed read ends the wait: it is the step's failure, reported by the read.
  bool read = static_cast<bool>(shared);
  const bool changed = read && WaitUntil([&] {
                         TreeItem now = item;
                         read = ReadTreeItem(tree, shared, now);
                         return !read || (now.state_image & 3) != (item.state_image & 3);
                       });
  // The mouse leaves the page, so no hot box or tooltip is left over it.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  if (!read) return false;
  return changed || Fail(L"the check box of \"" + item.text + L"\" did not change");
}

// False (reported) when a tree cannot be read.
bool Dump(const std::wstring& name, HWND page) {
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const int id = GetDlgCtrlID(child);
    std::wstring line = name + L": " + std::to_wstring(id);
    const std::wstring kind = ClassOf(child);
    if (kind == L"Button") {
      const LRESULT state = SendMessageW(child, BM_GETCHECK, 0, 0);
      line += state == BST_CHECKED ? L" [x]" : L" [ ]";
    }
    line += IsWindowEnabled(child) ? L"" : L" disabled";
    if (kind == L"ComboBox") {
      // The selected entry (a drop-down list's window text does not cross processes).
      wchar_t item[256] = {};
      const LRESULT selected = SendMessageW(child, CB_GETCURSEL, 0, 0);
      if (selected >= 0 && SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0) < 255)
        SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(item));
      line += L" " + std::wstring(item) + L" (" + std::to_wstring(SendMessageW(child, CB_GETCOUNT, 0, 0)) + L" voices)";
    } else if (!TextOf(child).empty()) {
      line += L" " + TextOf(child);
    }
    Line(line);
    if (kind == WC_TREEVIEWW) {
      std::vector<TreeItem> items;
      if (!TreeItems(child, items)) return false;
      for (const TreeItem& item : items)
        Line(name + L":   " + std::wstring(2 * item.depth, L' ') + CheckText(item.state_image) + item.text);
    }
  }
  return true;
}

// Under HKLM\Software: what an installation of the test products writes.
const wchar_t* kMakerKeys[] = {L"ORVEL\\gw", L"Orvel\\Orvel 2 Vokant", L"Orvel\\Orvel Vokant",
                               L"Orvel\\Orvel Helmstand", L"Orvel\\Orvel Parlon"};

void CleanMakerKeys() {
  HKEY software = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | kView, &software) == ERROR_SUCCESS) {
    for (const wchar_t* key : kMakerKeys) RegDeleteTreeW(software, key);
    RegCloseKey(software);
  }
  HKEY maker = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\ORVEL", 0, KEY_SET_VALUE | kView, &maker) == ERROR_SUCCESS) {
    RegDeleteValueW(maker, L"language");
    RegCloseKey(maker);
  }
}

std::wstring ReadValue(const wchar_t* key, const wchar_t* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | kView, &opened) != ERROR_SUCCESS) return L"(no key)";
  BYTE data[512] = {};
  DWORD size = sizeof data - 2, type = 0;
  std::wstring value = L"(none)";
  if (RegQueryValueExW(opened, name, nullptr, &type, data, &size) == ERROR_SUCCESS) {
    if (type == REG_SZ)
      value = L"\"" + std::wstring(reinterpret_cast<wchar_t*>(data)) + L"\"";
    else if (type == REG_DWORD)
      value = std::to_wstring(*reinterpret_cast<DWORD*>(data));
  }
  RegCloseKey(opened);
  return value;
}

void Report(const std::wstring& temp) {
  Line(L"language: " + ReadValue(L"Software\\ORVEL", L"language"));
  Line(L"GUI Lang, family 0: " + ReadValue(L"Software\\ORVEL\\Orvel Vokant", L"GUI Lang"));
  Line(L"GUI Lang, family 2: " + ReadValue(L"Software\\ORVEL\\Orvel 2 Vokant", L"GUI Lang"));
  // The task log is UTF-16LE; its product lines carry the ids.
  const std::wstring log = temp + L"gw_log.txt";
  HANDLE file = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Line(L"task log: none");
    return;
  }
  std::vector<wchar_t> text(1 << 16, 0);
  DWORD got = 0;
  ReadFile(file, text.data(), static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t)), &got, nullptr);
  CloseHandle(file);
  Line(L"task log:");
  const std::wstring all(text.data(), got / sizeof(wchar_t));
  for (const wchar_t* id : {L"ORVEL_HELM", L"ORVEL_PARLON", L"VOICE_WISLA", L"VOICE_THAMES", L"VOICE_HUDSON",
                            L"VOICE_ELBE", L"VOICE_LOIRE"})
    if (all.find(id) != std::wstring::npos) Line(std::wstring(L"  ") + id);
  // "> (time) [ID] FAILED: reason": the time differs from run to run.
  for (std::size_t at = all.find(L"] FAILED: "); at != std::wstring::npos; at = all.find(L"] FAILED: ", at + 1)) {
    const std::size_t begin = all.rfind(L'[', at);
    const std::size_t end = all.find_first_of(L"\r\n", at);
    if (begin != std::wstring::npos) Line(L"  " + all.substr(begin, end == std::wstring::npos ? end : end - begin));
  }
}

// Next enabled on the installer window.
bool NextEnabled() {
  HWND main = InstallerWindow();
  HWND next = main ? GetDlgItem(main, 1) : nullptr;
  return next && IsWindowEnabled(next);
}

void Buttons(const std::wstring& name) {
  HWND main = InstallerWindow();
  // The keyboard focus on the installer's thread (none when no window there has it).
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!main || !GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) info.hwndFocus = nullptr;
  for (int id : {3, 1, 2}) {
    HWND button = main ? GetDlgItem(main, id) : nullptr;
    if (!button) {
      Line(name + L": button " + std::to_wstring(id) + L" missing");
      continue;
    }
    Line(name + L": button " + std::to_wstring(id) + (IsWindowEnabled(button) ? L"" : L" disabled") + L" " +
         TextOf(button) + (button == info.hwndFocus ? L" (focus)" : L""));
  }
}

bool ClickNsisButton(int id) {
  HWND main = InstallerWindow();
  if (!main) return Fail(L"no installer window");
  g_last_page = CurrentPage();
  HWND button = GetDlgItem(main, id);
  return PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE ||
         Fail(L"PostMessage failed, " + ErrorText(GetLastError()));
}

// Puts the key's down and up into the installer thread's queue, addressed as the keyboard
// would address them, so that whatever loop runs there (NSIS's or a plug-in's) reads them.
bool PressKey(UINT key) {
  HWND main = InstallerWindow();
  if (!main) return Fail(L"no installer window");
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info))
    return Fail(L"GetGUIThreadInfo failed, " + ErrorText(GetLastError()));
  // With no focus the system gives the key to the active window, as a system key.
  HWND target = info.hwndFocus ? info.hwndFocus : info.hwndActive;
  if (!target) return Fail(L"the installer's thread has no focus and no active window");
  const bool system = !info.hwndFocus;
  g_last_page = CurrentPage();
  // Where the key goes, for a failed run's steps.
  std::fwprintf(stderr, L"webclicker: the key goes to %ls %d (%ls)\n", ClassOf(target).c_str(), GetDlgCtrlID(target),
                target == info.hwndFocus ? L"the focus" : L"the active window");
  // Repeat count 1 and the scan code; the key up also has the previous-state and transition bits.
  const DWORD down = 1u | (MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16);
  const DWORD up = down | 0xC0000000u;
  return (PostMessageW(target, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key,
                       static_cast<LPARAM>(static_cast<ULONG_PTR>(down))) &&
          PostMessageW(target, system ? WM_SYSKEYUP : WM_KEYUP, key,
                       static_cast<LPARAM>(static_cast<ULONG_PTR>(up)))) ||
         Fail(L"PostMessage failed, " + ErrorText(GetLastError()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int separator = 0;
  for (int i = 1; i < argc; ++i)
    if (std::wcscmp(argv[i], L"--") == 0) separator = i;
  if (argc < 5 || separator < 4) {
    std::fwprintf(stderr, L"usage: webclicker RESULT SHOTS SETUP [ARGS] -- STEP...\n");
    return 2;
  }
  const std::wstring result_path = argv[1], shots = argv[2], setup = argv[3];
  const std::wstring args = separator > 4 ? argv[4] : L"";
  g_result = _wfopen(result_path.c_str(), L"w");
  if (!g_result) {
    Fail(L"cannot write " + result_path);
    return 1;
  }

  const std::wstring folder = result_path.substr(0, result_path.find_last_of(L'\\') + 1);
  const std::wstring temp = folder + L"clicker-temp\\";
  CreateDirectoryW(temp.c_str(), nullptr);
  SetEnvironmentVariableW(L"TEMP", temp.c_str());
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  DeleteFileW((temp + L"gw_log.txt").c_str());
  CleanMakerKeys();

  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);

  bool ok = true;
  for (int i = separator + 1; i < argc && ok; ++i) {
    const std::wstring step = argv[i];
    const std::size_t colon = step.find(L':');
    const std::wstring verb = step.substr(0, colon);
    const std::wstring arg = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
    std::fwprintf(stderr, L"webclicker: %ls\n", step.c_str());
    if (verb == L"log") {
      HKEY key = nullptr;
      DWORD one = 1;
      ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\ORVEL\\gw", 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                           &key, nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(key, L"log", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one) == ERROR_SUCCESS;
      if (key) RegCloseKey(key);
      if (!ok) Fail(L"the log switch cannot be set");
    } else if (verb == L"start") {
      std::wstring command = L"\"" + setup + L"\" " + args;
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      ok = CreateProcessW(setup.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &g_process) ||
           Fail(L"the installer cannot start, " + ErrorText(GetLastError()));
    } else if (verb == L"wait") {
      ok = WaitUntil([&] {
             HWND page = CurrentPage();
             return page && page != g_last_page && KindOf(page) == arg;
           }) ||
           Fail(L"no " + arg + L" page; the page up is \"" + KindOf(CurrentPage()) + L"\"; " + InstallerState());
      if (ok) g_last_page = CurrentPage();
    } else if (verb == L"text") {
      const std::size_t second = arg.find(L':');
      const int id = _wtoi(arg.substr(0, second).c_str());
      const std::wstring wanted = second == std::wstring::npos ? L"" : arg.substr(second + 1);
      ok = WaitUntil([&] {
             HWND page = CurrentPage();
             HWND control = page ? GetDlgItem(page, id) : nullptr;
             return control && TextOf(control).compare(0, wanted.size(), wanted) == 0;
           }) ||
           Fail(L"control " + std::to_wstring(id) + L" never showed \"" + wanted + L"\"; " + InstallerState());
    } else if (verb == L"shot") {
      HWND main = InstallerWindow();
      ok = (main && SaveShot(main, shots + L"\\" + arg + L".png")) || Fail(L"no shot " + arg);
    } else if (verb == L"dump") {
      HWND page = CurrentPage();
      ok = page != nullptr || Fail(L"no page to dump");
      ok = ok && Dump(arg, page);
    } else if (verb == L"click") {
      HWND page = CurrentPage();
      HWND control = page ? GetDlgItem(page, _wtoi(arg.c_str())) : nullptr;
      ok = control != nullptr || Fail(L"no control " + arg);
      if (ok) SendMessageW(control, BM_CLICK, 0, 0);
    } else if (verb == L"check") {
      ok = ClickTreeCheck(arg);
    } else if (verb == L"ready") {
      // The window may show no page for a moment (between pages): only another page, or
      // Next enabled on this one, ends the wait.
      auto settled = [] {
        HWND page = CurrentPage();
        return page && (page != g_last_page || NextEnabled());
      };
      ok = WaitUntil(settled) && CurrentPage() == g_last_page && NextEnabled();
      if (!ok)
        Fail(L"Next was not enabled on the page waited for; the page up is \"" + KindOf(CurrentPage()) + L"\"; " +
             InstallerState());
    } else if (verb == L"buttons") {
      Buttons(arg);
    } else if (verb == L"next" || verb == L"back" || verb == L"cancel") {
      ok = ClickNsisButton(verb == L"next" ? 1 : verb == L"back" ? 3 : 2);
    } else if (verb == L"key" && (arg == L"escape" || arg == L"return")) {
      ok = PressKey(arg == L"escape" ? VK_ESCAPE : VK_RETURN);
    } else if (verb == L"exit") {
      ok = WaitForSingleObject(g_process.hProcess, kWaitMs) == WAIT_OBJECT_0 || Fail(L"the installer did not end");
      DWORD code = 0;
      if (ok) GetExitCodeProcess(g_process.hProcess, &code);
      if (ok) Line(L"exit code: " + std::to_wstring(code));
    } else if (verb == L"report") {
      Report(temp);
    } else if (verb == L"clean") {
      CleanMakerKeys();
    } else {
      ok = Fail(L"unknown step " + step);
    }
    if (g_remote_failed) ok = false;
  }
  if (!ok && g_process.hProcess) Fail(L"stopped: " + InstallerState());
  if (!ok && g_process.hProcess && WaitForSingleObject(g_process.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(g_process.hProcess, 1);
    WaitForSingleObject(g_process.hProcess, 10000);
  }
  if (g_process.hProcess) CloseHandle(g_process.hProcess);
  if (g_process.hThread) CloseHandle(g_process.hThread);
  Gdiplus::GdiplusShutdown(token);
  std::fclose(g_result);
  return ok ? 0 : 1;
}
