// Voice threads and the SAPI 5 voice, against the fake SAPI server (testing/fakesapi) and, at the
// end, against the system's own SAPI.
#include "FakeSapiControl.h"
#include "TTSSapi5.h"
#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <thread>

using fakesapi::Call;
using voicetest::ActiveEntries;
using voicetest::MakeRequest;
using voicetest::Narrow;
using voicetest::Note;
using voicetest::PumpUntil;
using voicetest::TestOwner;
using voicetest::VoiceThread;
using VTTSFramework::CTTS_SAPI5;
using VTTSFramework::CTTS_Voice;
using VTTSFramework::CTTSMsg_speakToFile;
using VTTSFramework::TTSObjectCounts;

namespace {

// Any single step of a test; a safety net far above what a step needs, so that a loaded machine
// running tests side by side does not fail a correct build. Durations belong in bench/.
constexpr DWORD kWait = 60000;

// A call made on another thread whose end the test waits for (pumping its own messages).
template <typename T>
class Async {
 public:
  explicit Async(std::function<T()> call) : m_state(std::make_shared<State>()) {
    m_state->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto state = m_state;
    m_thread = std::thread([state, call] {
      state->value = call();
      SetEvent(state->done);
    });
  }
  ~Async() {
    // A call that never came back (a failed test) keeps its thread; it must not be joined.
    if (Finished())
      m_thread.join();
    else
      m_thread.detach();
  }
  bool Finished() const { return WaitForSingleObject(m_state->done, 0) == WAIT_OBJECT_0; }
  bool Wait(DWORD ms) {
    return PumpUntil([this] { return Finished(); }, ms, m_state->done);
  }
  T Value() const { return m_state->value; }

 private:
  struct State {
    ~State() {
      if (done) CloseHandle(done);
    }
    HANDLE done = nullptr;
    T value{};
  };
  std::shared_ptr<State> m_state;
  std::thread m_thread;
};

std::string Sequence(const std::vector<Note>& notes) {
  std::string out;
  for (const Note& n : notes) {
    out += voicetest::MessageName(n.message);
    out += " ";
  }
  return out;
}

class FakeSapiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    HRESULT hr = fakesapi::EnsureRegistered();
    ASSERT_EQ(S_OK, hr) << std::hex << "registering fakesapi.dll: 0x" << hr;
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new FakeSapiEnvironment);

// A test with the fake server switched on, one maker voice declared and an owner window.
class VoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_session = std::make_unique<fakesapi::Session>();
    fakesapi::VoiceSpec kasia;
    kasia.key = L"Orvel Vokant Kasia22";
    kasia.description = L"Orvel Vokant Kasia";
    kasia.name = L"Kasia";
    kasia.vendor = L"Orvel Software";
    kasia.language = L"415";
    kasia.ui = {L"AddRemoveWord", L"EngineProperties", L"Orvel Edit Simple Lex"};
    m_voiceId = m_session->AddVoice(kasia);
    ASSERT_FALSE(m_voiceId.empty());
    ASSERT_TRUE(m_owner.Create()) << "GetLastError " << GetLastError();
    m_client.volume = 100;
    m_client.rate = 0;
  }

  void TearDown() override {
    if (m_voice) {
      EXPECT_TRUE(m_voice->Quit()) << "the voice thread did not end";
    }
    m_voice.reset();
  }

  // Starts a voice on token `index` and waits until it reported ready.
  void StartVoice(int index = 0) {
    m_voice = std::make_unique<VoiceThread>(&m_owner);
    ASSERT_TRUE(m_voice->Valid());
    m_voice->Init(index, &m_client);
    ASSERT_TRUE(WaitNotes(WM_SPEECH_VOICE_READY, 1)) << Sequence(m_owner.notes);
  }

  bool WaitNotes(UINT message, size_t count, DWORD timeout = kWait) {
    return PumpUntil([&] { return m_owner.Count(message) >= count; }, timeout);
  }

  // Waits for the n-th (0-based) logged call of that name.
  bool WaitCall(const std::wstring& name, Call* found = nullptr, size_t nth = 0) {
    return PumpUntil(
        [&] {
          auto calls = m_session->Calls(name);
          if (calls.size() <= nth) return false;
          if (found) *found = calls[nth];
          return true;
        },
        kWait, m_session->CallEvent());
  }

  // Position of the first logged call accepted by `match`, or -1.
  int IndexOf(const std::function<bool(const Call&)>& match) const {
    auto calls = m_session->Calls();
    for (size_t i = 0; i < calls.size(); ++i)
      if (match(calls[i])) return static_cast<int>(i);
    return -1;
  }

  std::vector<Note> NotesExcept(UINT message) const {
    std::vector<Note> out;
    for (const Note& n : m_owner.notes)
      if (n.message != message) out.push_back(n);
    return out;
  }

  std::string Log() const { return Narrow(fakesapi::Describe(m_session->Calls())); }

  std::unique_ptr<fakesapi::Session> m_session;  // outlives the voice
  std::wstring m_voiceId;
  TestOwner m_owner;
  SpeechClient m_client;
  std::unique_ptr<VoiceThread> m_voice;
};

// ---- Initialisation ----------------------------------------------------------------------------

TEST_F(VoiceTest, InitialisationSetsTheTokenCallbackInterestAndOutput) {
  StartVoice(0);
  const std::vector<std::wstring> expected = {L"SetVoice", L"SetNotifyCallbackFunction", L"SetInterest", L"SetOutput"};
  std::vector<Call> calls;
  for (const Call& c : m_session->Calls())
    if (std::find(expected.begin(), expected.end(), c.name) != expected.end()) calls.push_back(c);
  ASSERT_EQ(expected.size(), calls.size()) << Log();
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], calls[i].name) << i;
  EXPECT_EQ(m_voiceId, calls[0].Field(L"voice"));
  // Start, end, word and sentence boundaries, with the two check bits, as interest and queue.
  EXPECT_EQ(L"0x2400000a6", calls[2].Field(L"interest"));
  EXPECT_EQ(L"0x2400000a6", calls[2].Field(L"queued"));
  EXPECT_EQ(L"default", calls[3].Field(L"output"));
  EXPECT_TRUE(m_owner.notes.back().hasSubject) << "VOICE_READY must find the carrier";
  EXPECT_EQ(0, m_voice->Get()->m_nTokenIndex);

  // The same index again is answered at once, without a new lookup.
  m_voice->Init(0, &m_client);
  ASSERT_TRUE(WaitNotes(WM_SPEECH_VOICE_READY, 2));
  EXPECT_EQ(1u, m_session->Calls(L"SetVoice").size()) << Log();
  EXPECT_EQ(0u, m_owner.Count(WM_SPEECH_ERROR));
}

TEST_F(VoiceTest, InitialisationFailuresReportTheirCodes) {
  struct Case {
    int index;
    int error;
  } cases[] = {{-1, TTSERR_NO_VOICE}, {5, TTSERR_VOICE_NOT_FOUND}, {-7, TTSERR_VOICE_NOT_FOUND}};
  StartVoice(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    m_owner.notes.clear();
    m_voice->Init(c.index, &m_client);
    ASSERT_TRUE(WaitNotes(WM_SPEECH_VOICE_READY, 1)) << Sequence(m_owner.notes);
    // The error comes first and takes the carrier; the ready notification then finds nothing.
    ASSERT_EQ(2u, m_owner.notes.size()) << Sequence(m_owner.notes);
    EXPECT_EQ(static_cast<UINT>(WM_SPEECH_ERROR), m_owner.notes[0].message);
    EXPECT_EQ(c.error, static_cast<int>(m_owner.notes[0].lParam));
    EXPECT_TRUE(m_owner.notes[0].hasSubject);
    EXPECT_FALSE(m_owner.notes[1].hasSubject);
    EXPECT_FALSE(m_voice->Get()->HasNoError());
  }
  // A failed lookup keeps the voice on its token.
  EXPECT_EQ(0, m_voice->Get()->m_nTokenIndex);
}

// ---- Commands, queue and blocking queries ------------------------------------------------------

TEST_F(VoiceTest, BlockingQueryQueuedBehindSlowCommandAnswersAfterIt) {
  StartVoice();
  m_session->SetHold(true);
  m_voice->Get()->Speak(MakeRequest(&m_client, L"one two"));
  // Every word is in before the stop, which holds the active list while it speaks.
  ASSERT_TRUE(WaitNotes(WM_SPEECH_WORD, 2));
  // The stop's own (empty) stream is held: the stop command does not return until released.
  m_voice->Get()->Stop();
  Call purge;
  ASSERT_TRUE(WaitCall(L"Speak", &purge)) << Log();
  CTTS_SAPI5* voice = m_voice->Get();
  ASSERT_TRUE(voice->SetVolume(30));
  Async<int> query([voice] { return voice->GetVolume(); });
  EXPECT_FALSE(query.Wait(100)) << "the query was answered while the command ahead of it ran";
  m_session->ReleaseHeld();
  ASSERT_TRUE(query.Wait(kWait));
  EXPECT_EQ(30, query.Value());
  int ended =
      IndexOf([&](const Call& c) { return c.name == L"StreamEnded" && c.Field(L"stream") == purge.Field(L"stream"); });
  int setVolume = IndexOf([](const Call& c) { return c.name == L"SetVolume" && c.Field(L"value") == L"30"; });
  int getVolume = IndexOf([](const Call& c) { return c.name == L"GetVolume"; });
  ASSERT_GE(ended, 0) << Log();
  EXPECT_LT(ended, setVolume) << Log();
  EXPECT_LT(setVolume, getVolume) << Log();
}

TEST_F(VoiceTest, CommandsPostedBeforeTheThreadIsReadyAreDelivered) {
  m_voice = std::make_unique<VoiceThread>(&m_owner, /*resume=*/false);
  ASSERT_TRUE(m_voice->Valid());
  CTTS_SAPI5* voice = m_voice->Get();
  EXPECT_FALSE(voice->m_bReady);
  voice->m_active.PushBack(new SpeakRequest(&m_client));
  // Two posters wait for the ready event at once; both must get through.
  Async<int> init([voice] {
    voice->Init(0);
    return 1;
  });
  Async<int> query([voice] { return voice->GetRate(); });
  EXPECT_FALSE(init.Wait(50)) << "a command was posted before the thread was ready";
  m_voice->Resume();
  ASSERT_TRUE(init.Wait(kWait));
  ASSERT_TRUE(query.Wait(kWait)) << "the second poster still waits for the ready event";
  ASSERT_TRUE(WaitNotes(WM_SPEECH_VOICE_READY, 1));
  EXPECT_TRUE(voice->m_bReady);
}

TEST_F(VoiceTest, VolumeAndRateOutsideTheirRangesAreNotSent) {
  StartVoice();
  struct Case {
    bool volume;
    int value;
    bool sent;
  } cases[] = {{true, 101, false}, {true, -1, false},  {false, 11, false}, {false, -11, false},
               {true, 0, true},    {false, -10, true}, {false, 10, true},  {true, 100, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.volume ? "volume " : "rate ") << c.value);
    size_t before = m_session->Calls(c.volume ? L"SetVolume" : L"SetRate").size();
    bool sent = c.volume ? m_voice->Get()->SetVolume(c.value) : m_voice->Get()->SetRate(c.value);
    EXPECT_EQ(c.sent, sent);
    // A blocking query behind it proves the command (if any) was handled.
    int readBack = c.volume ? m_voice->Get()->GetVolume() : m_voice->Get()->GetRate();
    auto calls = m_session->Calls(c.volume ? L"SetVolume" : L"SetRate");
    ASSERT_EQ(before + (c.sent ? 1 : 0), calls.size()) << Log();
    if (c.sent) {
      EXPECT_EQ(c.value, calls.back().Number(L"value"));
      EXPECT_EQ(c.value, readBack);
    }
  }
}

// ---- Speaking and its events -------------------------------------------------------------------

TEST_F(VoiceTest, StartWordAndEndEventsReachTheOwnerInOrder) {
  StartVoice();
  m_client.volume = 80;
  m_client.rate = 3;
  m_owner.notes.clear();
  SpeakRequest* request = MakeRequest(&m_client, L"Hello big world. Second one.");
  m_voice->Get()->Speak(request);
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1)) << Sequence(m_owner.notes);

  // Positions count in the text as stored, with its appended blank.
  struct Expected {
    UINT message;
    DWORD pos, len;
  } expected[] = {{WM_SPEECH_STARTED, 0, 0}, {WM_SPEECH_WORD, 0, 5},  {WM_SPEECH_WORD, 6, 3},
                  {WM_SPEECH_WORD, 10, 6},   {WM_SPEECH_WORD, 17, 6}, {WM_SPEECH_WORD, 24, 4},
                  {WM_SPEECH_FINISHED, 0, 0}};
  ASSERT_EQ(std::size(expected), m_owner.notes.size()) << Sequence(m_owner.notes);
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Note& n = m_owner.notes[i];
    SCOPED_TRACE(testing::Message() << "note " << i << " " << voicetest::MessageName(n.message));
    EXPECT_EQ(expected[i].message, n.message);
    EXPECT_EQ(reinterpret_cast<WPARAM>(static_cast<CTTS_Voice*>(m_voice->Get())), n.wParam);
    EXPECT_EQ(request, n.subject);
    if (n.message == WM_SPEECH_WORD) {
      ASSERT_TRUE(n.hasWord);
      EXPECT_EQ(expected[i].pos, n.word.position);
      EXPECT_EQ(expected[i].len, n.word.length);
    }
  }
  Call speak;
  ASSERT_TRUE(WaitCall(L"SpeakStream", &speak));
  EXPECT_EQ(L"Hello big world. Second one. ", speak.Field(L"text"));
  EXPECT_EQ(L"0x11", speak.Field(L"flags"));  // SPF_ASYNC | SPF_IS_NOT_XML
  EXPECT_EQ(80, speak.Number(L"volume"));
  EXPECT_EQ(3, speak.Number(L"rate"));
  EXPECT_EQ(m_voiceId, speak.Field(L"voice"));
  EXPECT_TRUE(ActiveEntries(m_voice->Get()).empty());
}

TEST_F(VoiceTest, SpeakFlagsBecomeEngineFlags) {
  struct Case {
    DWORD speakFlags;
    const wchar_t* engineFlags;
    std::vector<DWORD> wordPositions;  // of "<b>Hi</b> there"
  } cases[] = {
      {SPEAKF_ASYNC, L"0x11", {0, 10}},                 // SPF_ASYNC | SPF_IS_NOT_XML
      {SPEAKF_ASYNC | SPEAKF_PURGE, L"0x13", {0, 10}},  // + SPF_PURGEBEFORESPEAK
      {SPEAKF_ASYNC | SPEAKF_XML, L"0x9", {3, 10}},     // SPF_ASYNC | SPF_IS_XML
      {SPEAKF_ASYNC | SPEAKF_XML | SPEAKF_PURGE, L"0xb", {3, 10}},
  };
  StartVoice();
  size_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.speakFlags);
    m_owner.notes.clear();
    m_voice->Get()->Speak(MakeRequest(&m_client, L"<b>Hi</b> there", c.speakFlags));
    ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1)) << Sequence(m_owner.notes);
    Call speak;
    ASSERT_TRUE(WaitCall(L"SpeakStream", &speak, n++));
    EXPECT_EQ(c.engineFlags, speak.Field(L"flags"));
    std::vector<DWORD> positions;
    for (const Note& note : m_owner.notes)
      if (note.hasWord) positions.push_back(note.word.position);
    EXPECT_EQ(c.wordPositions, positions);
  }
}

TEST_F(VoiceTest, StopLeavesAPlaceholderThatTheEmptyStreamsEndRemoves) {
  StartVoice();
  m_owner.notes.clear();
  m_session->SetHold(true);
  SpeakRequest* request = MakeRequest(&m_client, L"one two three");
  m_voice->Get()->Speak(request);
  ASSERT_TRUE(WaitNotes(WM_SPEECH_WORD, 3));
  m_session->SetHold(false);
  m_voice->Get()->Stop();
  // The interrupted stream ends with its request; the stop's own stream with the placeholder.
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 2)) << Sequence(m_owner.notes);
  std::vector<Note> notes = NotesExcept(WM_SPEECH_WORD);
  struct Expected {
    UINT message;
    const SpeakRequest* subject;
  } expected[] = {{WM_SPEECH_STARTED, request},
                  {WM_SPEECH_FINISHED, request},
                  {WM_SPEECH_STARTED, nullptr},
                  {WM_SPEECH_FINISHED, nullptr}};
  ASSERT_EQ(std::size(expected), notes.size()) << Sequence(notes);
  for (size_t i = 0; i < notes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].message, notes[i].message);
    EXPECT_TRUE(notes[i].hasSubject);
    EXPECT_EQ(expected[i].subject, notes[i].subject);
  }
  Call purge;
  ASSERT_TRUE(WaitCall(L"Speak", &purge));
  EXPECT_EQ(L"", purge.Field(L"text"));
  EXPECT_EQ(L"0x2", purge.Field(L"flags"));  // SPF_PURGEBEFORESPEAK, synchronous
  EXPECT_TRUE(ActiveEntries(m_voice->Get()).empty());

  // A stop while nothing is spoken still purges and leaves a placeholder for its own stream.
  m_owner.notes.clear();
  m_voice->Get()->Stop();
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1)) << Sequence(m_owner.notes);
  ASSERT_EQ(2u, m_owner.notes.size()) << Sequence(m_owner.notes);
  EXPECT_EQ(nullptr, m_owner.notes[0].subject);
  EXPECT_EQ(nullptr, m_owner.notes[1].subject);
  EXPECT_TRUE(m_owner.notes[1].hasSubject);
  EXPECT_EQ(2u, m_session->Calls(L"Speak").size());
}

TEST_F(VoiceTest, PauseTwiceThenResumeOnceRunsAgain) {
  StartVoice();
  // Nothing active: there is nothing to pause.
  m_voice->Get()->Pause();
  EXPECT_FALSE(m_voice->Get()->IsPaused());
  EXPECT_TRUE(m_session->Calls(L"Pause").empty()) << Log();

  m_session->SetHold(true);
  m_voice->Get()->Speak(MakeRequest(&m_client, L"one two"));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_STARTED, 1));
  m_voice->Get()->Pause();
  m_voice->Get()->Pause();
  EXPECT_TRUE(m_voice->Get()->IsPaused());
  m_voice->Get()->Resume();
  EXPECT_FALSE(m_voice->Get()->IsPaused());
  EXPECT_EQ(1u, m_session->Calls(L"Pause").size()) << Log();
  EXPECT_EQ(1u, m_session->Calls(L"Resume").size()) << Log();
  m_session->SetHold(false);
  m_session->ReleaseHeld();
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1));
}

TEST_F(VoiceTest, SkipAsksTheEngineForSentences) {
  StartVoice();
  m_session->SetHold(true);
  m_voice->Get()->Speak(MakeRequest(&m_client, L"One. Two. Three."));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_STARTED, 1));
  m_voice->Get()->Skip(2);
  Call skip;
  ASSERT_TRUE(WaitCall(L"Skip", &skip));
  EXPECT_EQ(L"SENTENCE", skip.Field(L"type"));
  EXPECT_EQ(2, skip.Number(L"count"));
  m_session->SetHold(false);
  m_session->ReleaseHeld();
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1));
}

// ---- Failures ----------------------------------------------------------------------------------

// A failed speak must take exactly its own request off the active list, whatever stands before
// it: the entry in front still gets its own end.
TEST_F(VoiceTest, FailedSpeakRemovesExactlyTheFailedRequest) {
  struct Case {
    const char* name;
    bool placeholderInFront;
    HRESULT engineResult;
    int reported;
  } cases[] = {
      {"request in front, engine code passed on", false, static_cast<HRESULT>(0x80045042),
       static_cast<int>(0x80045042)},
      {"request in front, second engine code", false, static_cast<HRESULT>(0x80045043), static_cast<int>(0x80045043)},
      {"request in front, other failure", false, E_FAIL, TTSERR_SPEAK_FAILED},
      {"request and stop placeholder in front", true, E_OUTOFMEMORY, TTSERR_SPEAK_FAILED},
  };
  StartVoice();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_owner.notes.clear();
    m_session->SetHold(true);
    SpeakRequest* first = MakeRequest(&m_client, L"first one");
    m_voice->Get()->Speak(first);
    ASSERT_TRUE(WaitNotes(WM_SPEECH_WORD, 2));
    if (c.placeholderInFront) {
      // The stop is held in its own stream; the failing speak is handled right after it returns,
      // before any of the stop's events reached the owner.
      size_t speaks = m_session->Calls(L"Speak").size();
      m_voice->Get()->Stop();
      ASSERT_TRUE(WaitCall(L"Speak", nullptr, speaks)) << Log();
    }
    m_session->SetFailure(L"SpeakStream", c.engineResult, 1);
    SpeakRequest* failing = MakeRequest(&m_client, L"second");
    m_voice->Get()->Speak(failing);
    // Holding stays on until the case's one held stream has ended: switched off earlier, a stream
    // not yet at its end would end unheld, and its release would be left over for the next case,
    // ending that case's request before the stop that the case means to put in front of it.
    if (c.placeholderInFront) m_session->ReleaseHeld();  // ends the stop's stream
    ASSERT_TRUE(WaitNotes(WM_SPEECH_ERROR, 1)) << Sequence(m_owner.notes);
    const Note* error = m_owner.Last(WM_SPEECH_ERROR);
    EXPECT_EQ(c.reported, static_cast<int>(error->lParam));
    EXPECT_TRUE(error->hasSubject);
    EXPECT_EQ(failing, error->subject) << "the error removed another entry";
    if (!c.placeholderInFront) m_session->ReleaseHeld();  // ends the first request's stream
    // Each entry in front gets its own end, in order.
    std::vector<const SpeakRequest*> ends = {first};
    if (c.placeholderInFront) ends.push_back(nullptr);
    ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, ends.size())) << Sequence(m_owner.notes);
    std::vector<const SpeakRequest*> finished;
    for (const Note& n : m_owner.notes)
      if (n.message == WM_SPEECH_FINISHED) finished.push_back(n.subject);
    EXPECT_EQ(ends, finished) << "an entry in front did not get its own end";
    EXPECT_TRUE(ActiveEntries(m_voice->Get()).empty());
    m_session->SetHold(false);
  }
}

TEST_F(VoiceTest, WithoutAnEngineObjectSpeakingFailsAndQueriesAnswerMinusOne) {
  m_session->SetFailure(L"CreateSpVoice", E_OUTOFMEMORY);
  StartVoice();  // a failed creation is not reported: the voice still reports ready
  EXPECT_EQ(0u, m_owner.Count(WM_SPEECH_ERROR));
  SpeakRequest* request = MakeRequest(&m_client, L"nothing");
  m_voice->Get()->Speak(request);
  ASSERT_TRUE(WaitNotes(WM_SPEECH_ERROR, 1));
  EXPECT_EQ(TTSERR_SPEAK_FAILED, static_cast<int>(m_owner.Last(WM_SPEECH_ERROR)->lParam));
  EXPECT_EQ(request, m_owner.Last(WM_SPEECH_ERROR)->subject);
  EXPECT_EQ(-1, m_voice->Get()->GetVolume());
  EXPECT_EQ(-1, m_voice->Get()->GetRate());
  EXPECT_FALSE(m_voice->Get()->IsPaused());
  BOOL supported = TRUE;
  EXPECT_TRUE(FAILED(m_voice->Get()->IsUISupported(L"EngineProperties", nullptr, 0, &supported)));
}

// ---- Engine dialogs ----------------------------------------------------------------------------

TEST_F(VoiceTest, EngineDialogKinds) {
  struct Case {
    int kind;
    const wchar_t* type;  // null: no dialog
    bool failFirst;       // the first DisplayUI fails
  } cases[] = {
      {1, L"AddRemoveWord", false},
      {2, L"EngineProperties", false},
      {3, L"EngineProperties", false},
      {4, L"Orvel Edit Simple Lex", false},
      {5, nullptr, false},
      {2, L"EngineProperties", true},  // tried once more
      {1, nullptr, true},              // not tried again
  };
  StartVoice();
  const std::wstring text = L"abc";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << (c.failFirst ? " failing first" : ""));
    size_t shown = m_session->Calls(L"DisplayUI").size();
    if (c.failFirst) m_session->SetFailure(L"DisplayUI", E_FAIL, 1);
    m_voice->Get()->ShowDialog(m_owner.m_hWnd, c.kind, &text);
    if (c.type) {
      Call dialog;
      ASSERT_TRUE(WaitCall(L"DisplayUI", &dialog, shown)) << Log();
      EXPECT_EQ(c.type, dialog.Field(L"type"));
      EXPECT_EQ(reinterpret_cast<UINT_PTR>(m_owner.m_hWnd), static_cast<UINT_PTR>(dialog.Number(L"parent")));
      if (c.kind == 4) {
        EXPECT_EQ(text, dialog.Field(L"data"));
        EXPECT_EQ(static_cast<long>(text.size() * sizeof(wchar_t)), dialog.Number(L"size"));
      }
      HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(dialog.Number(L"dialog")));
      ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0)) << GetLastError();
    }
    // A blocking query after the dialog answers once the handler has returned.
    Async<int> after([this] { return m_voice->Get()->GetRate(); });
    ASSERT_TRUE(after.Wait(kWait));
    EXPECT_EQ(shown + (c.type ? 1 : 0), m_session->Calls(L"DisplayUI").size()) << Log();
    m_session->ClearFailures();
  }
  // A parent that is not a window shows nothing.
  m_voice->Get()->ShowDialog(nullptr, 2, nullptr);
  EXPECT_EQ(0, m_voice->Get()->GetRate());
  EXPECT_EQ(5u, m_session->Calls(L"DisplayUI").size());
}

// The engine's dialog runs a modal loop that drops the thread's wake messages. Commands queued
// meanwhile must still be handled when it closes, and a blocking query behind them answered.
TEST_F(VoiceTest, CommandsQueuedDuringTheEngineDialogAreHandledWhenItCloses) {
  StartVoice();
  m_voice->Get()->ShowDialog(m_owner.m_hWnd, 2, nullptr);
  Call dialog;
  ASSERT_TRUE(WaitCall(L"DisplayUI", &dialog)) << Log();
  CTTS_SAPI5* voice = m_voice->Get();
  voice->SetVolume(55);
  voice->Skip(1);
  Async<int> query([voice] { return voice->GetVolume(); });
  EXPECT_FALSE(query.Wait(100)) << "answered while the dialog was open";
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(dialog.Number(L"dialog")));
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0)) << GetLastError();
  ASSERT_TRUE(query.Wait(kWait)) << "a command queued during the dialog was stranded";
  EXPECT_EQ(55, query.Value());
  EXPECT_EQ(55, voice->GetVolume());
  EXPECT_EQ(1u, m_session->Calls(L"Skip").size());
}

TEST_F(VoiceTest, QuitDuringTheEngineDialogEndsTheThreadWhenItCloses) {
  StartVoice();
  m_voice->Get()->ShowDialog(m_owner.m_hWnd, 1, nullptr);
  Call dialog;
  ASSERT_TRUE(WaitCall(L"DisplayUI", &dialog)) << Log();
  // Posted messages arrive in order: the dialog's loop takes the quit before the close.
  ASSERT_TRUE(m_voice->Get()->PostThreadMessage(WM_VOICE_QUIT, 0, 0));
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(dialog.Number(L"dialog")));
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0)) << GetLastError();
  EXPECT_TRUE(m_voice->WaitForEnd(kWait)) << "the quit posted during the dialog was lost";
}

// ---- Wave files --------------------------------------------------------------------------------

TEST(WaveFileName, FormatsOneIntegerAndRefusesAnythingElse) {
  struct Case {
    const wchar_t* name;
    bool numbered;
    bool ok;
    const wchar_t* result;
  } cases[] = {
      {L"part%d.wav", true, true, L"C:\\out\\part7.wav"},
      {L"part%03d.wav", true, true, L"C:\\out\\part007.wav"},
      {L"100%%_%u.wav", true, true, L"C:\\out\\100%_7.wav"},
      {L"plain.wav", false, true, L"C:\\out\\plain.wav"},
      {L"%s.wav", false, true, L"C:\\out\\%s.wav"},  // not a format without numbering
      {L"%s.wav", true, false, nullptr},
      {L"%d%d.wav", true, false, nullptr},
      {L"none.wav", true, false, nullptr},
      {L"%999d.wav", true, false, nullptr},
      {L"trailing%", true, false, nullptr},
      {L"%n.wav", true, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    WaveOutputArgs output;
    output.pathPrefix = L"C:\\out\\";
    output.fileName = c.name;
    std::wstring name;
    EXPECT_EQ(c.ok, CTTS_SAPI5::FormatWaveFileName(output, c.numbered, 7, &name));
    if (c.ok) {
      EXPECT_EQ(c.result, name);
    }
  }
}

class WaveFileTest : public VoiceTest {
 protected:
  void SetUp() override {
    VoiceTest::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_dir = std::wstring(temp) + L"voicewave-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(m_notify.Create());
  }
  void TearDown() override {
    VoiceTest::TearDown();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((m_dir + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((m_dir + found.cFileName).c_str());
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(m_dir.c_str());
  }

  SpeakRequest* FileRequest(const wchar_t* text, const wchar_t* name, DWORD flags) {
    SpeakRequest* request = MakeRequest(&m_client, text, flags);
    request->output.reset(new WaveOutputArgs);
    request->output->pathPrefix = m_dir;
    request->output->fileName = name;
    request->output->notifyWindow = m_notify.m_hWnd;
    return request;
  }

  // The data size that a wave file's header gives, or -1 when it is no wave file of that size.
  long WaveDataBytes(const std::wstring& file) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    BYTE header[44] = {};
    DWORD got = 0;
    ReadFile(h, header, sizeof(header), &got, nullptr);
    DWORD size = GetFileSize(h, nullptr);
    CloseHandle(h);
    DWORD data = 0;
    memcpy(&data, header + 40, 4);
    if (got != 44 || memcmp(header, "RIFF", 4) || memcmp(header + 8, "WAVE", 4) || data + 44 != size) return -1;
    return static_cast<long>(data);
  }

  std::wstring m_dir;
  TestOwner m_notify{/*bookkeeping=*/false};
};

TEST_F(WaveFileTest, NumberedFilesOnePerSentenceWithSentenceMessages) {
  StartVoice();
  m_owner.notes.clear();
  SpeakRequest* request =
      FileRequest(L"One two. Three four. Five.", L"part%d.wav", SPEAKF_ASYNC | SPEAKF_NUMBERED_FILE);
  m_voice->Get()->PostCommand(new CTTSMsg_speakToFile(request));
  ASSERT_TRUE(PumpUntil([&] { return m_notify.Count(WM_SPEECH_FINISHED) == 1; }, kWait)) << Sequence(m_notify.notes);

  const LPARAM self = static_cast<LPARAM>(reinterpret_cast<WPARAM>(static_cast<CTTS_Voice*>(m_voice->Get())));
  struct Expected {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } expected[] = {{WM_SPEECH_STARTED, static_cast<WPARAM>(self), 0},
                  {WM_SPEECH_FILE_SENTENCE, 0, self},
                  {WM_SPEECH_FILE_SENTENCE, 1, self},
                  {WM_SPEECH_FILE_SENTENCE, 2, self},
                  {WM_SPEECH_FINISHED, static_cast<WPARAM>(self), 0}};
  ASSERT_EQ(std::size(expected), m_notify.notes.size()) << Sequence(m_notify.notes);
  for (size_t i = 0; i < m_notify.notes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].message, m_notify.notes[i].message);
    EXPECT_EQ(expected[i].wParam, m_notify.notes[i].wParam);
    EXPECT_EQ(expected[i].lParam, m_notify.notes[i].lParam);
  }
  EXPECT_TRUE(m_owner.notes.empty()) << "wave output reported to the owner: " << Sequence(m_owner.notes);
  // The request stays first in the active list with its result: the number of files.
  ASSERT_EQ(std::vector<SpeakRequest*>{request}, ActiveEntries(m_voice->Get()));
  EXPECT_EQ(3u, request->output->result);
  WordEvent sentence;
  const WordEvent sentences[] = {{0, 8}, {9, 11}, {21, 5}};
  for (const WordEvent& s : sentences) {
    ASSERT_TRUE(request->wordEvents.PopFront(sentence));
    EXPECT_EQ(s.position, sentence.position);
    EXPECT_EQ(s.length, sentence.length);
  }
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(WaveDataBytes(m_dir + L"part" + std::to_wstring(i) + L".wav"), 0);
  }
  EXPECT_EQ(-1, WaveDataBytes(m_dir + L"part3.wav"));
  // Speech events are back in place for what follows.
  auto calls = m_session->Calls();
  int ended = -1, interest = -1;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name == L"StreamEnded") ended = static_cast<int>(i);
    if (calls[i].name == L"SetInterest") interest = static_cast<int>(i);
  }
  ASSERT_GE(interest, 0);
  EXPECT_LT(ended, interest) << Log();
  EXPECT_EQ(L"0x2400000a6", calls[interest].Field(L"interest"));
}

TEST_F(WaveFileTest, SynchronousOutputWritesOneFileAndNoEvents) {
  StartVoice();
  m_owner.notes.clear();
  SpeakRequest* request = FileRequest(L"One two. Three.", L"whole.wav", 0);
  m_voice->Get()->PostCommand(new CTTSMsg_speakToFile(request));
  EXPECT_EQ(0, m_voice->Get()->GetRate());  // handled by now
  EXPECT_GT(WaveDataBytes(m_dir + L"whole.wav"), 0);
  EXPECT_TRUE(ActiveEntries(m_voice->Get()).empty());
  // A speak afterwards reports to the owner again, and nothing of the file did.
  m_voice->Get()->Speak(MakeRequest(&m_client, L"after"));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_FINISHED, 1));
  EXPECT_EQ(1u, m_owner.Count(WM_SPEECH_STARTED)) << Sequence(m_owner.notes);
  EXPECT_TRUE(m_notify.notes.empty());
}

TEST_F(WaveFileTest, AFileNameThatIsNoIntegerFormatFailsTheRequest) {
  StartVoice();
  m_owner.notes.clear();
  SpeakRequest* request = FileRequest(L"One.", L"%s.wav", SPEAKF_ASYNC | SPEAKF_NUMBERED_FILE);
  m_voice->Get()->PostCommand(new CTTSMsg_speakToFile(request));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_ERROR, 1));
  EXPECT_EQ(TTSERR_SPEAK_FAILED, static_cast<int>(m_owner.Last(WM_SPEECH_ERROR)->lParam));
  EXPECT_EQ(request, m_owner.Last(WM_SPEECH_ERROR)->subject);
  EXPECT_TRUE(m_session->Calls(L"BindToFile").empty()) << Log();
}

// ---- Teardown ----------------------------------------------------------------------------------

// Objects of the fake created and destroyed, and Releases too many.
void ExpectEngineObjectsReleasedOnce(const fakesapi::Session& session, const std::string& log) {
  for (const wchar_t* object : {L"SpVoice", L"EnumSpObjectTokens", L"SpObjectTokenCategory", L"SpObjectToken"}) {
    SCOPED_TRACE(Narrow(object));
    size_t created = 0, destroyed = 0;
    for (const Call& c : session.Calls()) {
      if (c.Field(L"object") != object) continue;
      created += c.name == L"Created";
      destroyed += c.name == L"Destroyed";
    }
    EXPECT_EQ(created, destroyed) << log;
  }
  EXPECT_TRUE(session.Calls(L"ExtraRelease").empty()) << log;
}

TEST_F(VoiceTest, DestroyFreesEveryCommandAndRequestOnce) {
  const long created0 = TTSObjectCounts::commandsCreated, destroyed0 = TTSObjectCounts::commandsDestroyed;
  const long freed0 = TTSObjectCounts::requestsFreed;
  StartVoice();  // its carrier: one request
  m_session->SetHold(true);
  m_voice->Get()->Speak(MakeRequest(&m_client, L"held here"));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_WORD, 2));
  m_voice->Get()->Stop();  // held inside its own stream
  ASSERT_TRUE(WaitCall(L"Speak"));
  CTTS_SAPI5* voice = m_voice->Get();
  voice->Destroy();
  voice->Speak(MakeRequest(&m_client, L"never spoken"));  // left in the queue
  voice->SetVolume(20);
  Async<int> query([voice] { return voice->GetRate(); });  // answered by the thread's end
  EXPECT_FALSE(query.Wait(50));
  m_session->ReleaseHeld();
  ASSERT_TRUE(m_voice->WaitForEnd(kWait));
  ASSERT_TRUE(query.Wait(kWait)) << "a blocking query queued behind the destroy was never answered";
  EXPECT_EQ(-1, query.Value());
  PumpUntil([] { return true; }, 0);  // notifications still on their way
  EXPECT_EQ(TTSObjectCounts::commandsCreated - created0, TTSObjectCounts::commandsDestroyed - destroyed0);
  EXPECT_EQ(3, TTSObjectCounts::requestsFreed - freed0);
  EXPECT_EQ(-1, IndexOf([](const Call& c) { return c.name == L"SetVolume" && c.Number(L"value") == 20; }))
      << "a command behind the destroy was handled";
  ExpectEngineObjectsReleasedOnce(*m_session, Log());
}

TEST_F(VoiceTest, QuitMessageFreesActiveRequestsAndReleasesTheEngineOnce) {
  const long freed0 = TTSObjectCounts::requestsFreed;
  StartVoice();
  m_session->SetHold(true);
  m_voice->Get()->Speak(MakeRequest(&m_client, L"still speaking"));
  m_voice->Get()->Speak(MakeRequest(&m_client, L"queued in the engine"));
  ASSERT_TRUE(WaitNotes(WM_SPEECH_STARTED, 1));
  EXPECT_EQ(2u, ActiveEntries(m_voice->Get()).size());
  ASSERT_TRUE(m_voice->Quit());
  PumpUntil([] { return true; }, 0);
  EXPECT_EQ(3, TTSObjectCounts::requestsFreed - freed0);
  ExpectEngineObjectsReleasedOnce(*m_session, Log());
}

// ---- The system's own SAPI ---------------------------------------------------------------------

// Without the fake, class requests reach the system's SAPI, which (under Wine) enumerates its
// voices but implements no voice method: every failure path must report and nothing may hang.
class SystemSapiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_owner.Create()); }
  TestOwner m_owner;
  SpeechClient m_client;
};

TEST_F(SystemSapiTest, FailuresReportTheirCodesAndNothingHangs) {
  VoiceThread voice(&m_owner);
  ASSERT_TRUE(voice.Valid());
  auto waitNotes = [&](UINT message, size_t count) {
    return PumpUntil([&] { return m_owner.Count(message) >= count; }, kWait);
  };
  struct Case {
    int index;
    int error;
  } cases[] = {{-1, TTSERR_NO_VOICE}, {1000, TTSERR_VOICE_NOT_FOUND}};
  size_t ready = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    size_t errors = m_owner.Count(WM_SPEECH_ERROR);
    voice.Init(c.index, &m_client);
    ASSERT_TRUE(waitNotes(WM_SPEECH_VOICE_READY, ++ready)) << Sequence(m_owner.notes);
    ASSERT_EQ(errors + 1, m_owner.Count(WM_SPEECH_ERROR));
    EXPECT_EQ(c.error, static_cast<int>(m_owner.Last(WM_SPEECH_ERROR)->lParam));
  }
  // The first voice of the system: found, but its voice object speaks nothing.
  size_t errors = m_owner.Count(WM_SPEECH_ERROR);
  voice.Init(0, &m_client);
  ASSERT_TRUE(waitNotes(WM_SPEECH_VOICE_READY, ++ready)) << Sequence(m_owner.notes);
  EXPECT_EQ(errors, m_owner.Count(WM_SPEECH_ERROR)) << "the system's first voice token was not found";
  SpeakRequest* request = MakeRequest(&m_client, L"hello");
  voice->Speak(request);
  ASSERT_TRUE(waitNotes(WM_SPEECH_ERROR, errors + 1)) << Sequence(m_owner.notes);
  const Note* error = m_owner.Last(WM_SPEECH_ERROR);
  EXPECT_EQ(TTSERR_SPEAK_FAILED, static_cast<int>(error->lParam));
  EXPECT_EQ(request, error->subject);
  voice->Stop();
  voice->Skip(1);
  voice->Pause();
  voice->ShowDialog(m_owner.m_hWnd, 2, nullptr);
  EXPECT_FALSE(voice->IsPaused());
  voice->SetVolume(50);
  int volume = voice->GetVolume();
  EXPECT_TRUE(volume == -1 || volume == 50) << volume;
  BOOL supported = FALSE;
  voice->IsUISupported(L"EngineProperties", nullptr, 0, &supported);
  EXPECT_TRUE(voice.Quit(kWait));
}

}  // namespace
