// The reader as a process: single instance, a start after a killed instance, the error box
// when no module can be used, the English fallback, version checks, the system language's box,
// and the order of shutdown. Each test installs a copy of the built program (and the modules
// it needs) in a folder of its own and sets "language" under the maker key as the installer
// would, putting the registry back afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ReaderTestSupport.h"
#include "resource.h"

using reader_test::Hex;
using reader_test::kAppKey;
using reader_test::kMakerKey;
using reader_test::kProgramName;
using reader_test::Narrow;

namespace {

const DWORD kStartTimeoutMs = 60000;  // a first start in a fresh prefix is slow

const wchar_t kEnglishCaption[] = L"Resource DLL Error";
const wchar_t kEnglishText[] =
    L"An error occured while loading language settings.\nPlease try to reinstall Orvel Murmelin!";
const wchar_t kPolishCaption[] = L"Błąd ładowania DLL";
const wchar_t kPolishText[] = L"Błąd ładowania wersji językowych.\nProszę ponownie zainstalować Orvel Murmelin!";

std::wstring WindowText(HWND hwnd) {
  // Another process's window: WM_GETTEXT is marshalled by the system.
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOf(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == search->pid) search->found.push_back(hwnd);
  return TRUE;
}

// Top-level windows of a process, hidden ones included.
std::vector<HWND> WindowsOf(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&search));
  // Message-only windows are not enumerated with the others.
  for (HWND hwnd = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd != nullptr;
       hwnd = FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == pid) search.found.push_back(hwnd);
  }
  return search.found;
}

HWND FindWindowOf(DWORD pid, const wchar_t* className, const wchar_t* title, bool visibleOnly) {
  for (HWND hwnd : WindowsOf(pid)) {
    if (className && ClassOf(hwnd) != className) continue;
    if (title && WindowText(hwnd) != title) continue;
    if (visibleOnly && !IsWindowVisible(hwnd)) continue;
    return hwnd;
  }
  return nullptr;
}

size_t CountProcessesNamed(const wchar_t* exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, exeName) == 0) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// One started copy of the reader; killed at the end of the test if it is still running.
class ReaderProcess {
 public:
  ReaderProcess() = default;
  ~ReaderProcess() { Kill(); }
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  bool Start(const std::wstring& folder) {
    const std::wstring program = folder + kProgramName;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &m_info)) {
      ADD_FAILURE() << "CreateProcess(" << Narrow(program) << ") failed, error " << GetLastError();
      m_info = PROCESS_INFORMATION();
      return false;
    }
    return true;
  }

  DWORD Pid() const { return m_info.dwProcessId; }
  HANDLE Handle() const { return m_info.hProcess; }
  bool Running() const { return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT; }

  // Waits for the process to end; its exit code, or STILL_ACTIVE after the time-out.
  DWORD WaitForExit(DWORD timeoutMs) {
    if (!m_info.hProcess) return STILL_ACTIVE;
    if (WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_info.hProcess, &code);
    return code;
  }

  // Waits, up to the time-out, until the condition holds: first for the process to go idle in
  // its message loop, then checking again whenever a message arrives and at short intervals,
  // since another process's windows and memory signal nothing here. After the process ended,
  // the condition gets one last look.
  bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kStartTimeoutMs) {
    if (!m_info.hProcess) return false;
    WaitForInputIdle(m_info.hProcess, timeoutMs);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      if (condition()) return true;
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20));
      if (MsgWaitForMultipleObjects(1, &m_info.hProcess, FALSE, slice, QS_ALLINPUT) == WAIT_OBJECT_0) {
        return condition();
      }
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }

  // The first window of the process that find() answers; NULL after the time-out.
  HWND WaitForWindow(const std::function<HWND(DWORD pid)>& find, DWORD timeoutMs = kStartTimeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = find(Pid())) != nullptr; }, timeoutMs);
    return found;
  }

  HWND WaitForDialog() {
    return WaitForWindow([](DWORD pid) { return FindWindowOf(pid, L"#32770", L"Orvel Murmelin", true); });
  }

  void Kill() {
    if (m_info.hProcess) {
      if (Running()) {
        TerminateProcess(m_info.hProcess, 1);
        WaitForSingleObject(m_info.hProcess, 10000);
      }
      CloseHandle(m_info.hProcess);
      CloseHandle(m_info.hThread);
    }
    m_info = PROCESS_INFORMATION();
  }

 private:
  PROCESS_INFORMATION m_info = {};
};

// The program's shared section as another mapping of the same image sees it: the test maps the
// program (without running it), which also keeps the section alive between instances.
class SharedSectionView {
 public:
  explicit SharedSectionView(const std::wstring& program)
      : m_module(LoadLibraryExW(program.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {
    if (!m_module) return;
    auto* base = reinterpret_cast<BYTE*>(m_module.get());
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD n = 0; n < nt->FileHeader.NumberOfSections; ++n, ++section) {
      if (strncmp(reinterpret_cast<const char*>(section->Name), ".shared", IMAGE_SIZEOF_SHORT_NAME) == 0) {
        m_characteristics = section->Characteristics;
        m_value = reinterpret_cast<volatile HWND*>(base + section->VirtualAddress);
      }
    }
  }
  SharedSectionView(const SharedSectionView&) = delete;
  SharedSectionView& operator=(const SharedSectionView&) = delete;

  bool Found() const { return m_value != nullptr; }
  DWORD Characteristics() const { return m_characteristics; }
  HWND Value() const { return m_value ? *m_value : nullptr; }
  // Writes the value as any process of the image can.
  void Set(HWND value) {
    if (m_value) *m_value = value;
  }

 private:
  win::UniqueModule m_module;
  volatile HWND* m_value = nullptr;
  DWORD m_characteristics = 0;
};

class ReaderStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(makerLanguage.ok() && appLanguage.ok());
    // The installer writes the maker key; the application key's value is only a fallback.
    ASSERT_TRUE(makerLanguage.SetString(L"english"));
    ASSERT_TRUE(appLanguage.Remove());
    ASSERT_TRUE(folder.Copy(reader_test::BuiltProgram(), kProgramName));
  }

  void InstallModule(const std::wstring& source, const std::wstring& language) {
    ASSERT_TRUE(folder.Copy(source, L"lang\\" + language + L".dll"));
  }
  void InstallAllModules() {
    for (const wchar_t* language : {L"english", L"polish", L"romanian"}) {
      InstallModule(reader_test::BuiltModule(language), language);
    }
  }
  std::wstring Program() const { return folder.Path() + kProgramName; }

  // Closes the dialog as the user would and checks that the process then ends by itself.
  void CloseAndExpectExit(ReaderProcess& reader, HWND dialog) {
    ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
    EXPECT_EQ(0u, reader.WaitForExit(kStartTimeoutMs)) << "the reader did not end cleanly";
  }

  // Finds the error box of a failed module load, checks it, and closes it.
  void ExpectErrorBox(ReaderProcess& reader, const wchar_t* caption, const wchar_t* text) {
    HWND box = reader.WaitForWindow([caption](DWORD pid) { return FindWindowOf(pid, L"#32770", caption, true); });
    ASSERT_NE(nullptr, box) << "no box \"" << Narrow(caption)
                            << "\"; windows of the process: " << WindowsOf(reader.Pid()).size();
    EXPECT_EQ(text, WindowText(GetDlgItem(box, 0xFFFF)));
    // Nothing else was created: no hidden main window, no speech control window.
    EXPECT_EQ(nullptr, FindWindowOf(reader.Pid(), L"ORVEL_Parlon_mwnd", nullptr, false));
    EXPECT_EQ(nullptr, FindWindowOf(reader.Pid(), L"SCclass", nullptr, false));
    // The system's own hidden helpers (the IME window, COM's apartment window) may be there.
    std::string visible;
    for (HWND hwnd : WindowsOf(reader.Pid())) {
      if (hwnd != box && IsWindowVisible(hwnd)) visible += Narrow(ClassOf(hwnd)) + " ";
    }
    EXPECT_EQ("", visible) << "only the box may be visible";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ExpectFailedStartEnds(reader);
  }

  // A start that cannot go on ends by itself, with a code that says so, and without a crash.
  static void ExpectFailedStartEnds(ReaderProcess& reader) {
    const DWORD code = reader.WaitForExit(kStartTimeoutMs);
    ASSERT_NE(static_cast<DWORD>(STILL_ACTIVE), code) << "the process did not end";
    EXPECT_NE(0u, code) << "a failed start ends with the exit code of success";
    EXPECT_LT(code, 0xC0000000u) << "the process crashed: " << Hex(code);
  }

  reader_test::ScopedRegValue makerLanguage{kMakerKey, L"language"};
  reader_test::ScopedRegValue appLanguage{kAppKey, L"language"};
  reader_test::TempFolder folder;
};

TEST_F(ReaderStart, SecondStartRestoresTheFirstInstanceAndEnds) {
  InstallAllModules();
  SharedSectionView shared(Program());
  ASSERT_TRUE(shared.Found()) << "the program has no .shared section";
  EXPECT_NE(0u, shared.Characteristics() & IMAGE_SCN_MEM_SHARED) << Hex(shared.Characteristics());

  ReaderProcess first;
  ASSERT_TRUE(first.Start(folder.Path()));
  HWND dialog = first.WaitForDialog();
  ASSERT_NE(nullptr, dialog) << "the first instance shows no dialog";
  // Start-up stores the handle right after the dialog has been created and shown.
  EXPECT_TRUE(first.WaitUntil([&] { return shared.Value() == dialog; }))
      << "the dialog's handle is not in the shared section: " << shared.Value();

  ShowWindow(dialog, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(dialog));

  ReaderProcess second;
  ASSERT_TRUE(second.Start(folder.Path()));
  EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), second.WaitForExit(kStartTimeoutMs)) << "the second instance runs on";
  EXPECT_FALSE(IsIconic(dialog)) << "the first instance's dialog was not restored";
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(1u, CountProcessesNamed(kProgramName));

  CloseAndExpectExit(first, dialog);
}

// A window of the test program, whose image is not the reader's; destroyed with the object.
struct TestWindow {
  explicit TestWindow(const wchar_t* className)
      : hwnd(CreateWindowExW(0, className, L"not the reader", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 240, 120, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr)) {}
  ~TestWindow() {
    if (hwnd) DestroyWindow(hwnd);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND hwnd;
};

// Fault: the shared value is written by every process of the image, in every session (the mutex
// is one per session), so it may name a window that is not this reader's dialog: the second
// start restored whatever it named.
TEST_F(ReaderStart, SecondStartRestoresNothingButTheReadersOwnDialog) {
  InstallAllModules();
  SharedSectionView shared(Program());
  ASSERT_TRUE(shared.Found()) << "the program has no .shared section";
  ReaderProcess first;
  ASSERT_TRUE(first.Start(folder.Path()));
  HWND dialog = first.WaitForDialog();
  ASSERT_NE(nullptr, dialog) << "the first instance shows no dialog";
  ASSERT_TRUE(first.WaitUntil([&] { return shared.Value() == dialog; })) << shared.Value();
  // The reader's own process and image, but not its dialog's class.
  HWND mainWindow = FindWindowOf(first.Pid(), L"ORVEL_Parlon_mwnd", L"OPV_WND", false);
  ASSERT_NE(nullptr, mainWindow) << "the first instance has no main window";
  ASSERT_FALSE(IsWindowVisible(mainWindow));
  // The dialog's class, or another one, in a program of another image.
  TestWindow otherDialog(WC_DIALOG), otherWindow(L"STATIC");
  ASSERT_TRUE(otherDialog.hwnd && otherWindow.hwnd) << "error " << GetLastError();
  HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, gone) << "error " << GetLastError();
  ASSERT_TRUE(DestroyWindow(gone));

  struct Case {
    const char* what;
    HWND value;  // in the shared section at the second start
    bool restored;
  } cases[] = {
      {"the first instance's dialog", dialog, true},
      {"the first instance's hidden main window", mainWindow, false},
      {"a dialog of another program", otherDialog.hwnd, false},
      {"a window of another program and class", otherWindow.hwnd, false},
      {"no window", nullptr, false},
      {"a window that no longer exists", gone, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (HWND window : {dialog, otherDialog.hwnd, otherWindow.hwnd}) {
      ShowWindow(window, SW_MINIMIZE);
      ASSERT_TRUE(IsIconic(window));
    }
    shared.Set(c.value);

    ReaderProcess second;
    ASSERT_TRUE(second.Start(folder.Path()));
    // Pumping: a restore of one of the test's windows waits for this thread.
    EXPECT_TRUE(reader_test::PumpUntil([&] { return !second.Running(); }, kStartTimeoutMs))
        << "the second instance runs on";
    for (HWND window : {dialog, otherDialog.hwnd, otherWindow.hwnd}) {
      const bool restored = c.restored && window == c.value;
      EXPECT_EQ(restored, !IsIconic(window)) << (window == dialog ? "the first instance's dialog" : "a test window")
                                             << (restored ? " was not restored" : " was restored");
    }
    EXPECT_FALSE(IsWindowVisible(mainWindow)) << "the first instance's hidden main window was shown";
    ShowWindow(mainWindow, SW_HIDE);  // as it was, for the next case
    EXPECT_TRUE(first.Running());
  }
  CloseAndExpectExit(first, dialog);
}

TEST_F(ReaderStart, StartAfterAKilledInstanceWorks) {
  InstallAllModules();
  // Keeping the image mapped keeps the shared section, so the killed instance's handle stays
  // in it: the next start must see that it no longer names a window.
  SharedSectionView shared(Program());
  HWND killedDialog = nullptr;
  {
    ReaderProcess killed;
    ASSERT_TRUE(killed.Start(folder.Path()));
    killedDialog = killed.WaitForDialog();
    ASSERT_NE(nullptr, killedDialog);
    if (shared.Found()) {
      EXPECT_TRUE(killed.WaitUntil([&] { return shared.Value() == killedDialog; })) << shared.Value();
    }
    killed.Kill();  // the mutex is abandoned
  }
  EXPECT_FALSE(IsWindow(killedDialog));
  if (shared.Found()) {
    EXPECT_EQ(killedDialog, shared.Value()) << "stale handle expected in the section";
  }

  ReaderProcess next;
  ASSERT_TRUE(next.Start(folder.Path()));
  HWND dialog = next.WaitForDialog();
  ASSERT_NE(nullptr, dialog) << "no dialog after an abandoned mutex";
  if (shared.Found()) {
    EXPECT_TRUE(next.WaitUntil([&] { return shared.Value() == dialog; })) << shared.Value();
  }
  CloseAndExpectExit(next, dialog);
}

TEST_F(ReaderStart, WithoutAnyUsableModuleTheErrorBoxEndsTheStart) {
  // No module at all.
  {
    ReaderProcess reader;
    ASSERT_TRUE(reader.Start(folder.Path()));
    ExpectErrorBox(reader, kEnglishCaption, kEnglishText);
  }
  // The named module and the English one both belong to the previous release.
  InstallModule(reader_test::TestModule(L"english_1_0_12"), L"english");
  InstallModule(reader_test::TestModule(L"polish_1_0_12"), L"polish");
  ASSERT_TRUE(makerLanguage.SetString(L"polish"));
  {
    ReaderProcess reader;
    ASSERT_TRUE(reader.Start(folder.Path()));
    ExpectErrorBox(reader, kEnglishCaption, kEnglishText);
  }
}

// A module that passes the version test but whose template 582 is missing or lacks a control
// the skin uses cannot show the dialog: refused like a module of another version, it ends the
// start as no module does, and the next start of a good reader is not kept out by the mutex.
TEST_F(ReaderStart, AModuleThatCannotShowTheDialogEndsTheStartAndLeavesTheNextStartFree) {
  for (const wchar_t* broken : {L"polish_no_main_dialog", L"polish_no_lexicon_button"}) {
    SCOPED_TRACE(Narrow(broken));
    InstallModule(reader_test::TestModule(broken), L"english");
    ReaderProcess reader;
    ASSERT_TRUE(reader.Start(folder.Path()));
    ExpectErrorBox(reader, kEnglishCaption, kEnglishText);

    InstallModule(reader_test::BuiltModule(L"english"), L"english");
    ReaderProcess next;
    ASSERT_TRUE(next.Start(folder.Path()));
    HWND dialog = next.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << "the next start shows no dialog";
    CloseAndExpectExit(next, dialog);
  }
}

// The dialog waits for the speech thread at its start: a thread that ended before it was ready
// (its start threw) must end the start, not leave an invisible reader waiting for ever.
TEST_F(ReaderStart, ASpeechThreadThatDiesAtItsStartEndsTheStart) {
  InstallAllModules();
  {
    reader_test::ScopedFault fault(L"speech_thread_start");
    ReaderProcess reader;
    ASSERT_TRUE(reader.Start(folder.Path()));
    ExpectFailedStartEnds(reader);
  }
  ReaderProcess next;
  ASSERT_TRUE(next.Start(folder.Path()));
  HWND dialog = next.WaitForDialog();
  ASSERT_NE(nullptr, dialog) << "the next start shows no dialog";
  CloseAndExpectExit(next, dialog);
}

// Fault: a start that ended after its speech thread was up (the main window or the dialog could
// not be made) shut that thread down with the ordinary close, which saved "first" and the voice
// it held: none was chosen yet, so the next start lost the user's voice. Such a start has chosen
// nothing, and every stored setting stays as it was.
TEST_F(ReaderStart, AStartThatFailsAfterTheSpeechThreadIsUpWritesNoSettings) {
  InstallAllModules();
  reader_test::ScopedRegValue first(kAppKey, L"first"), voice(kAppKey, L"cur_voice"), volume(kAppKey, L"cur_volume"),
      speed(kAppKey, L"cur_speed");
  ASSERT_TRUE(first.SetDword(0) && voice.SetDword(1) && volume.SetDword(37) && speed.SetDword(4));
  for (const wchar_t* point : {L"main_window_create", L"dialog_start"}) {
    SCOPED_TRACE(Narrow(point));
    {
      reader_test::ScopedFault fault(point);
      ReaderProcess reader;
      ASSERT_TRUE(reader.Start(folder.Path()));
      ExpectFailedStartEnds(reader);
    }
    struct Stored {
      const wchar_t* name;
      DWORD value;
    } stored[] = {{L"first", 0}, {L"cur_voice", 1}, {L"cur_volume", 37}, {L"cur_speed", 4}};
    for (const Stored& s : stored) {
      DWORD value = 0xDEAD;
      EXPECT_TRUE(reader_test::ReadDword(kAppKey, s.name, value) && value == s.value)
          << Narrow(s.name) << " is " << Hex(value) << " after the failed start, was " << s.value;
    }
  }
}

// Which module a start used, told by a text of its dialog.
std::wstring VoiceLinkText(HWND dialog) { return WindowText(GetDlgItem(dialog, IDC_VOICE_LINK)); }

TEST_F(ReaderStart, ModuleChoiceByNameVersionAndFallback) {
  InstallModule(reader_test::BuiltModule(L"english"), L"english");
  struct Case {
    const wchar_t* language;      // "language" under the maker key
    const wchar_t* polishModule;  // installed as lang\polish.dll; nullptr: none
    const wchar_t* expectedLink;
  } cases[] = {
      {L"german", nullptr, L"More voices"},                      // missing module: English, silently
      {L"polish", L"polish_1_0_12", L"More voices"},             // previous release: refused
      {L"polish", L"polish_1_0_13_7", L"Więcej głosów"},         // a later build: accepted
      {L"polish", L"polish_no_main_dialog", L"More voices"},     // no dialog to show: refused
      {L"polish", L"polish_no_lexicon_button", L"More voices"},  // a skinned control missing: refused
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(makerLanguage.SetString(c.language));
    DeleteFileW((folder.Path() + L"lang\\polish.dll").c_str());
    if (c.polishModule) InstallModule(reader_test::TestModule(c.polishModule), L"polish");

    ReaderProcess reader;
    ASSERT_TRUE(reader.Start(folder.Path()));
    HWND dialog = reader.WaitForDialog();
    if (dialog == nullptr) {
      ADD_FAILURE() << Narrow(c.polishModule ? c.polishModule : c.language) << ": no dialog";
      continue;
    }
    EXPECT_EQ(c.expectedLink, VoiceLinkText(dialog)) << Narrow(c.language);
    EXPECT_EQ(nullptr, FindWindowOf(reader.Pid(), L"#32770", kEnglishCaption, false)) << "no box expected";
    CloseAndExpectExit(reader, dialog);
  }
}

TEST_F(ReaderStart, ClosingEndsOnlyAfterTheSpeechSettingsAreSaved) {
  InstallAllModules();
  // The installer makes the application key; the reader only writes into it.
  reader_test::ScopedRegValue first(kAppKey, L"first");
  reader_test::ScopedRegValue voice(kAppKey, L"cur_voice");
  reader_test::ScopedRegValue volume(kAppKey, L"cur_volume");
  reader_test::ScopedRegValue speed(kAppKey, L"cur_speed");
  ASSERT_TRUE(first.Remove() && voice.Remove());

  ReaderProcess reader;
  ASSERT_TRUE(reader.Start(folder.Path()));
  HWND dialog = reader.WaitForDialog();
  ASSERT_NE(nullptr, dialog);
  DWORD value = 0xDEAD;
  EXPECT_FALSE(reader_test::ReadDword(kAppKey, L"first", value)) << "saved before the end: " << value;

  CloseAndExpectExit(reader, dialog);
  EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"first", value)) << "\"first\" not saved";
  EXPECT_EQ(0u, value);
  EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"cur_voice", value)) << "\"cur_voice\" not saved";
}

// Run by ctest with LC_ALL=pl_PL.UTF-8, which makes the system language Polish (1045).
TEST(PolishSystem, NoLanguageValueShowsThePolishBox) {
  ASSERT_EQ(1045, GetSystemDefaultLangID()) << "the environment does not make the system Polish";
  reader_test::ScopedRegValue makerLanguage(kMakerKey, L"language");
  reader_test::ScopedRegValue appLanguage(kAppKey, L"language");
  ASSERT_TRUE(makerLanguage.Remove() && appLanguage.Remove());
  reader_test::TempFolder folder;
  ASSERT_TRUE(folder.Copy(reader_test::BuiltProgram(), kProgramName));
  ASSERT_TRUE(folder.Copy(reader_test::BuiltModule(L"polish"), L"lang\\polish.dll"));

  ReaderProcess reader;
  ASSERT_TRUE(reader.Start(folder.Path()));
  HWND box = reader.WaitForWindow([](DWORD pid) { return FindWindowOf(pid, L"#32770", kPolishCaption, true); });
  ASSERT_NE(nullptr, box) << "no Polish box";
  EXPECT_EQ(kPolishText, WindowText(GetDlgItem(box, 0xFFFF)));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), reader.WaitForExit(kStartTimeoutMs));
}

}  // namespace
