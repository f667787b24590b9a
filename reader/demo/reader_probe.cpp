// Looks at the running reader from the Windows side for the demo: waits for the main dialog,
// describes what it shows (position, size, controls and their texts), and can close it.
//
//   reader_probe.exe [wait-ms]     describe the dialog; exit code 1 when none appeared
//   reader_probe.exe --close       close the dialog and wait for the reader to end
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Text(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

std::wstring Class(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
  if (Class(hwnd) == L"#32770" && Text(hwnd) == L"Orvel Murmelin" && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindDialog() {
  HWND found = nullptr;
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND WaitForDialog(DWORD waitMs) {
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  for (;;) {
    if (HWND dialog = FindDialog()) return dialog;
    if (GetTickCount64() >= deadline) return nullptr;
    // Nothing to wait on across processes but the window itself: look again shortly.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

BOOL CALLBACK PrintVisible(HWND hwnd, LPARAM) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  std::printf("  visible: \"%s\" (%s)\n", Utf8(Text(hwnd)).c_str(), Utf8(Class(hwnd)).c_str());
  // A message box carries its text in a static of its own.
  if (HWND text = GetDlgItem(hwnd, 0xFFFF)) std::printf("           %s\n", Utf8(Text(text)).c_str());
  return TRUE;
}

const char* ControlName(int id) {
  switch (id) {
    case 1216: return "language button";
    case 1204: return "read button";
    case 1205: return "stop button";
    case 1226: return "launch button";
    case 1030: return "fold button";
    case 1223: return "voice-type icon";
    case 1177: return "voice list";
    case 1222: return "voice link";
    case 1214: return "lexicon button";
    case 1001: return "speed slider";
    case 1000: return "volume slider";
    case 1029: return "minimise button";
    case 1027: return "close button";
    case 1221: return "site link";
    default: return "control";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--close") {
    HWND dialog = FindDialog();
    if (!dialog) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    const bool ended = process && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
    if (process) CloseHandle(process);
    std::printf("%s\n", ended ? "The reader saved its settings and ended." : "The reader did not end in time.");
    return ended ? 0 : 1;
  }

  const DWORD waitMs = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 30000;
  HWND dialog = WaitForDialog(waitMs);
  if (!dialog) {
    std::printf("No \"Orvel Murmelin\" dialog appeared within %lu ms. Windows on the screen:\n",
                static_cast<unsigned long>(waitMs));
    EnumWindows(PrintVisible, 0);
    return 1;
  }
  RECT rect = {};
  GetWindowRect(dialog, &rect);
  std::printf("rect %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  std::printf("The main dialog \"%s\" is visible at (%ld, %ld), %ld x %ld pixels%s.\n", Utf8(Text(dialog)).c_str(),
              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
              IsIconic(dialog) ? ", minimised" : "");
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    const std::wstring text = Text(child);
    std::printf("  %-16s %4d  %-18s %s%s%s\n", ControlName(id), id, Utf8(Class(child)).c_str(),
                IsWindowVisible(child) ? "visible" : "hidden", text.empty() ? "" : "  text: ",
                Utf8(text).c_str());
  }
  return 0;
}
