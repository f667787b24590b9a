// The reader's main road, end to end and across processes: the program started as a user
// starts it, with the fake SAPI engine and two voices; a text selected in another program; the
// read hot key pressed and released through injected input. The engine must be asked to speak
// exactly the selected text with the voice, volume and rate saved in the registry, the dialog
// must show that it speaks while the stream runs, and go back to idle after the stream's end.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeSapiControl.h"
#include "ReaderTestSupport.h"
#include "StartedProgram.h"
#include "resource.h"
#include "TextSource.h"

using reader_test::Hex;
using reader_test::kAppKey;
using reader_test::kMakerKey;
using reader_test::kProgramName;
using reader_test::Narrow;
using reader_test::ScopedRegValue;

namespace {

const wchar_t kHotKeyKey[] = L"SOFTWARE\\Orvel\\Orvel Murmelin\\HotKey_Read";
// Safety nets only: a first start in a fresh prefix and a loaded machine are slow; each step
// here takes milliseconds to a second.
const DWORD kBoundMs = 60000;

std::wstring WindowText(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

bool PumpUntil(const std::function<bool()>& condition) { return reader_test::PumpUntil(condition, kBoundMs); }

HWND VisibleWindowOf(DWORD pid, const wchar_t* className, const wchar_t* title) {
  return orv_testing::FindVisibleWindow(pid, className, title);
}

void Key(WORD vk, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  ASSERT_EQ(1u, SendInput(1, &input, sizeof(INPUT))) << "SendInput refused, error " << GetLastError();
}

std::wstring ModuleString(HMODULE module, UINT id) {
  wchar_t text[256] = {};
  LoadStringW(module, id, text, 256);
  return text;
}

bool IsSpeak(const fakesapi::Call& call) { return call.name == L"Speak" || call.name == L"SpeakStream"; }

BOOL CALLBACK CollectTopLevelWindowOf(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == found->first) found->second.push_back(hwnd);
  return TRUE;
}

// Every top-level window of the process, hidden ones included.
std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
  std::pair<DWORD, std::vector<HWND>> found{pid, {}};
  EnumWindows(CollectTopLevelWindowOf, reinterpret_cast<LPARAM>(&found));
  return found.second;
}

// A slider moved as the user moves it: the new position, then the scroll that ends the move.
void MoveSlider(HWND dialog, int id, int position) {
  HWND slider = GetDlgItem(dialog, id);
  ASSERT_NE(nullptr, slider) << "no slider " << id;
  SendMessageW(slider, TBM_SETPOS, TRUE, position);
  SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(slider));
}

// One saved value of the reader's application key.
struct Saved {
  const wchar_t* name;
  DWORD value;
};

void ExpectSaved(std::initializer_list<Saved> expected) {
  for (const Saved& e : expected) {
    DWORD saved = 0xDEAD;
    EXPECT_TRUE(reader_test::ReadDword(kAppKey, e.name, saved) && saved == e.value)
        << Narrow(e.name) << " saved as " << saved << ", expected " << e.value;
  }
}

void ExpectSavedPosition(int x, int y) {
  int savedX = -1, savedY = -1;
  EXPECT_TRUE(reader_test::ReadBinaryInt(kAppKey, L"posx", savedX) &&
              reader_test::ReadBinaryInt(kAppKey, L"posy", savedY));
  EXPECT_EQ(x, savedX);
  EXPECT_EQ(y, savedY);
}

// The end of the session as the system sends it at a log-off: the query to every top-level window
// of the process, hidden ones included, then the end to each. `boundMs` is a safety net for each
// send; a window that never answers fails the test.
void EndSession(DWORD pid, DWORD boundMs) {
  const std::vector<HWND> windows = TopLevelWindowsOf(pid);
  ASSERT_FALSE(windows.empty());
  for (HWND window : windows) {
    DWORD_PTR answer = 0;
    ASSERT_NE(0, SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, boundMs, &answer))
        << "window " << Hex(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window))) << ", error "
        << GetLastError();
    EXPECT_EQ(TRUE, static_cast<BOOL>(answer)) << "a window refused the end of the session";
  }
  const ULONGLONG ending = GetTickCount64();
  for (HWND window : windows) {
    DWORD_PTR answer = 0;
    ASSERT_NE(0, SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, boundMs, &answer))
        << "WM_ENDSESSION did not return, error " << GetLastError();
  }
  printf("WM_ENDSESSION to %u windows took %lu ms\n", static_cast<unsigned>(windows.size()),
         static_cast<unsigned long>(GetTickCount64() - ending));
}

class MainRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(fakesapi::EnsureRegistered())) << "the fake SAPI server cannot be registered";
    ASSERT_TRUE(folder.Copy(reader_test::BuiltProgram(), kProgramName));
    ASSERT_TRUE(folder.Copy(reader_test::BuiltModule(L"english"), L"lang\\english.dll"));
    module = LoadLibraryExW(reader_test::BuiltModule(L"english").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "english.dll, error " << GetLastError();
    ASSERT_TRUE(language.SetString(L"english"));
    ASSERT_TRUE(appLanguage.Remove());
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }

  // Starts the reader with its engine's events, made while it is still suspended so that its
  // fake engine finds them, and waits for its main dialog.
  void StartReader(orv_testing::StartedProgram& reader, std::unique_ptr<fakesapi::ProcessEvents>& engine,
                   HWND& dialog) {
    ASSERT_TRUE(reader.Start(folder.Path() + kProgramName, L"", true)) << "error " << GetLastError();
    engine = std::make_unique<fakesapi::ProcessEvents>(reader.Pid());
    ASSERT_TRUE(engine->ok()) << "events of the reader's engine, error " << GetLastError();
    reader.Resume();
    ASSERT_TRUE(PumpUntil([&] { return (dialog = VisibleWindowOf(reader.Pid(), L"#32770", L"Orvel Murmelin")); }))
        << "the main dialog did not appear";
  }

  reader_test::TempFolder folder;
  HMODULE module = nullptr;
  ScopedRegValue language{kMakerKey, L"language"};
  ScopedRegValue appLanguage{kAppKey, L"language"};
  fakesapi::Session fake;
};

TEST_F(MainRoad, HotKeyReadsTheSelectionWithTheSavedVoiceVolumeAndRateThenIdle) {
  // Sorted by name, the list is Alpha (0), Beta (1); the saved voice is the second.
  fake.AddVoice({L"MainRoadAlpha", L"Alpha", L"Alpha", L"Other", L"409", {}, true});
  const std::wstring beta = fake.AddVoice({L"MainRoadBeta", L"Beta", L"Beta", L"Other", L"415", {}, true});
  // Each stream, once its words are out, ends only when the test lets it: the speaking state can
  // be looked at without a race.
  fake.SetHold(true);

  // What an earlier run and the installer left: not the first run, voice 1, volume 73, speed
  // 13 (rate 3), Ctrl+Shift+F9 as the read hot key, a capture bound far above what a copy takes,
  // and no Notepad fallback.
  ScopedRegValue first(kAppKey, L"first"), voice(kAppKey, L"cur_voice"), volume(kAppKey, L"cur_volume"),
      speed(kAppKey, L"cur_speed"), wait(kAppKey, L"wait"), notepadMode(kAppKey, L"notepad_mode"),
      fold(kAppKey, L"fold");
  ScopedRegValue alt(kHotKeyKey, L"alt"), ctrl(kHotKeyKey, L"ctrl"), shift(kHotKeyKey, L"shift"),
      keyCode(kHotKeyKey, L"key_code");
  ASSERT_TRUE(first.SetDword(0) && voice.SetDword(1) && volume.SetDword(73) && speed.SetDword(13) &&
              wait.SetDword(kBoundMs) && notepadMode.SetDword(0) && fold.SetDword(0));
  ASSERT_TRUE(alt.SetDword(0) && ctrl.SetDword(1) && shift.SetDword(1) && keyCode.SetDword(VK_F9));

  orv_testing::StartedProgram reader;
  std::unique_ptr<fakesapi::ProcessEvents> engine;
  HWND dialog = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartReader(reader, engine, dialog));
  HWND readButton = GetDlgItem(dialog, IDC_READ_BUTTON);
  HWND stopButton = GetDlgItem(dialog, IDC_STOP_BUTTON);
  ASSERT_TRUE(readButton && stopButton) << "the dialog lacks its read or stop button";
  const std::wstring readText = ModuleString(module, IDS_READ), pauseText = ModuleString(module, IDS_PAUSE);
  EXPECT_TRUE(PumpUntil([&] { return WindowText(readButton) == readText; })) << Narrow(WindowText(readButton));
  EXPECT_FALSE(IsWindowEnabled(stopButton)) << "stop is enabled before anything speaks";

  // The text source takes the focus after the reader started, as the user's program would.
  const std::wstring title = L"main road source " + std::to_wstring(GetCurrentProcessId());
  orv_testing::StartedProgram source;
  ASSERT_TRUE(source.Start(reader_test::TestFolder() + L"orv_text_source.exe", L" text \"" + title + L"\""))
      << "error " << GetLastError();
  HWND sourceWindow = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    sourceWindow = VisibleWindowOf(source.Pid(), L"OrvTextSource", title.c_str());
    return sourceWindow && GetForegroundWindow() == sourceWindow;
  })) << "the text source did not come to the front";

  Key(VK_CONTROL, true);
  Key(VK_SHIFT, true);
  Key(VK_F9, true);
  Key(VK_F9, false);
  Key(VK_SHIFT, false);
  Key(VK_CONTROL, false);

  fakesapi::Call speak;
  ASSERT_TRUE(fake.WaitForCall(IsSpeak, kBoundMs, &speak, engine->call.get()))
      << "the engine was never asked to speak; its calls:\n"
      << Narrow(fakesapi::Describe(fake.Calls()));
  // The speech framework hands a copy of the text on with one blank appended.
  EXPECT_EQ(std::wstring(text_source::kSelection) + L" ", speak.Field(L"text"));
  EXPECT_EQ(beta, speak.Field(L"voice"));
  EXPECT_EQ(73, speak.Number(L"volume"));
  EXPECT_EQ(3, speak.Number(L"rate"));
  EXPECT_EQ(1u, fake.Calls(speak.name).size()) << "one hot key, one speak";

  EXPECT_TRUE(PumpUntil([&] { return WindowText(readButton) == pauseText && IsWindowEnabled(stopButton); }))
      << "while speaking: read button \"" << Narrow(WindowText(readButton)) << "\", stop "
      << (IsWindowEnabled(stopButton) ? "enabled" : "disabled");

  SetEvent(engine->release.get());
  const long long stream = speak.Number(L"stream");
  EXPECT_TRUE(fake.WaitForCall(
      [&](const fakesapi::Call& c) { return c.name == L"StreamEnded" && c.Number(L"stream") == stream; }, kBoundMs,
      nullptr, engine->call.get()))
      << "the stream did not end";
  EXPECT_TRUE(PumpUntil([&] { return WindowText(readButton) == readText && !IsWindowEnabled(stopButton); }))
      << "after the end: read button \"" << Narrow(WindowText(readButton)) << "\", stop "
      << (IsWindowEnabled(stopButton) ? "enabled" : "disabled");

  PostMessageW(sourceWindow, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
  EXPECT_EQ(0u, reader.WaitForExit(kBoundMs)) << "the reader did not end cleanly";
  // What the run saved is what the user had chosen.
  ExpectSaved({{L"first", 0}, {L"cur_voice", 1}, {L"cur_volume", 73}, {L"cur_speed", 13}});
}

// Fault: nothing handled the end of the session. A reader left running until the user logs off
// is ended by the system after WM_ENDSESSION, and every setting of that run was lost, "first"
// included. The two messages are sent here as the system sends them at a log-off: the query to
// every top-level window of the process, then the end to each.
TEST_F(MainRoad, LogOffSavesTheRunsSettingsAndTheExitAfterItWritesOnlyWhatChanged) {
  fake.AddVoice({L"MainRoadAlpha", L"Alpha", L"Alpha", L"Other", L"409", {}, true});
  fake.AddVoice({L"MainRoadBeta", L"Beta", L"Beta", L"Other", L"415", {}, true});
  // A first run, with volume 73 and speed 5 left by an earlier one.
  ScopedRegValue first(kAppKey, L"first"), voice(kAppKey, L"cur_voice"), volume(kAppKey, L"cur_volume"),
      speed(kAppKey, L"cur_speed"), fold(kAppKey, L"fold"), posx(kAppKey, L"posx"), posy(kAppKey, L"posy"),
      notepadMode(kAppKey, L"notepad_mode");
  ASSERT_TRUE(first.Remove() && voice.Remove() && volume.SetDword(73) && speed.SetDword(5) && fold.SetDword(0) &&
              posx.Remove() && posy.Remove() && notepadMode.SetDword(0));

  orv_testing::StartedProgram reader;
  ASSERT_TRUE(reader.Start(folder.Path() + kProgramName)) << "error " << GetLastError();
  HWND dialog = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (dialog = VisibleWindowOf(reader.Pid(), L"#32770", L"Orvel Murmelin")); }))
      << "the main dialog did not appear";

  // The user's changes of this run: volume 40, rate 3, folded, and the strip moved.
  MoveSlider(dialog, IDC_VOLUME_SLIDER, 40);
  MoveSlider(dialog, IDC_SPEED_SLIDER, 30);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FOLD_BUTTON, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_FOLD_BUTTON)));
  ASSERT_TRUE(SetWindowPos(dialog, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  RECT placed = {};
  ASSERT_TRUE(GetWindowRect(dialog, &placed));
  ASSERT_TRUE(placed.left == 150 && placed.top == 120) << "the dialog is at " << placed.left << ", " << placed.top;

  ASSERT_NO_FATAL_FAILURE(EndSession(reader.Pid(), kBoundMs));
  // The system may end the process from here on: everything is in the registry already.
  ExpectSaved({{L"first", 0}, {L"cur_voice", 0}, {L"cur_volume", 40}, {L"cur_speed", 13}, {L"fold", 1}});
  ExpectSavedPosition(150, 120);

  // This process outlives the messages: what its exit writes after them is only what changed
  // since. The saved values are taken away to tell a second write from the first.
  ASSERT_TRUE(first.Remove() && voice.Remove() && volume.Remove() && speed.Remove() && fold.Remove() && posx.Remove() &&
              posy.Remove());
  MoveSlider(dialog, IDC_SPEED_SLIDER, -20);
  ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
  EXPECT_EQ(0u, reader.WaitForExit(kBoundMs)) << "the reader did not end cleanly";
  DWORD changed = 0xDEAD;
  EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"cur_speed", changed) && changed == 8)
      << "the speed changed after the log-off's save was lost: " << changed;
  for (const wchar_t* name : {L"first", L"cur_voice", L"cur_volume", L"fold", L"posx", L"posy"}) {
    DWORD unchanged = 0xDEAD;
    int position = 0;
    EXPECT_FALSE(reader_test::ReadDword(kAppKey, name, unchanged) ||
                 reader_test::ReadBinaryInt(kAppKey, name, position))
        << Narrow(name) << " was saved twice";
  }
}

// Fault: the save at the end of the session read the volume and rate back from the voice thread
// and waited for its answer without limit. A voice thread inside its engine's dialog (the
// lexicon button) answers nothing until the dialog closes, so WM_ENDSESSION never returned and
// the system would end the reader with the run's settings unsaved.
TEST_F(MainRoad, LogOffWithTheEnginesDialogOpenSavesWithoutWaitingForTheVoice) {
  fake.AddVoice({L"MainRoadAlpha", L"Alpha", L"Alpha", L"Other", L"409", {L"AddRemoveWord"}, true});
  fake.AddVoice({L"MainRoadBeta", L"Beta", L"Beta", L"Other", L"415", {L"AddRemoveWord"}, true});
  // An earlier run left voice 1, volume 73, speed 5 and the strip folded.
  ScopedRegValue first(kAppKey, L"first"), voice(kAppKey, L"cur_voice"), volume(kAppKey, L"cur_volume"),
      speed(kAppKey, L"cur_speed"), fold(kAppKey, L"fold"), posx(kAppKey, L"posx"), posy(kAppKey, L"posy"),
      notepadMode(kAppKey, L"notepad_mode");
  ASSERT_TRUE(first.SetDword(0) && voice.SetDword(1) && volume.SetDword(73) && speed.SetDword(5) && fold.SetDword(1) &&
              posx.Remove() && posy.Remove() && notepadMode.SetDword(0));

  orv_testing::StartedProgram reader;
  std::unique_ptr<fakesapi::ProcessEvents> engine;
  HWND dialog = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartReader(reader, engine, dialog));

  // The user unfolds the strip, sets volume 40 and rate 3, moves the strip and opens the
  // lexicon: the engine's dialog now holds the voice thread.
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FOLD_BUTTON, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_FOLD_BUTTON)));
  MoveSlider(dialog, IDC_VOLUME_SLIDER, 40);
  MoveSlider(dialog, IDC_SPEED_SLIDER, 30);
  ASSERT_TRUE(SetWindowPos(dialog, nullptr, 170, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  HWND lexicon = GetDlgItem(dialog, IDC_LEXICON_BUTTON);
  ASSERT_TRUE(lexicon && IsWindowVisible(lexicon)) << "no lexicon button on the unfolded strip";
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_LEXICON_BUTTON, BN_CLICKED), reinterpret_cast<LPARAM>(lexicon));
  fakesapi::Call shown;
  ASSERT_TRUE(
      fake.WaitForCall([](const fakesapi::Call& c) { return c.name == L"DisplayUI" && !c.Field(L"dialog").empty(); },
                       kBoundMs, &shown, engine->call.get()))
      << "the engine's dialog did not open; its calls:\n"
      << Narrow(fakesapi::Describe(fake.Calls()));
  HWND engineDialog = reinterpret_cast<HWND>(static_cast<UINT_PTR>(shown.Number(L"dialog", 0)));
  ASSERT_TRUE(IsWindow(engineDialog));

  // The log-off, the engine's dialog among the windows it reaches. The bound is only a safety
  // net: a handler that waits for the voice never returns at all.
  ASSERT_NO_FATAL_FAILURE(EndSession(reader.Pid(), 30000));
  ExpectSaved({{L"first", 0}, {L"cur_voice", 1}, {L"cur_volume", 40}, {L"cur_speed", 13}, {L"fold", 0}});
  ExpectSavedPosition(170, 110);

  // The user closes the engine's dialog, then the reader, which still ends cleanly.
  ASSERT_TRUE(PostMessageW(engineDialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
  EXPECT_TRUE(fake.WaitForCall([](const fakesapi::Call& c) { return c.name == L"DialogClosed"; }, kBoundMs, nullptr,
                               engine->call.get()))
      << Narrow(fakesapi::Describe(fake.Calls()));
  ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
  EXPECT_EQ(0u, reader.WaitForExit(kBoundMs)) << "the reader did not end cleanly";
}

}  // namespace
