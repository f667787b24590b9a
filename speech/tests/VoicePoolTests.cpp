// The pool of voice threads behind the control window, and the blocking voice-list requests.
#include "FakeSapiControl.h"
#include "SpeechTestSupport.h"
#include "ThSpeechControl.h"
#include "VoiceManager.h"

#include <UniqueHandle.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

using speech_test::Client;
using speech_test::ControlThread;
using speech_test::Describe;
using speech_test::Note;
using speech_test::WaitForNotes;

namespace {

struct ThreadHandle {
  explicit ThreadHandle(DWORD id) : handle(OpenThread(SYNCHRONIZE, FALSE, id)) {}
  bool Ended(DWORD timeoutMs) const { return handle && WaitForSingleObject(handle.get(), timeoutMs) == WAIT_OBJECT_0; }
  win::UniqueKernelHandle handle;
};

class VoicePoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, fakesapi::EnsureRegistered());
    for (int i = 0; i < 3; ++i) {
      const std::wstring name = L"Voice " + std::to_wstring(i);
      tokens.push_back(fake.AddVoice({L"PoolVoice" + std::to_wstring(i), name, name, L"Other", L"409", {}, true}));
    }
  }
  void TearDown() override {
    if (control) {
      EXPECT_TRUE(control->Stop());
    }
    control.reset();
  }
  VoiceManager::PoolState State(int index) {
    VoiceManager::PoolState s;
    EXPECT_TRUE(control->manager().GetPoolState(index, &s)) << "voice " << index << " is not pooled";
    return s;
  }

  // Ends the pooled voice of list entry `index`, which must be released, as the cleanup thread
  // does after its idle passes; false when its thread did not end.
  bool Reap(int index) {
    ThreadHandle thread(State(index).threadId);
    for (int pass = 0; pass < VoiceManager::kIdlePasses; ++pass) control->manager().RunCleanupPass();
    return !control->manager().GetPoolState(index, nullptr) && thread.Ended(10000);
  }
  // The voices that the engine was asked to speak with, in order.
  std::vector<std::wstring> SpokenBy() const {
    std::vector<std::wstring> voices;
    for (const fakesapi::Call& c : fake.Calls(L"SpeakStream")) voices.push_back(c.Field(L"voice"));
    return voices;
  }

  fakesapi::Session fake;
  std::vector<std::wstring> tokens;  // of the list entries 0, 1, 2
  Client client;
  std::unique_ptr<ControlThread> control;
};

TEST_F(VoicePoolTest, ReleasedVoiceIsReusedWithinTheIdleWindowAndReapedAfterIt) {
  // The cleanup thread sleeps through the test; the test runs its passes itself.
  control = std::make_unique<ControlThread>(600000);
  ASSERT_TRUE(control->Started());
  VoiceManager& pool = control->manager();
  control->Register(client);
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  const VoiceManager::PoolState first = State(0);
  EXPECT_EQ(1, first.refCount);
  EXPECT_EQ(-1, first.idleCountdown);

  ASSERT_TRUE(control->SelectAndWait(client, 1));
  EXPECT_EQ(0, State(0).refCount);
  EXPECT_EQ(VoiceManager::kIdlePasses, State(0).idleCountdown);
  EXPECT_EQ(-1, State(1).idleCountdown);
  for (int pass = 1; pass < VoiceManager::kIdlePasses; ++pass) {
    pool.RunCleanupPass();
    EXPECT_EQ(VoiceManager::kIdlePasses - pass, State(0).idleCountdown) << "pass " << pass;
    EXPECT_EQ(-1, State(1).idleCountdown) << "a voice in use counts down";
  }

  // Acquired again on the last pass before its end: the same thread, in use again.
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  const VoiceManager::PoolState again = State(0);
  EXPECT_EQ(first.voice, again.voice);
  EXPECT_EQ(first.threadId, again.threadId);
  EXPECT_EQ(-1, again.idleCountdown);
  EXPECT_EQ(1, again.refCount);

  // Voice 1 is idle now: reaped on the fifth pass, and its thread ends.
  const VoiceManager::PoolState second = State(1);
  ThreadHandle secondThread(second.threadId);
  ASSERT_NE(nullptr, secondThread.handle.get()) << "error " << GetLastError();
  for (int pass = 1; pass < VoiceManager::kIdlePasses; ++pass) pool.RunCleanupPass();
  EXPECT_TRUE(pool.GetPoolState(1, nullptr));
  EXPECT_FALSE(secondThread.Ended(0));
  pool.RunCleanupPass();
  EXPECT_FALSE(pool.GetPoolState(1, nullptr));
  EXPECT_TRUE(secondThread.Ended(5000)) << "the reaped voice thread did not end";
  EXPECT_EQ(1, pool.PoolSize());

  // A later acquisition of a reaped voice starts a new thread.
  ASSERT_TRUE(control->SelectAndWait(client, 1));
  EXPECT_NE(second.threadId, State(1).threadId);
  ASSERT_EQ(SPEECH_DONE, control->Speak(client, L"new thread"));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_FINISHED, 1)) << Describe(client.listener.Notes());
}

// Fault: a new voice thread took the token at the list entry's position in the category as it
// was when the thread started, so after a voice was installed ahead of the chosen one another
// voice spoke, and after the chosen one was removed, the voice behind it.
TEST_F(VoicePoolTest, ANewVoiceThreadSpeaksWithTheListedTokenOrReportsItGone) {
  control = std::make_unique<ControlThread>(600000);
  ASSERT_TRUE(control->Started());
  control->Register(client);
  ASSERT_TRUE(control->SelectAndWait(client, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(client, L"as listed"));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_FINISHED, 1)) << Describe(client.listener.Notes());

  // A product installs a voice whose token comes before the chosen one in the category.
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  ASSERT_FALSE(fake.AddVoice({L"PoolVoice0Added", L"Added", L"Added", L"Other", L"409", {}, true}).empty());
  ASSERT_TRUE(Reap(1)) << "the released voice was not reaped";
  ASSERT_TRUE(control->SelectAndWait(client, 1));
  ASSERT_EQ(SPEECH_DONE, control->Speak(client, L"after an install"));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_FINISHED, 2)) << Describe(client.listener.Notes());
  EXPECT_EQ((std::vector<std::wstring>{tokens[1], tokens[1]}), SpokenBy()) << fakesapi::Describe(fake.Calls());

  // The chosen voice is uninstalled: its entry reports the voice error and nothing speaks.
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  ASSERT_TRUE(fake.RemoveVoice(L"PoolVoice1"));
  ASSERT_TRUE(Reap(1)) << "the released voice was not reaped";
  const size_t errors = client.listener.Count(WM_SPEECH_ERROR);
  ASSERT_EQ(SPEECH_DONE, control->Select(client, 1));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_ERROR, errors + 1)) << Describe(client.listener.Notes());
  const Note gone = client.listener.Notes(WM_SPEECH_ERROR).back();
  EXPECT_EQ(TTSERR_VOICE_NOT_FOUND, static_cast<int>(gone.wParam));
  EXPECT_EQ(1, static_cast<int>(gone.lParam));
  ASSERT_EQ(SPEECH_DONE, control->Speak(client, L"after the removal"));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_ERROR, errors + 2)) << Describe(client.listener.Notes());
  EXPECT_EQ(TTSERR_SPEAK_FAILED, static_cast<int>(client.listener.Notes(WM_SPEECH_ERROR).back().wParam));
  EXPECT_EQ(2u, SpokenBy().size()) << fakesapi::Describe(fake.Calls());
}

TEST_F(VoicePoolTest, CleanupThreadReapsIdleVoices) {
  control = std::make_unique<ControlThread>(5);
  ASSERT_TRUE(control->Started());
  control->Register(client);
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  ThreadHandle firstThread(State(0).threadId);
  ASSERT_NE(nullptr, firstThread.handle.get());
  ASSERT_TRUE(control->SelectAndWait(client, 2));
  EXPECT_TRUE(firstThread.Ended(5000)) << "the idle voice thread was not reaped";
  EXPECT_FALSE(control->manager().GetPoolState(0, nullptr));
  // The voice in use stays.
  ASSERT_EQ(SPEECH_DONE, control->Speak(client, L"still speaking"));
  ASSERT_TRUE(WaitForNotes(client.listener, WM_SPEECH_FINISHED, 1)) << Describe(client.listener.Notes());
  EXPECT_TRUE(control->manager().GetPoolState(2, nullptr));
}

TEST_F(VoicePoolTest, ShutdownEndsEveryVoiceThread) {
  control = std::make_unique<ControlThread>(600000);
  ASSERT_TRUE(control->Started());
  control->Register(client);
  ASSERT_TRUE(control->SelectAndWait(client, 0));
  ThreadHandle first(State(0).threadId);
  ASSERT_TRUE(control->SelectAndWait(client, 1));
  ThreadHandle second(State(1).threadId);
  ASSERT_TRUE(control->Stop());
  control.reset();
  EXPECT_TRUE(first.Ended(0));
  EXPECT_TRUE(second.Ended(0));
}

TEST_F(VoicePoolTest, VoiceListFromAnotherThread) {
  control = std::make_unique<ControlThread>(600000);
  ASSERT_TRUE(control->Started());
  VTTSFramework::CThSpeechControl* thread = control->thread();

  std::deque<VoiceInfo> voices;
  ASSERT_EQ(3, VTTSFramework::CThSpeechControl::GetVoiceList(thread, voices));
  ASSERT_EQ(3u, voices.size());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(L"Voice " + std::to_wstring(i), voices[static_cast<size_t>(i)].name);
    VoiceInfo one;
    EXPECT_TRUE(VTTSFramework::CThSpeechControl::GetVoiceInfo(thread, i, one)) << i;
    EXPECT_EQ(voices[static_cast<size_t>(i)].name, one.name);
    EXPECT_EQ(voices[static_cast<size_t>(i)].index, one.index);
  }
  for (int index : {-1, 3, 1000}) {
    VoiceInfo untouched;
    untouched.description = L"unchanged";
    EXPECT_FALSE(VTTSFramework::CThSpeechControl::GetVoiceInfo(thread, index, untouched)) << index;
    EXPECT_EQ(L"unchanged", untouched.description) << index;
  }
}

}  // namespace
