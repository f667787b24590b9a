// Looks at and works the running reader from the Windows side for the demo: waits for the main
// dialog, describes what it shows (position, size, controls and their texts), reads the text
// selected in Notepad with the read hot key as a user would, folds the dialog and closes it.
//
//   reader_probe.exe [wait-ms]         describe the dialog; exit code 1 when none appeared
//   reader_probe.exe --setup-fake KEY  register the fake SAPI engine and declare two voices in the
//                                      voice category HKEY_CURRENT_USER\KEY
//   reader_probe.exe --restore-fake    put the prefix's own SAPI registration back
//   reader_probe.exe --read LOG KEY    select the middle line of Notepad's text, press the read hot
//                                      key (Ctrl+Shift+F9) and print what the engine (call log LOG)
//                                      was asked to speak, once the dialog shows that it speaks;
//                                      exit code 1 unless it was asked exactly the selected line,
//                                      with the voice (of the category HKEY_CURRENT_USER\KEY),
//                                      volume and rate that the reader's settings name
//   reader_probe.exe --finish          let the held stream end and wait for the dialog's idle state
//   reader_probe.exe --fold            press the fold button; prints the dialog's new rectangle
//   reader_probe.exe --close           close the dialog and wait for the reader to end
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>

#include "FakeSapiControl.h"
#include "Registry.h"
#include "UniqueHandle.h"
#include "VoiceSettings.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
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
    case 1216:
      return "language button";
    case 1204:
      return "read button";
    case 1205:
      return "stop button";
    case 1226:
      return "launch button";
    case 1030:
      return "fold button";
    case 1223:
      return "voice-type icon";
    case 1177:
      return "voice list";
    case 1222:
      return "voice link";
    case 1214:
      return "lexicon button";
    case 1001:
      return "speed slider";
    case 1000:
      return "volume slider";
    case 1029:
      return "minimise button";
    case 1027:
      return "close button";
    case 1221:
      return "site link";
    default:
      return "control";
  }
}

const DWORD kStepBoundMs = 30000;  // each step takes milliseconds; this is a safety net

// Nothing to wait on across processes but the windows themselves: looks again shortly.
bool WaitUntil(const std::function<bool()>& condition, DWORD boundMs = kStepBoundMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  while (!condition()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

void PrintRect(HWND dialog) {
  RECT rect = {};
  GetWindowRect(dialog, &rect);
  std::printf("rect %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

const char* Enabled(HWND hwnd) { return IsWindowEnabled(hwnd) ? "enabled" : "disabled"; }

void PrintButtons(HWND dialog) {
  HWND read = GetDlgItem(dialog, 1204), stop = GetDlgItem(dialog, 1205);
  std::printf("  read button \"%s\", stop button %s\n", Utf8(Text(read)).c_str(), Enabled(stop));
}

void Key(WORD vk, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(INPUT));
}

std::wstring VoiceName(const std::wstring& tokenId) {
  const std::wstring prefix = L"HKEY_CURRENT_USER\\";
  if (tokenId.compare(0, prefix.size(), prefix) != 0) return tokenId;
  wchar_t name[256] = {};
  DWORD size = sizeof(name);
  if (RegGetValueW(HKEY_CURRENT_USER, (tokenId.substr(prefix.size()) + L"\\Attributes").c_str(), L"Name", RRF_RT_REG_SZ,
                   nullptr, name, &size) != ERROR_SUCCESS)
    return tokenId;
  return name;
}

int SetUpFake(const std::wstring& category) {
  const HRESULT hr = fakesapi::EnsureRegistered();
  if (FAILED(hr)) {
    std::printf("The fake speech engine could not be registered: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  // The category lists its tokens by key name: Alice first, Ewa second. The demo stores the
  // second as the reader's voice, so a reader that fell back on the first would be caught. The
  // demo's prefix is kept between runs: the category starts empty, so that voices of an earlier
  // demo cannot shift the order.
  const LSTATUS cleared = RegDeleteTreeW(HKEY_CURRENT_USER, category.c_str());
  if (cleared != ERROR_SUCCESS && cleared != ERROR_FILE_NOT_FOUND) {
    std::printf("The demo's voice category HKEY_CURRENT_USER\\%s could not be emptied: error %ld\n",
                Utf8(category).c_str(), static_cast<long>(cleared));
    return 1;
  }
  for (const fakesapi::VoiceSpec& spec :
       {fakesapi::VoiceSpec{L"DemoAlice", L"Alice - English (demo)", L"Alice", L"Demo voices", L"409", {}, true},
        fakesapi::VoiceSpec{L"DemoEwa", L"Ewa - Polish (demo)", L"Ewa", L"Demo voices", L"415", {}, true}}) {
    if (fakesapi::AddVoiceToken(category, spec).empty()) {
      std::printf("The demo voice %s could not be declared under HKEY_CURRENT_USER\\%s\n", Utf8(spec.name).c_str(),
                  Utf8(category).c_str());
      return 1;
    }
  }
  std::printf(
      "Voices: two of a fake SAPI engine that records each request, \"Alice\" (English) and \"Ewa\" (Polish).\n");
  return 0;
}

// What the reader's settings (its application key, in the 32-bit view) say it speaks with: the
// volume, the rate (stored plus 10) and the voice, the stored index into the category's tokens
// in the order the engine lists them (by key name, as the registry enumerates them).
struct Expected {
  long long volume = -1, rate = -1;
  std::wstring voice;
  std::string problem;
};

Expected ReadExpected(const std::wstring& category) {
  Expected expected;
  const win::RegistryKey settings(HKEY_LOCAL_MACHINE, reader_settings::kAppKey, KEY_READ | reader_settings::kView);
  DWORD volume = 0, speed = 0, voice = 0;
  if (!settings.ReadDword(L"cur_volume", volume) || !settings.ReadDword(L"cur_speed", speed) ||
      !settings.ReadDword(L"cur_voice", voice)) {
    expected.problem = "the reader's settings name no volume, speed or voice";
    return expected;
  }
  // The reader speaks with the first voice when it has none of its own: a stored first voice
  // would pass the voice check whether the reader applied it or not.
  if (voice == 0) {
    expected.problem = "the reader's settings name the first voice, which the reader also falls back on";
    return expected;
  }
  expected.volume = volume;
  expected.rate = static_cast<long long>(speed) - 10;
  win::UniqueRegKey tokens;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (category + L"\\Tokens").c_str(), 0, KEY_READ, tokens.put()) != ERROR_SUCCESS) {
    expected.problem = "the voice category has no tokens";
    return expected;
  }
  wchar_t name[256] = {};
  DWORD chars = 256;
  if (RegEnumKeyExW(tokens.get(), voice, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    expected.voice = L"HKEY_CURRENT_USER\\" + category + L"\\Tokens\\" + name;
  else
    expected.problem = "the stored voice index names no voice of the category";
  return expected;
}

// The second line of a text (CR LF between lines, as an edit control holds them) as offsets,
// when there is text both before and after it; false otherwise.
bool MiddleLine(const std::wstring& text, DWORD& from, DWORD& to) {
  const size_t first = text.find(L"\r\n");
  if (first == 0 || first == std::wstring::npos) return false;
  const size_t second = text.find(L"\r\n", first + 2);
  if (second == std::wstring::npos || second == first + 2 || second + 2 >= text.size()) return false;
  from = static_cast<DWORD>(first + 2);
  to = static_cast<DWORD>(second);
  return true;
}

int Read(const std::wstring& log, const std::wstring& category) {
  HWND dialog = FindDialog();
  HWND notepad = nullptr, edit = nullptr;
  if (!dialog || !WaitUntil([&] {
        notepad = FindWindowW(L"Notepad", nullptr);
        edit = notepad ? FindWindowExW(notepad, nullptr, L"Edit", nullptr) : nullptr;
        return edit != nullptr && IsWindowVisible(notepad);
      })) {
    std::printf("%s\n", dialog ? "Notepad did not open." : "The reader is not running.");
    return 1;
  }
  fakesapi::ProcessEvents engine(ProcessOf(dialog));
  // Below the dialog, so that both can be seen.
  RECT dialogRect = {};
  GetWindowRect(dialog, &dialogRect);
  SetWindowPos(notepad, nullptr, dialogRect.left + 40, dialogRect.bottom + 120, 640, 260,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Another process's edit control: its text comes only through the message.
  std::wstring all(static_cast<size_t>(SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  all.resize(static_cast<size_t>(SendMessageW(edit, WM_GETTEXT, all.size(), reinterpret_cast<LPARAM>(&all[0]))));
  // Only a part, with text before and after it: a reader that read the whole text would say more.
  DWORD from = 0, to = 0;
  if (!MiddleLine(all, from, to)) {
    std::printf("Notepad's text has no middle line to select: \"%s\"\n", Utf8(all).c_str());
    return 1;
  }
  SendMessageW(edit, EM_SETSEL, from, to);
  SetForegroundWindow(notepad);
  if (!WaitUntil([&] { return GetForegroundWindow() == notepad; })) {
    std::printf("Notepad did not come to the front.\n");
    return 1;
  }
  DWORD selFrom = 0, selTo = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selFrom), reinterpret_cast<LPARAM>(&selTo));
  if (selFrom != from || selTo != to) {
    std::printf("Notepad selected %lu to %lu instead of its middle line, %lu to %lu.\n",
                static_cast<unsigned long>(selFrom), static_cast<unsigned long>(selTo),
                static_cast<unsigned long>(from), static_cast<unsigned long>(to));
    return 1;
  }
  const std::wstring selected = all.substr(from, to - from);
  std::printf("Selected in Notepad, its second line only: \"%s\"\n", Utf8(selected).c_str());
  const Expected expected = ReadExpected(category);
  if (!expected.problem.empty()) {
    std::printf("Cannot tell what the voice should be asked: %s.\n", expected.problem.c_str());
    return 1;
  }
  std::printf("Pressing the read hot key Ctrl+Shift+F9 ...\n");
  for (WORD vk : {VK_CONTROL, VK_SHIFT, VK_F9}) Key(vk, true);
  for (WORD vk : {VK_F9, VK_SHIFT, VK_CONTROL}) Key(vk, false);

  fakesapi::Call speak;
  const bool spoken = WaitUntil([&] {
    for (const fakesapi::Call& call : fakesapi::ReadLog(log)) {
      if (call.name == L"Speak" || call.name == L"SpeakStream") {
        speak = call;
        return true;
      }
    }
    return false;
  });
  if (!spoken) {
    std::printf("The voice was not asked to speak.\n");
    PrintRect(dialog);
    return 1;
  }
  std::printf("The voice was asked to speak: \"%s\"\n", Utf8(speak.Field(L"text")).c_str());
  std::printf("  with the voice \"%s\" (%s), volume %lld, rate %lld\n", Utf8(VoiceName(speak.Field(L"voice"))).c_str(),
              Utf8(speak.Field(L"voice")).c_str(), speak.Number(L"volume"), speak.Number(L"rate"));
  bool right = true;
  // The speech framework ends every text it copies with one space.
  if (speak.Field(L"text") != selected + L" ") {
    std::printf("WRONG: the voice was asked %s than the one selected.\n",
                speak.Field(L"text") == all + L" " ? "Notepad's whole text rather" : "another text");
    right = false;
  }
  if (speak.Field(L"voice") != expected.voice) {
    std::printf("WRONG: the reader's settings name the voice \"%s\" (%s).\n", Utf8(VoiceName(expected.voice)).c_str(),
                Utf8(expected.voice).c_str());
    right = false;
  }
  if (speak.Number(L"volume") != expected.volume || speak.Number(L"rate") != expected.rate) {
    std::printf("WRONG: the reader's settings name volume %lld, rate %lld.\n", expected.volume, expected.rate);
    right = false;
  }
  if (right) std::printf("  which is the selected text, with the voice, volume and rate of the reader's settings\n");
  HWND stop = GetDlgItem(dialog, 1205);
  const bool speaking = WaitUntil([&] { return IsWindowEnabled(stop) != FALSE; });
  if (!speaking) std::printf("The dialog never showed that it speaks.\n");
  std::printf("While it speaks:\n");
  PrintButtons(dialog);
  PrintRect(dialog);
  return right && speaking ? 0 : 1;
}

int Finish() {
  HWND dialog = FindDialog();
  if (!dialog) return 1;
  fakesapi::ProcessEvents engine(ProcessOf(dialog));
  SetEvent(engine.release.get());
  HWND stop = GetDlgItem(dialog, 1205);
  const bool idle = WaitUntil([&] { return !IsWindowEnabled(stop); });
  std::printf("%s\n", idle ? "The speech ended; the dialog is idle again:" : "The dialog did not go back to idle:");
  PrintButtons(dialog);
  return idle ? 0 : 1;
}

int Fold() {
  HWND dialog = FindDialog();
  if (!dialog) return 1;
  RECT before = {}, now = {};
  GetWindowRect(dialog, &before);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1030, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1030)));
  const bool changed = WaitUntil([&] {
    GetWindowRect(dialog, &now);
    return now.right - now.left != before.right - before.left;
  });
  std::printf("The fold button %s the dialog: %ld -> %ld pixels wide.\n", changed ? "resized" : "did not resize",
              before.right - before.left, now.right - now.left);
  PrintRect(dialog);
  return changed ? 0 : 1;
}

std::wstring Wide(const char* text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], size);
  out.resize(wcslen(out.c_str()));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--setup-fake" && argc > 2) return SetUpFake(Wide(argv[2]));
  if (command == "--restore-fake") return FAILED(fakesapi::RestoreOriginalRegistration()) ? 1 : 0;
  if (command == "--read" && argc > 3) return Read(Wide(argv[2]), Wide(argv[3]));
  if (command == "--finish") return Finish();
  if (command == "--fold") return Fold();

  if (command == "--close") {
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
  PrintRect(dialog);
  std::printf("The main dialog \"%s\" is visible at (%ld, %ld), %ld x %ld pixels%s.\n", Utf8(Text(dialog)).c_str(),
              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
              IsIconic(dialog) ? ", minimised" : "");
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    const std::wstring text = Text(child);
    std::printf("  %-16s %4d  %-18s %s%s%s\n", ControlName(id), id, Utf8(Class(child)).c_str(),
                IsWindowVisible(child) ? "visible" : "hidden", text.empty() ? "" : "  text: ", Utf8(text).c_str());
  }
  return 0;
}
