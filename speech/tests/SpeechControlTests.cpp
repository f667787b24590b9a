// The speech control window through real window messages: a test client window registers with
// the control window of a running control thread, sends its requests with SendMessage and
// records the notifications posted back, while the fake SAPI speaks and records what it was
// asked to speak.
#include "FakeSapiControl.h"
#include "SpeechTestSupport.h"
#include "TTSMessages.h"
#include "TTSVoice.h"
#include "VoiceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

using speech_test::Client;
using speech_test::ControlThread;
using speech_test::Describe;
using speech_test::Narrow;
using speech_test::Note;
using speech_test::PumpUntil;
using speech_test::ScopedKey;
using speech_test::ScopedMachineOverride;
using speech_test::WaitForNotes;

namespace {

// SAPI speak flags as the fake logs them.
constexpr long kSpfAsync = 1, kSpfPurge = 2;

struct Expected {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Compares the notes with the expected sequence, message and parameters, in the manner of
// Wine's message sequence tests.
void ExpectSequence(const std::vector<Note>& notes, const std::vector<Expected>& expected) {
  bool same = notes.size() == expected.size();
  for (size_t i = 0; same && i < notes.size(); ++i)
    same = notes[i].message == expected[i].message && notes[i].wParam == expected[i].wParam &&
           notes[i].lParam == expected[i].lParam;
  if (same) return;
  std::vector<Note> want;
  for (const Expected& e : expected) want.push_back(Note{nullptr, e.message, e.wParam, e.lParam});
  ADD_FAILURE() << "notifications differ\nexpected:\n" << Describe(want) << "actual:\n" << Describe(notes);
}

// Holds the control window's n-th WM_SPEECH_FINISHED (counted from the gate's making) on the
// control thread until the test opens the gate, while requests sent to the window meanwhile are
// still handled: the request then runs between two notifications that a voice thread posted
// back to back, as it may on a loaded machine. Subclasses the window for its lifetime; one gate
// at a time.
class FinishedGate {
 public:
  FinishedGate(HWND control, int nth) : m_control(control) {
    static const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static const HANDLE open = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    s_held = held;
    s_open = open;
    ResetEvent(s_held);
    ResetEvent(s_open);
    s_nth = nth;
    s_seen = 0;
    s_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FinishedGate::Proc)));
  }
  ~FinishedGate() {
    Open();
    if (s_previous) SetWindowLongPtrW(m_control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s_previous));
  }
  FinishedGate(const FinishedGate&) = delete;
  FinishedGate& operator=(const FinishedGate&) = delete;

  bool Installed() const { return s_previous != nullptr; }
  // Pumps the test thread until the control thread holds the message.
  bool WaitHeld() const { return speech_test::WaitPumping(s_held, 10000); }
  void Open() const { SetEvent(s_open); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SPEECH_FINISHED && ++s_seen == s_nth) {
      SetEvent(s_held);
      // Only sent messages are handled here; posted ones keep their order behind this one.
      while (MsgWaitForMultipleObjects(1, &s_open, FALSE, 60000, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      }
    }
    return CallWindowProcW(s_previous, hwnd, message, wParam, lParam);
  }

  HWND m_control;
  static inline HANDLE s_held = nullptr;
  static inline HANDLE s_open = nullptr;
  static inline std::atomic<int> s_nth{0};
  static inline std::atomic<int> s_seen{0};
  static inline WNDPROC s_previous = nullptr;
};

class SpeechControlTest : public ::testing::Test {
 public:
  void SetUp() override { ASSERT_EQ(S_OK, fakesapi::EnsureRegistered()); }
  void TearDown() override {
    if (control) {
      EXPECT_TRUE(control->Stop()) << "the control thread did not end";
    }
    control.reset();
  }

  // Voices "Voice 0" .. "Voice n-1", listed in that order.
  void AddVoices(int n) {
    for (int i = 0; i < n; ++i) {
      const std::wstring name = L"Voice " + std::to_wstring(i);
      tokens.push_back(
          fake.AddVoice({L"TestVoice" + std::to_wstring(i), name, name, L"Other", L"409", {L"AddRemoveWord"}, true}));
    }
  }
  void Start(DWORD cleanupIntervalMs = 600000) {
    control = std::make_unique<ControlThread>(cleanupIntervalMs);
    ASSERT_TRUE(control->Started());
    control->window()->SetBusyCallback([this] { ++refusals; });
  }
  std::vector<fakesapi::Call> Spoken() const { return fake.Calls(L"SpeakStream"); }
  // Shows the current voice's engine dialog, owned by a new window of this thread: the voice
  // thread stays inside the dialog's modal loop until the dialog is closed. The dialog disables
  // its owner, so this keeps handling the thread's messages while it waits.
  void OpenEngineDialog(HWND* owner, HWND* dialog) {
    *owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, *owner) << "error " << GetLastError();
    EngineDialogArgs dialogArgs{1, nullptr};
    ASSERT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_SHOW_ENGINE_DIALOG, *owner, reinterpret_cast<LPARAM>(&dialogArgs)));
    fakesapi::Call shown;
    const auto dialogShown = [&] {
      return fake.WaitForCall(
          [](const fakesapi::Call& c) { return c.name == L"DisplayUI" && !c.Field(L"dialog").empty(); }, 0, &shown);
    };
    ASSERT_TRUE(speech_test::PumpUntil(dialogShown, 10000, fake.CallEvent())) << fakesapi::Describe(fake.Calls());
    *dialog = reinterpret_cast<HWND>(static_cast<UINT_PTR>(shown.Number(L"dialog", 0)));
  }
  // A round trip through the control thread: the requests sent before have been handled when
  // this returns. Notifications that the voice threads posted may still be queued there (a sent
  // message is handled ahead of posted ones), so this is no barrier for them: wait for what a
  // notification leads to instead.
  void Sync() const { control->Send(WM_SPEECH_GET_VOICE); }
  // `voices` voices, the first chosen for the low client, which speaks `text` slowly: returns
  // once the first word has been spoken, the rest still to come.
  void StartSlowSpeech(int voices, const wchar_t* text) {
    AddVoices(voices);
    fake.SetMsPerWord(250);
    Start();
    control->Register(low);
    ASSERT_TRUE(control->SelectAndWait(low, 0, 1));
    ASSERT_EQ(SPEECH_DONE, control->Speak(low, text));
    ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 1));
  }

  fakesapi::Session fake;
  std::vector<std::wstring> tokens;
  std::atomic<int> refusals{0};
  // Clients outlive the control thread (declared before it, destroyed after TearDown).
  Client low{0}, low2{0}, high{5}, top{10};
  std::unique_ptr<ControlThread> control;
};

TEST_F(SpeechControlTest, StartedWordsFinishedInOrder) {
  AddVoices(1);
  Start();
  ASSERT_EQ(SPEECH_DONE, control->Register(low));
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  low.listener.Clear();

  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"one two three"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1)) << Describe(low.listener.Notes());
  ExpectSequence(low.listener.Notes(), {{WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 3},
                                        {WM_SPEECH_WORD, 4, 3},
                                        {WM_SPEECH_WORD, 8, 5},
                                        {WM_SPEECH_FINISHED, 0, 0}});
  const auto spoken = Spoken();
  ASSERT_EQ(1u, spoken.size()) << fakesapi::Describe(spoken);
  EXPECT_EQ(L"one two three ", spoken[0].Field(L"text"));  // one blank appended
  EXPECT_EQ(kSpfAsync | kSpfPurge, spoken[0].Number(L"flags") & (kSpfAsync | kSpfPurge));
  EXPECT_EQ(tokens[0], spoken[0].Field(L"voice"));
}

TEST_F(SpeechControlTest, SpeakBeforeTheVoiceIsReadyWaitsForIt) {
  AddVoices(1);
  Start();
  ASSERT_EQ(SPEECH_DONE, control->Register(low));
  ASSERT_EQ(SPEECH_DONE, control->Select(low, 0));
  // The priority test pumps the control thread until the new voice has reported ready.
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"hello there"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1)) << Describe(low.listener.Notes());
  ExpectSequence(low.listener.Notes(), {{WM_SPEECH_VOICE_READY, 0, 0},
                                        {WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 5},
                                        {WM_SPEECH_WORD, 6, 5},
                                        {WM_SPEECH_FINISHED, 0, 0}});
}

TEST_F(SpeechControlTest, SpeakWithoutPurgeWaitsForTheEnd) {
  AddVoices(1);
  fake.SetHold(true);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  low.listener.Clear();

  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"first"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"second", 0));
  Sync();
  EXPECT_EQ(1u, control->window()->PendingCount());
  EXPECT_EQ(1u, Spoken().size()) << fakesapi::Describe(Spoken());
  EXPECT_EQ(1, control->Send(WM_SPEECH_IS_BUSY));
  EXPECT_EQ(1, control->Send(WM_SPEECH_IS_CLIENT_SPEAKING, &low.client));
  EXPECT_EQ(0, control->Send(WM_SPEECH_IS_CLIENT_SPEAKING, &high.client));

  fake.ReleaseHeld();
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 2)) << Describe(low.listener.Notes());
  fake.ReleaseHeld();
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  ExpectSequence(low.listener.Notes(), {{WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 5},
                                        {WM_SPEECH_FINISHED, 0, 0},
                                        {WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 6},
                                        {WM_SPEECH_FINISHED, 0, 0}});
  const auto spoken = Spoken();
  ASSERT_EQ(2u, spoken.size());
  EXPECT_EQ(L"second ", spoken[1].Field(L"text"));
  EXPECT_EQ(0, spoken[1].Number(L"flags") & kSpfPurge);
  EXPECT_EQ(0, control->Send(WM_SPEECH_IS_BUSY));
}

TEST_F(SpeechControlTest, SpeakWithPurgeInterrupts) {
  AddVoices(1);
  fake.SetHold(true);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  low.listener.Clear();

  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"first"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"second"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 2)) << Describe(low.listener.Notes());
  fake.ReleaseHeld();
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  ExpectSequence(low.listener.Notes(), {{WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 5},
                                        {WM_SPEECH_FINISHED, 0, 0},
                                        {WM_SPEECH_STARTED, 0, 0},
                                        {WM_SPEECH_WORD, 0, 6},
                                        {WM_SPEECH_FINISHED, 0, 0}});
  const auto spoken = Spoken();
  ASSERT_EQ(2u, spoken.size());
  EXPECT_EQ(kSpfPurge, spoken[1].Number(L"flags") & kSpfPurge);
}

// The voice files word events under the request at the head of its active list. When a purging
// request starts before the end of the one it interrupts has been handled here, its words land on
// the interrupted request; they must still reach the new request's client.
TEST_F(SpeechControlTest, WordsOfAnInterruptingRequestReachItsClient) {
  AddVoices(1);
  fake.SetHold(true);
  Start();
  control->Register(low);
  control->Register(high);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"first"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 1));
  {
    // The control thread's notification handlers wait for the pool lock: the interrupting stream
    // runs to its end before the interrupted one is removed.
    CSingleLock pool(&control->manager().PoolLock(), TRUE);
    fake.SetHold(false);
    ASSERT_EQ(SPEECH_DONE, control->Speak(high, L"second"));
    ASSERT_TRUE(fake.WaitForCall(
        [](const fakesapi::Call& c) { return c.name == L"StreamEnded" && c.Number(L"stream") == 2; }, 5000))
        << fakesapi::Describe(fake.Calls());
  }
  ASSERT_TRUE(WaitForNotes(high.listener, WM_SPEECH_FINISHED, 1)) << Describe(high.listener.Notes());
  ExpectSequence(high.listener.Notes(),
                 {{WM_SPEECH_STARTED, 0, 0}, {WM_SPEECH_WORD, 0, 6}, {WM_SPEECH_FINISHED, 0, 0}});
  Sync();
  EXPECT_EQ(1u, low.listener.Count(WM_SPEECH_FINISHED));
  EXPECT_EQ(1u, low.listener.Count(WM_SPEECH_WORD)) << Describe(low.listener.Notes());
}

// ---- Priorities ----------------------------------------------------------------------------

enum class Ask { Stop, Speak, Pause, Volume, Select };

struct PriorityRow {
  const char* name;
  Client SpeechControlTest::*active;      // speaks first (held), or null
  Client SpeechControlTest::*pending;     // then queues a request without purge, or null
  Client SpeechControlTest::*unregister;  // unregistered before the question, or null
  Client SpeechControlTest::*asker;
  Ask ask;
  LRESULT expect;
  int refusals;  // busy callbacks (the beep's stand-in)
};

const PriorityRow kPriorityRows[] = {
    {"higher stops lower", &SpeechControlTest::low, nullptr, nullptr, &SpeechControlTest::high, Ask::Stop, 0, 0},
    {"lower may not stop higher", &SpeechControlTest::high, nullptr, nullptr, &SpeechControlTest::low, Ask::Stop, 1, 1},
    {"equal priority acts", &SpeechControlTest::low, nullptr, nullptr, &SpeechControlTest::low2, Ask::Stop, 0, 0},
    {"own speech", &SpeechControlTest::high, nullptr, nullptr, &SpeechControlTest::high, Ask::Pause, 0, 0},
    {"nothing spoken", nullptr, nullptr, nullptr, &SpeechControlTest::low, Ask::Stop, 0, 0},
    // With a request pending, its client is the speaker, not the client being spoken.
    {"pending head decides", &SpeechControlTest::low, &SpeechControlTest::high, nullptr, &SpeechControlTest::low,
     Ask::Stop, 1, 1},
    {"pending head refuses speak", &SpeechControlTest::low, &SpeechControlTest::high, nullptr, &SpeechControlTest::low2,
     Ask::Speak, 1, 1},
    {"pending head of equal priority", &SpeechControlTest::low, &SpeechControlTest::low2, nullptr,
     &SpeechControlTest::low, Ask::Stop, 0, 0},
    {"unregistered speaker", &SpeechControlTest::top, nullptr, &SpeechControlTest::top, &SpeechControlTest::low,
     Ask::Stop, 0, 0},
    {"refused speak", &SpeechControlTest::high, nullptr, nullptr, &SpeechControlTest::low, Ask::Speak, 1, 1},
    {"refused volume is silent", &SpeechControlTest::high, nullptr, nullptr, &SpeechControlTest::low, Ask::Volume, 1,
     0},
    {"refused voice change is silent", &SpeechControlTest::high, nullptr, nullptr, &SpeechControlTest::low, Ask::Select,
     1, 0},
};

// The speech of a row lasts for the row: a long text on a slow clock. (Held streams would not do:
// the fake holds the empty stream of a stop as well, which would block the voice's stop.)
const wchar_t kLongText[] =
    L"one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen sixteen "
    L"seventeen eighteen nineteen twenty twentyone twentytwo twentythree twentyfour twentyfive";

// Fault: a pause decided on the request still listed as active, which leaves the list only when
// the control window handles the end's notice. A pause that came between the end of the last
// stream and that notice paused the idle engine, which SAPI then keeps paused: every later read
// was queued on it and never heard. An engine left paused by a pause just before the end (the
// end then comes while paused) kept every later read silent the same way.
TEST_F(SpeechControlTest, APauseThatMeetsTheEndOfSpeechLeavesTheNextReadSpoken) {
  AddVoices(1);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  struct Case {
    const char* name;
    bool afterTheEnd;  // else just before it, when the last word is out
    LRESULT pausedAfterPause;
  } cases[] = {
      {"after the end event, before its notice is handled", true, 0},
      {"before the end, which comes while paused", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t finished = low.listener.Count(WM_SPEECH_FINISHED);
    const size_t words = low.listener.Count(WM_SPEECH_WORD);
    if (c.afterTheEnd) {
      FinishedGate gate(control->hwnd(), 1);
      ASSERT_TRUE(gate.Installed());
      ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"last words"));
      ASSERT_TRUE(gate.WaitHeld());
      // What the read button does: ask, then pause.
      EXPECT_EQ(1, TogglePause(&low.client));
      EXPECT_EQ(c.pausedAfterPause, control->Send(WM_SPEECH_IS_PAUSED, &low.client))
          << "a voice with nothing left to speak is paused";
    } else {
      fake.SetHold(true);
      ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"last words"));
      ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, words + 2)) << Describe(low.listener.Notes());
      EXPECT_EQ(1, TogglePause(&low.client));
      EXPECT_EQ(c.pausedAfterPause, control->Send(WM_SPEECH_IS_PAUSED, &low.client));
      fake.SetHold(false);
      fake.ReleaseHeld();
    }
    ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, finished + 1)) << Describe(low.listener.Notes());

    ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"next read"));
    ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, finished + 2))
        << "the next read was not heard\n"
        << Describe(low.listener.Notes()) << fakesapi::Describe(fake.Calls());
    EXPECT_EQ(words + 4, low.listener.Count(WM_SPEECH_WORD)) << Describe(low.listener.Notes());
    EXPECT_EQ(0, control->Send(WM_SPEECH_IS_PAUSED, &low.client));
  }
}

TEST_F(SpeechControlTest, PriorityRule) {
  AddVoices(1);
  fake.SetMsPerWord(250);
  for (const PriorityRow& row : kPriorityRows) {
    SCOPED_TRACE(row.name);
    Start();
    for (Client* c : {&low, &low2, &high, &top}) {
      c->listener.Clear();
      control->Register(*c);
    }
    ASSERT_TRUE(control->SelectAndWait(low, 0));
    size_t speaks = Spoken().size();
    if (row.active) {
      Client& active = this->*row.active;
      ASSERT_EQ(SPEECH_DONE, control->Speak(active, kLongText));
      ASSERT_TRUE(WaitForNotes(active.listener, WM_SPEECH_STARTED, 1));
      ++speaks;
    }
    if (row.pending) {
      ASSERT_EQ(SPEECH_DONE, control->Speak(this->*row.pending, L"pending text", 0));
      Sync();
      ASSERT_EQ(1u, control->window()->PendingCount());
    }
    if (row.unregister) control->Unregister(this->*row.unregister);
    refusals = 0;

    Client& asker = this->*row.asker;
    LRESULT result = -99;
    switch (row.ask) {
      case Ask::Stop:
        result = control->Send(WM_SPEECH_STOP, &asker.client);
        break;
      case Ask::Speak:
        result = control->Speak(asker, L"asked");
        break;
      case Ask::Pause:
        result = control->Send(WM_SPEECH_PAUSE, &asker.client);
        break;
      case Ask::Volume:
        asker.client.volume = 20;
        result = control->Send(WM_SPEECH_APPLY_VOLUME, &asker.client);
        asker.client.volume = 100;
        break;
      case Ask::Select:
        result = control->Select(asker, 0);
        break;
    }
    EXPECT_EQ(row.expect, result);
    EXPECT_EQ(row.refusals, refusals.load());
    if (row.expect == SPEECH_REFUSED) {
      Sync();
      EXPECT_EQ(speaks, Spoken().size()) << "a refused request reached the voice";
      EXPECT_FALSE(fake.WaitForCall(
          [](const fakesapi::Call& c) { return c.name == L"SetVolume" && c.Number(L"value") == 20; }, 0))
          << "a refused volume reached the voice";
    }
    ASSERT_TRUE(control->Stop());
    control.reset();
  }
}

// ---- Voice changes -------------------------------------------------------------------------

TEST_F(SpeechControlTest, VoiceChangeSpeaksTheUnreadRestWithTheNewVoice) {
  AddVoices(2);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0, 1));
  low.listener.Clear();

  const std::wstring full = L"alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu";
  const std::wstring stored = full + L" ";
  // The old voice stops after "beta" until the change purges its stream, however fast or slow
  // the machine: the change lands in the middle of the text.
  fake.SetHoldAtWord(2);
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, full.c_str()));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 2));
  fake.SetHoldAtWord(0);  // the new voice reads the rest through
  ASSERT_EQ(SPEECH_DONE, control->Select(low, 1, 1));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_VOICE_READY, 1));

  // Split the notes at the end of the old request.
  const auto& notes = low.listener.Notes();
  size_t firstEnd = 0;
  while (notes[firstEnd].message != WM_SPEECH_FINISHED) ++firstEnd;
  DWORD readEnd = 0;
  for (size_t i = 0; i < firstEnd; ++i)
    if (notes[i].message == WM_SPEECH_WORD) readEnd = static_cast<DWORD>(notes[i].wParam + notes[i].lParam);
  ASSERT_EQ(stored.find(L" gamma"), readEnd) << Describe(notes);

  const auto spoken = Spoken();
  ASSERT_EQ(2u, spoken.size()) << fakesapi::Describe(spoken);
  EXPECT_EQ(tokens[0], spoken[0].Field(L"voice"));
  EXPECT_EQ(tokens[1], spoken[1].Field(L"voice"));
  EXPECT_EQ(stored.substr(readEnd), spoken[1].Field(L"text"));

  // Words of the new voice still count from the start of the full text.
  std::vector<std::wstring> restWords, heard;
  {
    const std::wstring rest = stored.substr(readEnd);
    size_t p = 0;
    while ((p = rest.find_first_not_of(L' ', p)) != std::wstring::npos) {
      const size_t e = rest.find(L' ', p);
      restWords.push_back(rest.substr(p, e - p));
      p = e;
    }
  }
  size_t started = 0;
  for (size_t i = firstEnd + 1; i < notes.size(); ++i) {
    if (notes[i].message == WM_SPEECH_STARTED) ++started;
    if (notes[i].message != WM_SPEECH_WORD) continue;
    const size_t pos = notes[i].wParam, len = static_cast<size_t>(notes[i].lParam);
    ASSERT_GE(pos, readEnd);
    ASSERT_LE(pos + len, stored.size());
    EXPECT_TRUE(pos == 0 || stored[pos - 1] == L' ') << "position " << pos << " is not a word start";
    heard.push_back(stored.substr(pos, len));
  }
  EXPECT_EQ(1u, started);
  EXPECT_EQ(restWords, heard) << Describe(notes);
  EXPECT_EQ(1, control->Send(WM_SPEECH_GET_VOICE));
}

TEST_F(SpeechControlTest, VoiceChangeOutsideTheListAnswersFailed) {
  AddVoices(1);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  EXPECT_EQ(SPEECH_FAILED, control->Select(low, 1));
  EXPECT_EQ(1, control->Send(WM_SPEECH_GET_VOICE));
  EXPECT_EQ(SPEECH_FAILED, control->Select(low, -1));
  EXPECT_EQ(-1, control->Send(WM_SPEECH_GET_VOICE));
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  EXPECT_EQ(0, control->Send(WM_SPEECH_GET_VOICE));
}

// Fault: the rest of the text was handed to a voice that could not be acquired.
TEST_F(SpeechControlTest, VoiceChangeToAMissingVoiceDuringSpeechDropsTheRest) {
  ASSERT_NO_FATAL_FAILURE(StartSlowSpeech(1, kLongText));

  EXPECT_EQ(SPEECH_FAILED, control->Select(low, 3, 1));
  EXPECT_EQ(3, control->Send(WM_SPEECH_GET_VOICE));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1)) << Describe(low.listener.Notes());
  Sync();
  EXPECT_FALSE(control->window()->IsResumePending());
  EXPECT_EQ(0u, control->window()->PendingCount());
  EXPECT_EQ(nullptr, control->window()->CurrentVoice());
  EXPECT_EQ(1u, Spoken().size()) << fakesapi::Describe(Spoken());

  // A voice that can be acquired works again.
  fake.SetMsPerWord(0);
  ASSERT_TRUE(control->SelectAndWait(low, 0, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"again"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  EXPECT_EQ(L"again ", Spoken().back().Field(L"text"));
}

// Fault: the empty stream of a stop counted as speech. A voice change (asking for the rest to be
// re-spoken) handled between that stream's start and end set a resume that no request took, and
// the end of the next request re-spoke its trailing blank.
TEST_F(SpeechControlTest, VoiceChangeWhileAStopEndsResumesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartSlowSpeech(2, kLongText));
  {
    // The window's second end is the stop's own stream: by then its start has been handled.
    FinishedGate gate(control->hwnd(), 2);
    ASSERT_TRUE(gate.Installed()) << "error " << GetLastError();
    ASSERT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_STOP, &low.client));
    ASSERT_TRUE(gate.WaitHeld()) << Describe(low.listener.Notes());
    ASSERT_EQ(SPEECH_DONE, control->Select(low, 1, 1));
    gate.Open();
    ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_VOICE_READY, 2)) << Describe(low.listener.Notes());
  }
  fake.SetMsPerWord(0);
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"again"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  // A request that waits for the one before: whatever that end re-queued is spoken before it.
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"done", 0));
  ASSERT_TRUE(fake.WaitForCall(
      [](const fakesapi::Call& c) { return c.name == L"SpeakStream" && c.Field(L"text") == L"done "; }, 10000))
      << fakesapi::Describe(Spoken());
  std::vector<std::wstring> texts;
  for (const fakesapi::Call& c : Spoken()) texts.push_back(c.Field(L"text"));
  const std::vector<std::wstring> expected = {std::wstring(kLongText) + L" ", L"again ", L"done "};
  EXPECT_EQ(expected, texts) << fakesapi::Describe(Spoken());
}

// Requests that were waiting when the voice went missing are kept, never handed to the missing
// voice, and start once a voice is chosen again.
TEST_F(SpeechControlTest, WaitingRequestsStartWithTheNextVoice) {
  AddVoices(1);
  fake.SetMsPerWord(250);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, kLongText));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_STARTED, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"later", 0));
  EXPECT_EQ(SPEECH_FAILED, control->Select(low, 2));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1)) << Describe(low.listener.Notes());
  Sync();
  EXPECT_EQ(1u, control->window()->PendingCount());
  EXPECT_EQ(1u, Spoken().size());

  fake.SetMsPerWord(0);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 2)) << Describe(low.listener.Notes());
  ASSERT_EQ(2u, Spoken().size());
  EXPECT_EQ(L"later ", Spoken()[1].Field(L"text"));
}

// Without a current voice no request touches a voice: each answers "failed" (-1), or 0 for the
// questions, and builds nothing.
TEST_F(SpeechControlTest, RequestsWithoutACurrentVoice) {
  AddVoices(1);
  Start();
  control->Register(low);
  const long freedBefore = VTTSFramework::TTSObjectCounts::requestsFreed;
  EXPECT_EQ(SPEECH_FAILED, control->Select(low, 4));
  EXPECT_EQ(freedBefore + 1, VTTSFramework::TTSObjectCounts::requestsFreed) << "the carrier was not freed";

  EngineDialogArgs dialog{1, nullptr};
  struct Row {
    const char* name;
    UINT message;
    const void* wParam;
    LPARAM lParam;
    LRESULT expect;
  } rows[] = {
      {"STOP", WM_SPEECH_STOP, &low.client, 0, SPEECH_FAILED},
      {"PAUSE", WM_SPEECH_PAUSE, &low.client, 0, SPEECH_FAILED},
      {"RESUME", WM_SPEECH_RESUME, &low.client, 0, SPEECH_FAILED},
      {"SKIP", WM_SPEECH_SKIP, &low.client, 1, SPEECH_FAILED},
      {"APPLY_VOLUME", WM_SPEECH_APPLY_VOLUME, &low.client, 0, SPEECH_FAILED},
      {"APPLY_RATE", WM_SPEECH_APPLY_RATE, &low.client, 0, SPEECH_FAILED},
      {"SHOW_ENGINE_DIALOG", WM_SPEECH_SHOW_ENGINE_DIALOG, low.listener.hwnd(), reinterpret_cast<LPARAM>(&dialog),
       SPEECH_FAILED},
      {"IS_PAUSED", WM_SPEECH_IS_PAUSED, &low.client, 0, 0},
      {"IS_BUSY", WM_SPEECH_IS_BUSY, nullptr, 0, 0},
      {"IS_CLIENT_SPEAKING", WM_SPEECH_IS_CLIENT_SPEAKING, &low.client, 0, 0},
  };
  for (const Row& row : rows) EXPECT_EQ(row.expect, control->Send(row.message, row.wParam, row.lParam)) << row.name;
  EXPECT_EQ(1, TogglePause(&low.client)) << "IS_PAUSED answers 0, so the toggle pauses";

  EXPECT_EQ(SPEECH_FAILED, control->Speak(low, L"nothing to say it with"));
  // An adopted text is the framework's once sent, also when nothing is built from it.
  wchar_t* adopted = new wchar_t[6]{L'a', L'd', L'o', L'p', L't', 0};
  EXPECT_EQ(SPEECH_FAILED, control->Speak(low, adopted, SPEAKF_PURGE | SPEAKF_ADOPT_TEXT));
  EXPECT_EQ(freedBefore + 1, VTTSFramework::TTSObjectCounts::requestsFreed) << "a request was built";
  EXPECT_EQ(0, refusals.load());
  Sync();
  EXPECT_TRUE(Spoken().empty());
  EXPECT_TRUE(low.listener.Notes().empty()) << Describe(low.listener.Notes());
}

TEST_F(SpeechControlTest, NoVoiceInstalled) {
  Start();
  control->Register(low);
  EXPECT_EQ(0, control->manager().VoiceCount());
  EXPECT_EQ(SPEECH_FAILED, control->Select(low, 0));
  EXPECT_EQ(SPEECH_FAILED, control->Speak(low, L"text"));
}

// Selecting the voice that is current again: the release's stop and the new carrier meet in
// the same active list; the client still gets its ready notification, and no end of speech.
TEST_F(SpeechControlTest, SelectingTheCurrentVoiceAgainReportsReady) {
  AddVoices(1);
  Start();
  control->Register(low);
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  ASSERT_TRUE(control->SelectAndWait(low, 0));
  Sync();
  EXPECT_EQ(0u, low.listener.Count(WM_SPEECH_FINISHED)) << Describe(low.listener.Notes());
  EXPECT_EQ(1, control->manager().PoolSize());
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"still here"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1)) << Describe(low.listener.Notes());
}

// ---- Unregistering -------------------------------------------------------------------------

// A SpeechClient on a page of its own, which the test makes unreadable once the client is
// unregistered: any later read by the control thread or a voice thread faults.
class GuardedClient {
 public:
  GuardedClient() {
    m_page = VirtualAlloc(nullptr, sizeof(SpeechClient), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (m_page) m_client = new (m_page) SpeechClient();
  }
  ~GuardedClient() {
    if (!m_client) return;
    Unlock();
    m_client->~SpeechClient();
    VirtualFree(m_page, 0, MEM_RELEASE);
  }
  GuardedClient(const GuardedClient&) = delete;
  GuardedClient& operator=(const GuardedClient&) = delete;
  SpeechClient* get() const { return m_client; }
  bool Lock() {
    DWORD old = 0;
    return VirtualProtect(m_page, sizeof(SpeechClient), PAGE_NOACCESS, &old) != 0;
  }
  void Unlock() {
    DWORD old = 0;
    VirtualProtect(m_page, sizeof(SpeechClient), PAGE_READWRITE, &old);
  }

 private:
  void* m_page = nullptr;
  SpeechClient* m_client = nullptr;
};

// Fault: a client's requests kept pointing at it after it was unregistered (and destroyed).
TEST_F(SpeechControlTest, UnregisteringDetachesTheClientFromItsRequests) {
  AddVoices(1);
  fake.SetHold(true);
  GuardedClient gone;
  ASSERT_NE(nullptr, gone.get());
  speech_test::Listener goneListener;
  gone.get()->AddListener(goneListener.hwnd());
  Start();
  control->Register(low);
  control->Register(*gone.get());
  ASSERT_TRUE(control->SelectAndWait(low, 0));

  ASSERT_EQ(SPEECH_DONE, control->Speak(*gone.get(), L"alpha text"));
  ASSERT_TRUE(WaitForNotes(goneListener, WM_SPEECH_STARTED, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(*gone.get(), L"second alpha", 0));  // pending
  ASSERT_EQ(SPEECH_DONE, control->Unregister(*gone.get()));
  ASSERT_TRUE(gone.Lock());

  // The gone client's request no longer holds the word: the other client interrupts it.
  ASSERT_EQ(SPEECH_DONE, control->Speak(low, L"bravo"));
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_WORD, 1)) << Describe(low.listener.Notes());
  fake.ReleaseHeld();
  ASSERT_TRUE(WaitForNotes(low.listener, WM_SPEECH_FINISHED, 1))
      << Describe(low.listener.Notes()) << fakesapi::Describe(fake.Calls());
  Sync();
  gone.Unlock();

  std::vector<std::wstring> texts;
  for (const auto& call : Spoken()) texts.push_back(call.Field(L"text"));
  EXPECT_EQ((std::vector<std::wstring>{L"alpha text ", L"bravo "}), texts);
  EXPECT_EQ(0u, goneListener.Count(WM_SPEECH_FINISHED)) << Describe(goneListener.Notes());
  EXPECT_EQ(0u, control->window()->PendingCount());
}

// Fault: unregistering made a blocking round trip to every pooled voice, so a voice inside its
// engine's modal dialog held the reader's close until someone closed that dialog. The client's
// speak command, queued behind the dialog, must still let go of the client.
TEST_F(SpeechControlTest, UnregisteringDoesNotWaitForAVoiceInItsEngineDialog) {
  AddVoices(1);
  GuardedClient gone;
  ASSERT_NE(nullptr, gone.get());
  speech_test::Listener goneListener;
  gone.get()->AddListener(goneListener.hwnd());
  Start();
  control->Register(*gone.get());
  ASSERT_EQ(SPEECH_DONE, control->Select(*gone.get(), 0));
  ASSERT_TRUE(WaitForNotes(goneListener, WM_SPEECH_VOICE_READY, 1)) << Describe(goneListener.Notes());

  HWND owner = nullptr, dialog = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEngineDialog(&owner, &dialog));
  ASSERT_EQ(SPEECH_DONE, control->Speak(*gone.get(), L"behind the dialog"));

  // The answer needs no voice thread; the time-out only keeps a hang from blocking the run.
  DWORD_PTR answer = 0;
  const LRESULT sent = SendMessageTimeoutW(control->hwnd(), WM_SPEECH_UNREGISTER_CLIENT,
                                           reinterpret_cast<WPARAM>(gone.get()), 0, SMTO_NORMAL, 60000, &answer);
  const DWORD sendError = GetLastError();
  const bool locked = sent != 0 && gone.Lock();
  ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();
  if (!sent) Sync();  // the held-up unregistering ends with the dialog: only then may the client go
  ASSERT_NE(0, sent) << "unregistering waited for the voice in its engine dialog (error " << sendError << ")";
  EXPECT_EQ(static_cast<DWORD_PTR>(SPEECH_DONE), answer);
  ASSERT_TRUE(locked);

  // The queued text is spoken once the dialog is gone, for nobody: its client was cleared.
  const auto spokenOnce = [&] { return !Spoken().empty(); };
  ASSERT_TRUE(PumpUntil(spokenOnce, 10000, fake.CallEvent())) << fakesapi::Describe(fake.Calls());
  Sync();
  gone.Unlock();
  EXPECT_EQ(0u, goneListener.Count(WM_SPEECH_STARTED)) << Describe(goneListener.Notes());
  DestroyWindow(owner);
}

// Fault: the ready notification of a voice went to the carrier's client although it was no
// longer registered.
TEST_F(SpeechControlTest, VoiceReadyIsDroppedForAnUnregisteredClient) {
  AddVoices(1);
  Start();
  control->Register(low);
  control->Register(high);
  ASSERT_TRUE(control->SelectAndWait(low, 0));

  HWND owner = nullptr, dialog = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEngineDialog(&owner, &dialog));

  // The new carrier's initialisation waits behind the dialog; the client goes before it is done.
  ASSERT_EQ(SPEECH_DONE, control->Select(low, 0));
  ASSERT_TRUE(PostMessageW(control->hwnd(), WM_SPEECH_UNREGISTER_CLIENT, reinterpret_cast<WPARAM>(&low.client), 0));
  ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << "error " << GetLastError();

  // The next client's ready notification comes after the gone client's would have.
  ASSERT_TRUE(control->SelectAndWait(high, 0)) << Describe(high.listener.Notes());
  Sync();
  EXPECT_EQ(1u, low.listener.Count(WM_SPEECH_VOICE_READY))
      << Describe(low.listener.Notes()) << fakesapi::Describe(fake.Calls());
  DestroyWindow(owner);
}

// ---- Settings on close ---------------------------------------------------------------------

TEST_F(SpeechControlTest, CloseSavesTheSpeechSettings) {
  AddVoices(2);
  constexpr DWORD kKeep = 0xABCD;  // a value that close must not touch
  constexpr int kNone = -100;
  struct Row {
    const char* name;
    int voice;  // -2: no selection
    int volume, rate;
    bool failReads;
    // Then, as the dialog changes voices: the client's voice changes to `next` (kNone: none),
    // which may get a volume and rate of its own (kNone: none), and back to `back` (kNone: none).
    int next, nextVolume, nextRate, back;
    DWORD curVoice, curVolume, curSpeed;
  } rows[] = {
      {"voice, volume and rate", 1, 37, -3, false, kNone, kNone, kNone, kNone, 1, 37, 7},
      {"rate -1 is a rate", 0, 0, -1, false, kNone, kNone, kNone, kNone, 0, 0, 9},
      {"extremes", 0, 100, 10, false, kNone, kNone, kNone, kNone, 0, 100, 20},
      {"values that cannot be read", 0, 80, 4, true, kNone, kNone, kNone, kNone, 0, kKeep, kKeep},
      {"no current voice", 9, 50, 0, false, kNone, kNone, kNone, kNone, 9, kKeep, kKeep},
      {"no voice ever chosen", -2, 50, 0, false, kNone, kNone, kNone, kNone, 0xFFFFFFFF, kKeep, kKeep},
      // A voice not used yet in this run speaks nothing before the close reads it back.
      {"a new voice after volume and rate", 0, 40, 3, false, 1, kNone, kNone, kNone, 1, 40, 13},
      // Back, within the idle time, to a voice whose engine still holds the old values.
      {"back to a voice still in the pool", 0, 40, 3, false, 1, 60, -2, 0, 0, 60, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Start();
    control->Register(low);
    if (row.voice >= 0 && row.voice < 2) {
      ASSERT_TRUE(control->SelectAndWait(low, row.voice));
      low.client.volume = row.volume;
      low.client.rate = row.rate;
      EXPECT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_APPLY_VOLUME, &low.client));
      EXPECT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_APPLY_RATE, &low.client));
    } else if (row.voice != -2) {
      EXPECT_EQ(SPEECH_FAILED, control->Select(low, row.voice));
    }
    if (row.next != kNone) {
      ASSERT_TRUE(control->SelectAndWait(low, row.next));
      if (row.nextVolume != kNone) {
        low.client.volume = row.nextVolume;
        low.client.rate = row.nextRate;
        EXPECT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_APPLY_VOLUME, &low.client));
        EXPECT_EQ(SPEECH_DONE, control->Send(WM_SPEECH_APPLY_RATE, &low.client));
      }
    }
    if (row.back != kNone) {
      ASSERT_TRUE(control->SelectAndWait(low, row.back));
      ASSERT_EQ(2, control->manager().PoolSize()) << "the first voice was not reused";
    }
    if (row.failReads) {
      fake.SetFailure(L"GetVolume", E_FAIL);
      fake.SetFailure(L"GetRate", E_FAIL);
    }
    {
      // The application key of this process only, for the writes of the shutdown.
      ScopedMachineOverride machine;
      ASSERT_EQ(ERROR_SUCCESS, machine.status()) << "RegOverridePredefKey";
      ScopedKey app(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvel\\Orvel Murmelin");
      ASSERT_TRUE(app.ok());
      app.SetDword(L"cur_volume", kKeep);
      app.SetDword(L"cur_speed", kKeep);
      ASSERT_TRUE(control->Stop());
      control.reset();
      DWORD value = 0;
      EXPECT_TRUE(app.GetDword(L"first", &value) && value == 0) << "first = " << value;
      value = 0x5555;
      EXPECT_TRUE(app.GetDword(L"cur_voice", &value));
      EXPECT_EQ(row.curVoice, value);
      value = 0x5555;
      EXPECT_TRUE(app.GetDword(L"cur_volume", &value));
      EXPECT_EQ(row.curVolume, value);
      value = 0x5555;
      EXPECT_TRUE(app.GetDword(L"cur_speed", &value));
      EXPECT_EQ(row.curSpeed, value);
    }
    fake.ClearFailures();
  }
}

}  // namespace
