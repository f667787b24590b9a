// The reader's main dialog in the test's own process, against a speech thread of the test with
// the fake SAPI server: the settings it starts with, the voice list, the reading states through
// the framework's real notifications, the read hot key pressed by injected input, folding,
// placement on the monitor, and the web addresses it opens.
#include <gtest/gtest.h>

#include "OrvelParlonVeskDlg.h"  // windows.h first

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeSapiControl.h"
#include "LanguageTable.h"
#include "ReaderTestSupport.h"
#include "Settings.h"
#include "SpeechTestSupport.h"
#include "TextSourceProcess.h"
#include "ThSpeechControl.h"
#include "TextSource.h"

using reader_test::Narrow;
using reader_test::ScopedRegValue;

// Points and rectangles in failure messages.
void PrintTo(const CPoint& p, std::ostream* out) { *out << "(" << p.x << ", " << p.y << ")"; }
void PrintTo(const CRect& r, std::ostream* out) {
  *out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

constexpr DWORD kBoundMs = 30000;  // safety net for what takes milliseconds
constexpr const wchar_t* kAppKey = reader_settings::kAppKey;

// GDI+, the common controls and the English module as the resource module, for every test.
class DialogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&m_gdiplus, &input, nullptr));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    m_module = std::make_unique<reader_test::ResourceModule>(L"english");
    ASSERT_TRUE(m_module->ok());
  }
  void TearDown() override {
    m_module.reset();
    if (m_gdiplus) Gdiplus::GdiplusShutdown(m_gdiplus);
  }

 private:
  ULONG_PTR m_gdiplus = 0;
  std::unique_ptr<reader_test::ResourceModule> m_module;
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new DialogEnvironment);

std::wstring ModuleText(UINT id) {
  CString text;
  text.LoadString(id);
  return text.GetString();
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

CRect ClientRectOf(HWND dialog, int id) {
  CRect r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

struct Opened {
  HWND owner;
  std::wstring verb;
  std::wstring file;
};

struct Box {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT type;
  size_t openedBefore;  // what had been opened when the box came up
};

struct Note {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Note& o) const { return message == o.message && wParam == o.wParam && lParam == o.lParam; }
};

std::ostream& operator<<(std::ostream& out, const Note& n) {
  return out << speech_test::NoteName(n.message) << "(" << static_cast<long long>(n.wParam) << ", "
             << static_cast<long long>(n.lParam) << ")";
}

// A non-maker voice "<name>" of token key "T<n><name>", in US English unless said.
fakesapi::VoiceSpec OtherVoice(int n, const std::wstring& name, const std::wstring& language = L"409") {
  return {L"T" + std::to_wstring(n) + name, name, name, L"Other", language, {L"AddRemoveWord"}, true};
}

class ReaderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, fakesapi::EnsureRegistered());
    for (ScopedRegValue* v : {&first, &voice, &volume, &speed, &posx, &posy, &fold, &notepad, &wait})
      ASSERT_TRUE(v->ok());
    // Not the first run, nothing else stored, no Notepad fallback.
    ASSERT_TRUE(first.SetDword(0) && voice.Remove() && volume.Remove() && speed.Remove() && posx.Remove() &&
                posy.Remove() && fold.Remove() && notepad.SetDword(0) && wait.SetDword(2000));
    CSelReaderDlg::SetLastFocusWnd(nullptr);
  }
  void TearDown() override { Close(); }

  // Starts a speech thread and the dialog as the application does, with the dialog's shell
  // recording what it would open and show.
  void Open() {
    control = std::make_unique<speech_test::ControlThread>();
    ASSERT_TRUE(control->Started());
    // The helper took the thread's one ready signal; the dialog waits for it as well.
    control->thread()->m_readyEvent.SetEvent();
    dialog = std::make_unique<COrvelParlonVeskDlg>(control->thread());
    dialog->m_shell.open = [this](HWND owner, const wchar_t* verb, const std::wstring& file) {
      opened.push_back({owner, verb ? verb : L"", file});
    };
    dialog->m_shell.messageBox = [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
      boxes.push_back({owner, text, caption, type, opened.size()});
      return IDOK;
    };
    ASSERT_TRUE(dialog->Create(COrvelParlonVeskDlg::IDD));
    dialog->ShowWindow(SW_SHOWNOACTIVATE);
    hwnd = dialog->m_hWnd;
  }

  // Destroys the dialog, then ends the speech thread, which saves the speech settings.
  void Close() {
    if (dialog) {
      if (dialog->m_hWnd) dialog->DestroyWindow();
      dialog.reset();
    }
    if (control) {
      EXPECT_TRUE(control->Stop()) << "the speech thread did not end";
      control.reset();
    }
    hwnd = nullptr;
  }

  // Pumps this thread's messages until done() holds, recording the speech notifications that
  // reach the dialog; false after the bound.
  bool Pump(const std::function<bool()>& done, DWORD boundMs = kBoundMs) {
    return reader_test::PumpUntil(done, boundMs, [this](const MSG& msg) {
      if (hwnd && msg.hwnd == hwnd && msg.message >= WM_SPEECH_STARTED && msg.message <= WM_SPEECH_PAUSE_CHANGED)
        notes.push_back({msg.message, msg.wParam, msg.lParam});
    });
  }
  bool PumpUntilNote(UINT message) {
    return Pump([&] {
      for (const Note& n : notes)
        if (n.message == message) return true;
      return false;
    });
  }

  void Command(int id, WORD code = BN_CLICKED) {
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
  }
  HWND Item(int id) const { return GetDlgItem(hwnd, id); }
  int ComboSelectionData() const {
    const LRESULT item = SendMessageW(Item(IDC_VOICE_COMBO), CB_GETCURSEL, 0, 0);
    return item < 0 ? -1 : static_cast<int>(SendMessageW(Item(IDC_VOICE_COMBO), CB_GETITEMDATA, item, 0));
  }
  LRESULT CurrentVoice() const { return control->Send(WM_SPEECH_GET_VOICE); }

  fakesapi::Session fake;
  ScopedRegValue first{kAppKey, L"first"};
  ScopedRegValue voice{kAppKey, L"cur_voice"};
  ScopedRegValue volume{kAppKey, L"cur_volume"};
  ScopedRegValue speed{kAppKey, L"cur_speed"};
  ScopedRegValue posx{kAppKey, L"posx"};
  ScopedRegValue posy{kAppKey, L"posy"};
  ScopedRegValue fold{kAppKey, L"fold"};
  ScopedRegValue notepad{kAppKey, L"notepad_mode"};
  ScopedRegValue wait{kAppKey, L"wait"};
  std::vector<Opened> opened;
  std::vector<Box> boxes;
  std::vector<Note> notes;
  std::unique_ptr<speech_test::ControlThread> control;
  std::unique_ptr<COrvelParlonVeskDlg> dialog;
  HWND hwnd = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Start-up settings.

TEST_F(ReaderDialogTest, VolumeAndSpeedFromTheRegistryReachBothTheSlidersAndTheSpeech) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  constexpr int kMissing = -1;
  struct Case {
    long long storedVolume, storedSpeed;  // kMissing: no value
    int volume, rate;                     // what the client, the sliders and the engine get
  };
  const Case cases[] = {
      {kMissing, kMissing, 100, 0},
      {35, 13, 35, 3},
      {0, 0, 0, -10},
      {100, 20, 100, 10},
      // Out of range: the defaults for the slider and the speech alike.
      {101, 25, 100, 0},
      {0xFFFFFFF0, 21, 100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stored volume " + std::to_string(c.storedVolume) + ", speed " + std::to_string(c.storedSpeed));
    ASSERT_TRUE(c.storedVolume == kMissing ? volume.Remove() : volume.SetDword(static_cast<DWORD>(c.storedVolume)));
    ASSERT_TRUE(c.storedSpeed == kMissing ? speed.Remove() : speed.SetDword(static_cast<DWORD>(c.storedSpeed)));
    Open();
    EXPECT_EQ(c.volume, dialog->Client().volume);
    EXPECT_EQ(c.rate, dialog->Client().rate);
    EXPECT_EQ(c.volume, SendMessageW(Item(IDC_VOLUME_SLIDER), TBM_GETPOS, 0, 0));
    EXPECT_EQ(c.rate * 10, SendMessageW(Item(IDC_SPEED_SLIDER), TBM_GETPOS, 0, 0));

    const size_t before = fake.Calls(L"SpeakStream").size();
    dialog->OnTextCaptured(L"settings");
    ASSERT_TRUE(fake.WaitForCalls(L"SpeakStream", before + 1, kBoundMs));
    const fakesapi::Call spoken = fake.Calls(L"SpeakStream").back();
    EXPECT_EQ(c.volume, spoken.Number(L"volume")) << fakesapi::Describe({spoken});
    EXPECT_EQ(c.rate, spoken.Number(L"rate")) << fakesapi::Describe({spoken});
    Close();
    DWORD saved = 0;
    EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"cur_volume", saved));
    EXPECT_EQ(static_cast<DWORD>(c.volume), saved) << "the saved volume is not the one in use";
    EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"cur_speed", saved));
    EXPECT_EQ(static_cast<DWORD>(c.rate + 10), saved) << "the saved speed is not the one in use";
  }
}

// ---------------------------------------------------------------------------------------------
// The voice list.

TEST_F(ReaderDialogTest, VoiceListItemsTooltipsAndTheVoiceChosenAtStart) {
  // Two maker voices (one in the system's language), two voices of another vendor and a token
  // without attributes, which ends the enumeration: its entry stays invalid and sorts before
  // the other vendor's voices (it has no name). Tokens are enumerated by key name.
  const LANGID systemLanguage = GetSystemDefaultLangID();
  wchar_t systemLanguageText[8];
  swprintf(systemLanguageText, 8, L"%x", systemLanguage);
  speech_test::ScopedKey agataProduct(HKEY_LOCAL_MACHINE, L"Software\\Orvel\\Orvel Vokant\\Agata22");
  ASSERT_EQ(ERROR_SUCCESS, agataProduct.SetString(L"Version", L"1.2.3"));
  fake.AddVoice({L"Orvel Vokant Agata22", L"Agata", L"Agata", L"Orvel Software", L"415", {}, true});
  fake.AddVoice({L"Orvel Vokant Kacper16", L"Kacper", L"Kacper", L"Orvel Software", systemLanguageText, {}, true});
  fake.AddVoice(OtherVoice(1, L"Zeta"));
  fake.AddVoice(OtherVoice(2, L"Anna", L"40c"));
  fake.AddVoice({L"T9Broken", L"", L"", L"", L"", {}, false});
  // The list: 0 Agata, 1 Kacper, 2 invalid, 3 Anna, 4 Zeta.

  struct Case {
    const char* what;
    bool firstRun;
    long long storedVoice;  // -1: none stored
    int expectedVoice;      // list index
  };
  const Case cases[] = {
      {"stored voice after an invalid entry", false, 4, 4},
      {"stored voice that is the invalid entry", false, 2, 0},
      {"stored voice beyond the list", false, 9, 0},
      {"nothing stored", false, -1, 0},
      {"first run: the maker voice of the system's language", true, 4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.firstRun ? first.Remove() : first.SetDword(0));
    ASSERT_TRUE(c.storedVoice < 0 ? voice.Remove() : voice.SetDword(static_cast<DWORD>(c.storedVoice)));
    Open();
    std::deque<VoiceInfo> list;
    VTTSFramework::CThSpeechControl::GetVoiceList(control->thread(), list);
    ASSERT_EQ(5u, list.size());
    ASSERT_EQ(L"Agata", list[0].name);
    ASSERT_EQ(L"Kacper", list[1].name);
    ASSERT_FALSE(list[2].valid);
    ASSERT_EQ(L"Zeta", list[4].name);
    EXPECT_EQ(c.expectedVoice, dialog->Client().voiceIndex);
    EXPECT_EQ(c.expectedVoice, CurrentVoice());
    EXPECT_EQ(c.expectedVoice, ComboSelectionData());
    // The first run explains itself with the usage hint, shown until the user closes it.
    EXPECT_EQ(c.firstRun ? 1 : 0, dialog->Hint().HintType());
    EXPECT_EQ(c.firstRun, dialog->Hint().m_hWnd && IsWindowVisible(dialog->Hint().m_hWnd));

    if (&c == &cases[0]) {
      // One item per valid voice, in list order, each with its tooltip.
      const std::wstring format = ModuleText(IDS_VOICE_TIP_SAPI5);
      auto tip = [&](const VoiceInfo& v, const std::wstring& edition, UINT label) {
        CString t;
        t.Format(format.c_str(), v.tokenId.c_str(), v.name.c_str(), v.vendor.c_str(), edition.c_str());
        return std::wstring(t.GetString()) + L"\n\n" + ModuleText(label);
      };
      const std::wstring maker = ModuleText(IDS_EDITION_MAKER) + L" (" + ModuleText(IDS_EDITION_TYPE2) + L")";
      std::wstring systemCode = LangIdToIsoCode(systemLanguage) ? LangIdToIsoCode(systemLanguage) : L"";
      for (wchar_t& ch : systemCode) ch = static_cast<wchar_t>(towupper(ch));
      struct ExpectedItem {
        int data;
        std::wstring text;
        std::wstring tip;
      };
      const std::vector<ExpectedItem> expected = {
          {0, L"Agata (PL)", tip(list[0], maker, IDS_LABEL_TYPE2)},
          {1, L"Kacper (" + systemCode + L")", tip(list[1], maker, IDS_LABEL_TYPE2)},
          {3, L"Anna (FR)", tip(list[3], ModuleText(IDS_EDITION_OTHER), IDS_LABEL_OTHER)},
          {4, L"Zeta (EN)", tip(list[4], ModuleText(IDS_EDITION_OTHER), IDS_LABEL_OTHER)},
      };
      HWND combo = Item(IDC_VOICE_COMBO);
      ASSERT_EQ(static_cast<LRESULT>(expected.size()), SendMessageW(combo, CB_GETCOUNT, 0, 0));
      auto* tips = static_cast<CTTComboBox*>(CWnd::FromHandlePermanent(combo));
      ASSERT_NE(nullptr, tips);
      ASSERT_EQ(expected.size(), tips->ItemTips().size());
      for (size_t i = 0; i < expected.size(); ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(expected[i].text, text) << "item " << i;
        EXPECT_EQ(expected[i].data, SendMessageW(combo, CB_GETITEMDATA, i, 0)) << "item " << i;
        EXPECT_EQ(expected[i].tip, tips->ItemTips()[i]) << "item " << i << ": " << Narrow(tips->ItemTips()[i]);
      }
      EXPECT_TRUE(list[0].tokenId.find(L"Orvel Vokant Agata22") != std::wstring::npos) << Narrow(list[0].tokenId);
    }
    Close();
    DWORD saved = 0;
    EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"cur_voice", saved));
    EXPECT_EQ(static_cast<DWORD>(c.expectedVoice), saved) << "the voice saved at the end is not the one in use";
  }
}

// ---------------------------------------------------------------------------------------------
// Reading.

// What the dialog shows of the reading state.
struct ReadState {
  bool idle;
  std::wstring readText;
  int glyph;  // the read button's looks: read or pause
  bool stopEnabled;
  bool listEnabled;
  size_t boxes;
  bool operator==(const ReadState& o) const {
    return idle == o.idle && readText == o.readText && glyph == o.glyph && stopEnabled == o.stopEnabled &&
           listEnabled == o.listEnabled && boxes == o.boxes;
  }
};

std::ostream& operator<<(std::ostream& out, const ReadState& s) {
  return out << "{idle " << s.idle << ", read \"" << Narrow(s.readText) << "\", glyph " << s.glyph << ", stop "
             << s.stopEnabled << ", list " << s.listEnabled << ", boxes " << s.boxes << "}";
}

TEST_F(ReaderDialogTest, ReadingFollowsTheFrameworksNotifications) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  fake.AddVoice(OtherVoice(2, L"Beata"));
  const std::wstring celina = fake.AddVoice(OtherVoice(3, L"Celina"));
  fake.SetHold(true);  // a stream ends when the test lets it, or when it is purged
  Open();
  ASSERT_TRUE(PumpUntilNote(WM_SPEECH_VOICE_READY)) << "the voice chosen at start never got ready";

  const std::wstring read = ModuleText(IDS_READ), pause = ModuleText(IDS_PAUSE);
  const int R = COrvelParlonVeskDlg::kReadGlyphLeft, P = COrvelParlonVeskDlg::kPauseGlyphLeft;
  const WPARAM speakFailed = static_cast<WPARAM>(TTSERR_SPEAK_FAILED);
  const WPARAM voiceNotFound = static_cast<WPARAM>(TTSERR_VOICE_NOT_FOUND);
  const auto callSeen = [this](const wchar_t* name) { return [this, name] { return fake.WaitForCall(name, 0); }; };
  struct Step {
    const char* what;
    std::function<void()> act;
    std::function<bool()> done;  // besides the notifications having come
    std::vector<Note> notes;
    ReadState state;
  };
  const Step steps[] = {
      {"speak",
       [&] { dialog->OnTextCaptured(L"one two"); },
       nullptr,
       {{WM_SPEECH_STARTED, 0, 0}, {WM_SPEECH_WORD, 0, 3}, {WM_SPEECH_WORD, 4, 3}},
       {false, pause, P, true, true, 0}},
      {"read pauses", [&] { Command(IDC_READ_BUTTON); }, callSeen(L"Pause"), {}, {false, pause, R, true, true, 0}},
      {"read resumes", [&] { Command(IDC_READ_BUTTON); }, callSeen(L"Resume"), {}, {false, pause, P, true, true, 0}},
      // The stop purges with an empty stream of its own, which must not be held.
      {"stop",
       [&] {
         fake.SetHold(false);
         Command(IDC_STOP_BUTTON);
       },
       nullptr,
       {{WM_SPEECH_FINISHED, 0, 0}},
       {true, read, R, false, true, 0}},
      {"speak to the end",
       [&] { dialog->OnTextCaptured(L"three"); },
       nullptr,
       {{WM_SPEECH_STARTED, 0, 0}, {WM_SPEECH_WORD, 0, 5}, {WM_SPEECH_FINISHED, 0, 0}},
       {true, read, R, false, true, 0}},
      {"speaking fails",
       [&] {
         fake.SetFailure(L"SpeakStream", E_FAIL, 1);
         dialog->OnTextCaptured(L"four");
       },
       nullptr,
       {{WM_SPEECH_ERROR, speakFailed, 0}},
       {true, read, R, false, true, 1}},
      {"the chosen voice is no longer installed",
       [&] {
         // The voice's thread enumerates the tokens when it starts: the last one is gone by then.
         const std::wstring prefix = L"HKEY_CURRENT_USER\\";
         ASSERT_EQ(0u, celina.find(prefix));
         ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, celina.substr(prefix.size()).c_str()));
         HWND combo = Item(IDC_VOICE_COMBO);
         SendMessageW(combo, CB_SETCURSEL, 2, 0);
         Command(IDC_VOICE_COMBO, CBN_SELCHANGE);
         EXPECT_FALSE(IsWindowEnabled(combo)) << "the list stays usable while the voice changes";
       },
       nullptr,
       {{WM_SPEECH_ERROR, voiceNotFound, 2}},
       {true, read, R, false, true, 2}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    notes.clear();
    step.act();
    EXPECT_TRUE(Pump([&] { return notes.size() >= step.notes.size() && (!step.done || step.done()); }))
        << "timed out; notifications so far: " << testing::PrintToString(notes) << "\n"
        << fakesapi::Describe(fake.Calls());
    EXPECT_EQ(step.notes, notes);
    const ReadState state{dialog->IsIdle(),
                          WindowText(Item(IDC_READ_BUTTON)),
                          dialog->ReadGlyph(),
                          IsWindowEnabled(Item(IDC_STOP_BUTTON)) != FALSE,
                          IsWindowEnabled(Item(IDC_VOICE_COMBO)) != FALSE,
                          boxes.size()};
    EXPECT_EQ(step.state, state);
  }
  // The boxes: owned by the dialog, with the module's caption and texts.
  const std::wstring caption = L"Orvel Murmelin - " + ModuleText(IDS_VOICE_ERROR_CAPTION);
  ASSERT_EQ(2u, boxes.size());
  const UINT texts[] = {IDS_SPEAK_FAILED, IDS_VOICE_NOT_FOUND};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(hwnd, boxes[i].owner);
    EXPECT_EQ(ModuleText(texts[i]), boxes[i].text);
    EXPECT_EQ(caption, boxes[i].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes[i].type);
  }
  // Every text went out once, with the flags of a read request.
  const auto spoken = fake.Calls(L"SpeakStream");
  std::vector<std::wstring> spokenTexts;
  for (const fakesapi::Call& c : spoken) spokenTexts.push_back(c.Field(L"text"));
  EXPECT_EQ((std::vector<std::wstring>{L"one two ", L"three ", L"four "}), spokenTexts) << fakesapi::Describe(spoken);
}

// Presses or releases keys through the system's input, as a user would; releases what is still
// held when it goes, so that a failed test leaves no key down on the shared display.
class Keyboard {
 public:
  ~Keyboard() {
    for (auto it = m_down.rbegin(); it != m_down.rend(); ++it) Send(*it, false);
  }
  void Press(WORD key) {
    Send(key, true);
    m_down.push_back(key);
  }
  void Release(WORD key) {
    Send(key, false);
    m_down.erase(std::remove(m_down.begin(), m_down.end(), key), m_down.end());
  }

 private:
  static void Send(WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    EXPECT_EQ(1u, SendInput(1, &input, sizeof(input))) << "error " << GetLastError();
  }
  std::vector<WORD> m_down;
};

TEST_F(ReaderDialogTest, HotKeyReadsTheSelectionWithTheChosenVoiceOnceEveryKeyIsUp) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  const std::wstring beata = fake.AddVoice(OtherVoice(2, L"Beata"));
  ASSERT_TRUE(voice.SetDword(1) && volume.SetDword(40) && speed.SetDword(15));
  ScopedRegValue alt{reader_settings::kHotKeyKey, L"alt"}, ctrl{reader_settings::kHotKeyKey, L"ctrl"},
      shift{reader_settings::kHotKeyKey, L"shift"}, key{reader_settings::kHotKeyKey, L"key_code"};
  ASSERT_TRUE(alt.SetDword(0) && ctrl.SetDword(1) && shift.SetDword(1) && key.SetDword(VK_F7));
  Open();
  ASSERT_TRUE(CCfgData::Instance().m_bHotKeyRegistered);
  dialog->m_nHotKeyPollMs = 20;
  reader_test::TextSource source(L"text");
  ASSERT_TRUE(source.WaitFocused());

  Keyboard keys;
  keys.Press(VK_CONTROL);
  keys.Press(VK_SHIFT);
  keys.Press(VK_F7);
  keys.Release(VK_F7);
  // Ctrl and Shift are still held: the wait ticks on and reads nothing.
  ASSERT_TRUE(Pump([&] { return dialog->HotKeyTicks() >= 5; })) << "the hot key never arrived";
  EXPECT_FALSE(dialog->IsCapturing());
  EXPECT_TRUE(fake.Calls(L"SpeakStream").empty());
  keys.Release(VK_SHIFT);
  ASSERT_TRUE(Pump([&] { return dialog->HotKeyTicks() >= 10; }));
  EXPECT_FALSE(dialog->IsCapturing()) << "read while Ctrl was held";
  keys.Release(VK_CONTROL);

  ASSERT_TRUE(Pump([&] { return fake.WaitForCall(L"SpeakStream", 0); })) << "ticks " << dialog->HotKeyTicks()
                                                                         << ", capturing " << dialog->IsCapturing()
                                                                         << ", hint " << dialog->Hint().HintType() <<
      [] {
        std::string held;
        BYTE state[256] = {};
        GetKeyboardState(state);
        for (int k = 1; k < 256; ++k) {
          if (state[k] >= 0x10) held += " state:" + std::to_string(k);
          if (GetAsyncKeyState(k) & 0x8000) held += " async:" + std::to_string(k);
        }
        return held;
      }() << "\n" << fakesapi::Describe(fake.Calls());
  const fakesapi::Call spoken = fake.Calls(L"SpeakStream").front();
  EXPECT_EQ(std::wstring(text_source::kSelection) + L" ", spoken.Field(L"text")) << Narrow(spoken.Field(L"text"));
  EXPECT_EQ(beata, spoken.Field(L"voice"));
  EXPECT_EQ(40, spoken.Number(L"volume"));
  EXPECT_EQ(5, spoken.Number(L"rate"));
  ASSERT_TRUE(PumpUntilNote(WM_SPEECH_FINISHED));
  EXPECT_TRUE(dialog->IsIdle());
  EXPECT_EQ(ModuleText(IDS_READ), WindowText(Item(IDC_READ_BUTTON)));
  EXPECT_EQ(1u, fake.Calls(L"SpeakStream").size()) << "one press, one read";
}

// Fault: read pressed during the capture that the Notepad fallback had started left the fallback
// marked running, so the user's next failed request showed the hint without falling back.
TEST_F(ReaderDialogTest, ReadPressedDuringTheNotepadCaptureLeavesTheNextRequestItsFallback) {
  ASSERT_TRUE(reader_test::NotepadProcesses().empty()) << "a Notepad the test did not start is running";
  struct EndNotepads {
    ~EndNotepads() { reader_test::EndNotepads(kBoundMs); }
  } endNotepads;
  // An empty Notepad: copying from it changes nothing, so every capture there fails.
  ScopedRegValue file{kAppKey, L"notepad_default_txt"};
  ASSERT_TRUE(notepad.SetDword(1) && file.SetString(L"C:\\no such folder\\no such file.txt"));
  fake.AddVoice(OtherVoice(1, L"Anna"));
  Open();

  // Nothing remembered: the capture fails and the fallback starts its own on Notepad.
  Command(IDC_READ_BUTTON);
  ASSERT_TRUE(Pump([&] { return dialog->IsFallbackRunning(); })) << "hint " << dialog->Hint().HintType();
  ASSERT_TRUE(dialog->IsCapturing());

  // The user presses read again: that capture is abandoned, the new one is the user's.
  Command(IDC_READ_BUTTON);
  ASSERT_TRUE(dialog->IsCapturing());
  EXPECT_FALSE(dialog->IsFallbackRunning()) << "the abandoned capture's fallback is still marked running";

  // Its failure falls back on Notepad once more; only that capture's failure shows the hint.
  int fallbacks = 0;
  bool running = dialog->IsFallbackRunning();
  ASSERT_TRUE(Pump([&] {
    if (dialog->IsFallbackRunning() && !running) ++fallbacks;
    running = dialog->IsFallbackRunning();
    return dialog->Hint().HintType() == 1;
  })) << "fallbacks "
      << fallbacks;
  EXPECT_EQ(1, fallbacks);
  EXPECT_FALSE(dialog->IsFallbackRunning());
  EXPECT_FALSE(dialog->IsCapturing());
  EXPECT_EQ(1u, reader_test::NotepadProcesses().size());
}

// Fault: the fallback ran the read button's action, which pauses a reader that speaks. Read
// pressed again before the speech of the first text had started began a capture whose failure
// fell back on Notepad while that text spoke: the fallback paused it and read nothing.
TEST_F(ReaderDialogTest, NotepadFallbackWhileSpeakingReadsNotepadAndLeavesNothingPaused) {
  ASSERT_TRUE(reader_test::NotepadProcesses().empty()) << "a Notepad the test did not start is running";
  struct EndNotepads {
    ~EndNotepads() { reader_test::EndNotepads(kBoundMs); }
  } endNotepads;
  reader_test::TempFolder folder;
  const std::wstring path = folder.Path() + L"notepad.txt";
  const std::wstring content = std::wstring(L"\xFEFF") + text_source::kSelection;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, out) << "error " << GetLastError();
  DWORD written = 0;
  const BOOL wrote =
      WriteFile(out, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(out);
  ASSERT_TRUE(wrote) << "error " << GetLastError();
  ScopedRegValue file{kAppKey, L"notepad_default_txt"};
  // The capture's time-out is the test's to give (below); the real one is only a safety net.
  ASSERT_TRUE(notepad.SetDword(1) && file.SetString(path) && wait.SetDword(kBoundMs));
  fake.AddVoice(OtherVoice(1, L"Anna"));
  fake.SetHoldAtWord(1);  // every stream speaks its first word, then waits until purged
  Open();
  ASSERT_TRUE(PumpUntilNote(WM_SPEECH_VOICE_READY)) << "the voice chosen at start never got ready";

  // A capture's text goes to the speech; read is pressed again before the start of that speech
  // has reached the dialog, which therefore still counts as idle and starts another capture.
  dialog->OnTextCaptured(L"one two three");
  ASSERT_TRUE(dialog->IsIdle());
  Command(IDC_READ_BUTTON);
  ASSERT_TRUE(dialog->IsCapturing());
  ASSERT_TRUE(PumpUntilNote(WM_SPEECH_WORD)) << "the first text does not speak";
  ASSERT_FALSE(dialog->IsIdle());
  ASSERT_TRUE(dialog->IsCapturing());

  // Nothing is remembered, so the capture fails by its time-out and falls back on Notepad.
  SendMessageW(hwnd, WM_TIMER, CSelReaderDlg::TIMER_CAPTURE_TIMEOUT, 0);
  const std::wstring notepadText = std::wstring(text_source::kSelection) + L" ";
  fakesapi::Call notepadSpeak;
  EXPECT_TRUE(Pump([&] {
    return fake.WaitForCall(
        [&](const fakesapi::Call& c) { return c.name == L"SpeakStream" && c.Field(L"text") == notepadText; }, 0,
        &notepadSpeak);
  })) << "Notepad's text was not spoken; capturing "
      << dialog->IsCapturing() << ", hint " << dialog->Hint().HintType() << "; calls:\n"
      << Narrow(fakesapi::Describe(fake.Calls()));
  EXPECT_TRUE(fake.Calls(L"Pause").empty()) << "the fallback paused the earlier speech";
  EXPECT_EQ(0, control->Send(WM_SPEECH_IS_PAUSED, &dialog->Client())) << "the speech is left paused";
  // The earlier text gave way to Notepad's.
  const long long firstStream = fake.Calls(L"SpeakStream").front().Number(L"stream");
  EXPECT_TRUE(Pump([&] {
    return fake.WaitForCall(
        [&](const fakesapi::Call& c) { return c.name == L"StreamEnded" && c.Number(L"stream") == firstStream; }, 0);
  })) << "the first text still speaks";
  EXPECT_FALSE(dialog->IsFallbackRunning());
  EXPECT_EQ(0, dialog->Hint().HintType()) << "the usage hint came up";

  Command(IDC_STOP_BUTTON);
  EXPECT_TRUE(Pump([&] { return dialog->IsIdle(); })) << "the stop did not end the speech";
}

// ---------------------------------------------------------------------------------------------
// Layout, fold and placement.

TEST_F(ReaderDialogTest, FoldingAndUnfoldingKeepTheStripsAndTheFoldIsRemembered) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  Open();
  CRect window;
  GetWindowRect(hwnd, &window);
  const int unfolded = dialog->UnfoldedWidth(), height = window.Height();
  ASSERT_EQ(unfolded, window.Width());
  const CRect foldButton = ClientRectOf(hwnd, IDC_FOLD_BUTTON);
  const int folded = foldButton.right + 10 + 9 + 10;  // + minimise, close, margin
  const int hidden[] = {IDC_SPEED_SLIDER, IDC_VOLUME_SLIDER, IDC_LEXICON_BUTTON, IDC_VOICE_COMBO, IDC_VOICE_TYPE_ICON};
  for (bool fold : {true, false, true, false, true}) {
    SCOPED_TRACE(fold ? "folded" : "unfolded");
    Command(IDC_FOLD_BUTTON);
    EXPECT_EQ(fold, dialog->IsFolded());
    GetWindowRect(hwnd, &window);
    const int width = fold ? folded : unfolded;
    EXPECT_EQ(width, window.Width());
    EXPECT_EQ(height, window.Height());
    EXPECT_EQ(CRect(width - 12, 3, width - 3, 10), ClientRectOf(hwnd, IDC_CLOSE_BUTTON));
    EXPECT_EQ(CRect(width - 25, 3, width - 15, 10), ClientRectOf(hwnd, IDC_MINIMIZE_BUTTON));
    for (int id : hidden) EXPECT_EQ(!fold, IsWindowVisible(Item(id)) != FALSE) << "control " << id;
    EXPECT_TRUE(IsWindowVisible(Item(IDC_READ_BUTTON)));
    RECT region{};
    HRGN probe = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(ERROR, GetWindowRgn(hwnd, probe));
    GetRgnBox(probe, &region);
    DeleteObject(probe);
    EXPECT_EQ(width, region.right) << "the rounded region does not cover the strip";
  }
  Close();
  DWORD stored = 0;
  EXPECT_TRUE(reader_test::ReadDword(kAppKey, L"fold", stored));
  EXPECT_EQ(1u, stored);
  Open();
  EXPECT_TRUE(dialog->IsFolded());
  GetWindowRect(hwnd, &window);
  EXPECT_EQ(folded, window.Width());
  EXPECT_EQ(unfolded, dialog->UnfoldedWidth());
}

TEST_F(ReaderDialogTest, StoredPositionComesBackOnTheMonitor) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const CRect m(monitor.rcMonitor);
  Open();
  CRect window;
  GetWindowRect(hwnd, &window);
  const CPoint created = window.TopLeft();
  const int w = window.Width(), h = window.Height();
  Close();

  struct Case {
    const char* what;
    bool both;  // posx and posy stored, else posx alone
    int x, y;
    CPoint expected;
  };
  const Case cases[] = {
      {"inside", true, m.left + 100, m.top + 120, CPoint(m.left + 100, m.top + 120)},
      {"beyond the right and bottom", true, m.right + 4000, m.bottom + 4000, CPoint(m.right - w, m.bottom - h)},
      {"left of the monitor", true, m.left - 3000, m.top + 40, CPoint(m.left, m.top + 40)},
      {"above the monitor", true, m.left + 200, m.top - 50, CPoint(m.left + 200, m.top)},
      {"sticking out on the right", true, m.right - w / 2, m.top + 10, CPoint(m.right - w, m.top + 10)},
      {"posy missing", false, m.left + 100, m.top + 120, created},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteWindowPos(c.x, c.y);
    if (!c.both) {
      ASSERT_TRUE(posy.Remove());
    }
    Open();
    GetWindowRect(hwnd, &window);
    EXPECT_EQ(c.expected, window.TopLeft());
    Close();
  }
}

TEST_F(ReaderDialogTest, ClosedWhileMinimisedTheNormalPositionIsSaved) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  Open();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const CPoint place(monitor.rcMonitor.left + 210, monitor.rcMonitor.top + 140);
  SetWindowPos(hwnd, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Command(IDC_MINIMIZE_BUTTON);
  ASSERT_TRUE(IsIconic(hwnd));
  Close();
  int x = 0, y = 0;
  ASSERT_TRUE(ReadWindowPos(x, y));
  EXPECT_EQ(place, CPoint(x, y));
  // The next start puts the dialog back where it was.
  Open();
  CRect window;
  GetWindowRect(hwnd, &window);
  EXPECT_EQ(place, window.TopLeft());
}

TEST_F(ReaderDialogTest, EnterEscapeAndMessage952LeaveTheDialogAsItIs) {
  fake.AddVoice(OtherVoice(1, L"Anna"));
  Open();
  struct Case {
    const char* what;
    std::function<void()> send;
  };
  const auto key = [this](WPARAM vk) {
    MSG msg{Item(IDC_READ_BUTTON), WM_KEYDOWN, vk, 0, 0, {}};
    IsDialogMessageW(hwnd, &msg);
  };
  const Case cases[] = {
      {"IDOK", [&] { SendMessageW(hwnd, WM_COMMAND, IDOK, 0); }},
      {"IDCANCEL", [&] { SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0); }},
      {"Enter", [&] { key(VK_RETURN); }},
      {"Escape", [&] { key(VK_ESCAPE); }},
      {"0x952", [&] { EXPECT_EQ(0, SendMessageW(hwnd, 0x952, 1, 2)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.send();
    Pump([] { return true; });
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(dialog->IsClientRegistered());
  }
}

// ---------------------------------------------------------------------------------------------
// Web pages and the bigger reader.

TEST_F(ReaderDialogTest, WebPagesAndTheBiggerReaderOpenWhatTheyShould) {
  speech_test::ScopedKey agataProduct(HKEY_LOCAL_MACHINE, L"Software\\Orvel\\Orvel Vokant\\Agata22");
  ASSERT_EQ(ERROR_SUCCESS, agataProduct.SetString(L"Version", L"1.2.3"));
  fake.AddVoice({L"Orvel Vokant Agata22", L"Agata", L"Agata", L"Orvel Software", L"415", {}, true});
  fake.AddVoice(OtherVoice(1, L"Zeta"));
  ScopedRegValue diagnostic{reader_settings::kMakerKey, L"diagnostic"};
  ScopedRegValue program{L"SOFTWARE\\ORVEL\\Orvel Parlon", L"exe-path"};
  ASSERT_TRUE(diagnostic.Remove() && program.Remove());
  reader_settings::ForgetDiagnosticModeForTest();
  Open();

  const std::wstring gateway = L"https://gateway.orvelspeech.com/orvadmin/modules/orvapi/orv.gateway.app2web.php";
  const std::wstring maker = gateway + L"?a=BN&ap=OMN&v=1.0.13&l=en&PROD-VOICE_AGATA=1.2.3";
  const std::wstring other = gateway + L"?a=OV&ap=OMN&v=1.0.13&l=en";
  const std::wstring languagePage = L"http://www.orvelspeech.com/tunelo.php?set_lang=en";
  const std::wstring parlon = L"C:\\Program Files\\Orvel Parlon\\parlon.exe";
  const auto select = [this](int item) { SendMessageW(Item(IDC_VOICE_COMBO), CB_SETCURSEL, item, 0); };
  const auto setDiagnostic = [&](bool on) {
    ASSERT_TRUE(on ? diagnostic.SetDword(1) : diagnostic.Remove());
    reader_settings::ForgetDiagnosticModeForTest();
  };

  struct Case {
    const char* what;
    std::function<void()> act;
    std::vector<std::wstring> opened;  // "<owner>|<verb>|<file>", owner "dialog" or "none"
    std::vector<std::wstring> boxes;   // "<owner>|<caption>|<text>"
  };
  const Case cases[] = {
      {"one click on the language badge", [&] { Command(IDC_LANGUAGE_BUTTON); }, {}, {}},
      {"double click on the language badge",
       [&] { Command(IDC_LANGUAGE_BUTTON, BN_DOUBLECLICKED); },
       {L"none||" + languagePage},
       {}},
      {"voice link of a maker voice",
       [&] {
         select(0);
         Command(IDC_VOICE_LINK);
       },
       {L"none||" + maker},
       {}},
      {"voice link of another voice",
       [&] {
         select(1);
         Command(IDC_VOICE_LINK);
       },
       {L"none||" + other},
       {}},
      {"diagnostic mode: the gateway address is shown first",
       [&] {
         setDiagnostic(true);
         select(0);
         Command(IDC_VOICE_LINK);
       },
       {L"none||" + maker},
       {L"none|OP Diagnostic|" + maker}},
      {"diagnostic mode: the language page opens directly",
       [&] {
         Command(IDC_LANGUAGE_BUTTON, BN_DOUBLECLICKED);
         setDiagnostic(false);
       },
       {L"none||" + languagePage},
       {}},
      {"launch without the bigger reader", [&] { Command(IDC_LAUNCH_BUTTON); }, {}, {}},
      {"launch with the bigger reader",
       [&] {
         ASSERT_TRUE(program.SetString(parlon));
         Command(IDC_LAUNCH_BUTTON);
       },
       {L"dialog|open|" + parlon},
       {}},
  };
  const auto owner = [this](HWND h) { return std::wstring(h == nullptr ? L"none" : h == hwnd ? L"dialog" : L"other"); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    opened.clear();
    boxes.clear();
    c.act();
    std::vector<std::wstring> seenOpened, seenBoxes;
    for (const Opened& o : opened) seenOpened.push_back(owner(o.owner) + L"|" + o.verb + L"|" + o.file);
    for (const Box& b : boxes) {
      seenBoxes.push_back(owner(b.owner) + L"|" + b.caption + L"|" + b.text);
      EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), b.type);
      EXPECT_EQ(0u, b.openedBefore) << "the address was opened before it was shown";
    }
    EXPECT_EQ(c.opened, seenOpened);
    EXPECT_EQ(c.boxes, seenBoxes);
  }
}

}  // namespace
