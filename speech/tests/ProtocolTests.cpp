// Tests of the speech protocol records: listeners, speak requests and their streams, the voice
// list requests and TogglePause, with windows that record the messages they receive.
#include "SpeechProtocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWait = 60000;  // a safety net, not a duration under test

LPCWSTR PlainClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SpeechProtocolTest";
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered) << "RegisterClassW failed, error " << GetLastError();
  return L"SpeechProtocolTest";
}

struct Msg {
  HWND hWnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Msg& o) const {
    return hWnd == o.hWnd && message == o.message && wParam == o.wParam && lParam == o.lParam;
  }
};

std::ostream& operator<<(std::ostream& os, const Msg& m) {
  char b[96];
  snprintf(b, sizeof b, "{hwnd %p, msg 0x%x, w 0x%llx, l 0x%llx}", static_cast<void*>(m.hWnd), m.message,
           static_cast<unsigned long long>(m.wParam), static_cast<unsigned long long>(m.lParam));
  return os << b;
}

// Takes every posted message of the given range from this thread's queue, in order.
std::vector<Msg> TakePosted(UINT first, UINT last) {
  std::vector<Msg> out;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE))
    out.push_back({msg.hwnd, msg.message, msg.wParam, msg.lParam});
  return out;
}

HWND MakeWindow() {
  HWND h = CreateWindowExW(0, PlainClass(), L"listener", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(h, nullptr) << "CreateWindowExW failed, error " << GetLastError();
  return h;
}

// ---------------------------------------------------------------------------------------------
TEST(SpeechClient, ListenersAreCountedOnceAndOnlyLiveWindowsArePosted) {
  SpeechClient client;
  HWND a = MakeWindow();
  HWND b = MakeWindow();
  HWND gone = MakeWindow();
  client.AddListener(a);
  client.AddListener(gone);
  client.AddListener(a);
  client.AddListener(b);
  ASSERT_TRUE(DestroyWindow(gone));
  ASSERT_EQ(client.listeners.items.size(), 3u);
  EXPECT_EQ(client.listeners.items[0].refCount, 2);
  EXPECT_EQ(client.listeners.items[1].refCount, 1);

  client.NotifyListeners(WM_SPEECH_WORD, 12, 5);
  client.NotifyListeners(WM_SPEECH_FINISHED, 0, 0);
  const std::vector<Msg> expected = {{a, WM_SPEECH_WORD, 12, 5},
                                     {b, WM_SPEECH_WORD, 12, 5},
                                     {a, WM_SPEECH_FINISHED, 0, 0},
                                     {b, WM_SPEECH_FINISHED, 0, 0}};
  EXPECT_EQ(TakePosted(WM_SPEECH_STARTED, WM_SPEECH_PAUSE_CHANGED), expected);
  DestroyWindow(a);
  DestroyWindow(b);
}

// ---------------------------------------------------------------------------------------------
std::vector<BYTE> StreamBytes(IStream* stream) {
  std::vector<BYTE> out;
  if (!stream) return out;
  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  LARGE_INTEGER zero{};
  EXPECT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
  out.resize(static_cast<size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  if (!out.empty()) {
    EXPECT_EQ(stream->Read(out.data(), static_cast<ULONG>(out.size()), &read), S_OK);
  }
  out.resize(read);
  return out;
}

std::vector<BYTE> Utf16Bytes(const std::wstring& s) {
  std::vector<BYTE> out;
  for (wchar_t c : s) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  return out;
}

TEST(SpeakRequest, TextAndStreamBytes) {
  struct Case {
    const wchar_t* source;
    DWORD flags;
    std::wstring stored;
  } cases[] = {
      {L"ab", 0, L"ab "},
      {L"", 0, L" "},
      {nullptr, 0, L" "},
      {L"Za\x017C\x00F3\x0142\x0107", SPEAKF_PURGE, L"Za\x017C\x00F3\x0142\x0107 "},
      {L"xyz", SPEAKF_ADOPT_TEXT, L"xyz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << (c.source ? "given" : "null") << "\" flags " << c.flags);
    SpeakRequest request(nullptr, c.flags);
    const wchar_t* source = c.source;
    wchar_t* adopted = nullptr;
    if (c.flags & SPEAKF_ADOPT_TEXT) {
      adopted = new wchar_t[wcslen(c.source) + 1];
      wcscpy(adopted, c.source);
      source = adopted;
    }
    request.PrepareText(source);
    EXPECT_EQ(std::wstring(request.Text()), c.stored);
    EXPECT_EQ(request.length, c.stored.size());
    if (adopted) {
      EXPECT_EQ(request.text.get(), adopted) << "the caller's array is taken, not copied";
    }
    EXPECT_EQ(request.lastWordPosition, 0u);
    EXPECT_EQ(request.offsetRead, 0u);

    ASSERT_TRUE(request.BuildStream());
    std::vector<BYTE> expected = {0xFF, 0xFE};
    const std::vector<BYTE> body = Utf16Bytes(c.stored);
    expected.insert(expected.end(), body.begin(), body.end());
    expected.push_back(0);
    expected.push_back(0);
    EXPECT_EQ(StreamBytes(request.stream.Get()), expected) << "byte-order mark, text, terminating NUL";
    EXPECT_EQ(expected.size(), request.length * 2 + 4);
  }
}

TEST(SpeakRequest, BuildStreamReplacesTheEarlierStream) {
  SpeakRequest request;
  request.PrepareText(L"one");
  ASSERT_TRUE(request.BuildStream());
  Microsoft::WRL::ComPtr<IStream> first = request.stream;
  request.KeepTail(2);
  ASSERT_TRUE(request.BuildStream());
  EXPECT_NE(request.stream.Get(), first.Get());
  EXPECT_EQ(StreamBytes(request.stream.Get()), (std::vector<BYTE>{0xFF, 0xFE, 'e', 0, ' ', 0, 0, 0}));
}

TEST(SpeakRequest, KeepTail) {
  struct Case {
    DWORD keep;
    std::wstring expected;
  } cases[] = {{6, L"world "}, {12, L"hello world "}, {13, L"hello world "}, {100, L"hello world "}, {1, L" "},
               {0, L""}};
  for (const Case& c : cases) {
    SpeakRequest request;
    request.PrepareText(L"hello world");
    request.KeepTail(c.keep);
    EXPECT_EQ(std::wstring(request.Text()), c.expected) << "KeepTail(" << c.keep << ")";
    EXPECT_EQ(request.length, c.expected.size()) << "KeepTail(" << c.keep << ")";
  }
}

// ---------------------------------------------------------------------------------------------
// A stand-in control window that answers WM_SPEECH_IS_PAUSED and records every request.
class CPauseAnswerWnd : public CWnd {
 public:
  LRESULT pausedAnswer = 0;
  std::vector<Msg> received;

 protected:
  afx_msg LRESULT OnIsPaused(WPARAM w, LPARAM l) {
    received.push_back({m_hWnd, WM_SPEECH_IS_PAUSED, w, l});
    return pausedAnswer;
  }
  afx_msg LRESULT OnPause(WPARAM w, LPARAM l) {
    received.push_back({m_hWnd, WM_SPEECH_PAUSE, w, l});
    return SPEECH_DONE;
  }
  afx_msg LRESULT OnResume(WPARAM w, LPARAM l) {
    received.push_back({m_hWnd, WM_SPEECH_RESUME, w, l});
    return SPEECH_DONE;
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CPauseAnswerWnd, CWnd)
  ON_MESSAGE(WM_SPEECH_IS_PAUSED, &CPauseAnswerWnd::OnIsPaused)
  ON_MESSAGE(WM_SPEECH_PAUSE, &CPauseAnswerWnd::OnPause)
  ON_MESSAGE(WM_SPEECH_RESUME, &CPauseAnswerWnd::OnResume)
END_MESSAGE_MAP()

TEST(TogglePause, AsksThenPausesOrResumes) {
  CPauseAnswerWnd control;
  ASSERT_TRUE(control.CreateEx(0, PlainClass(), L"SCwnd", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr));
  SpeechClient client;
  client.controlWindow = &control;
  const WPARAM w = reinterpret_cast<WPARAM>(&client);
  HWND h = control.m_hWnd;
  struct Case {
    LRESULT answer;
    int expected;
    std::vector<Msg> sequence;
  } cases[] = {
      {0, 1, {{h, WM_SPEECH_IS_PAUSED, w, 0}, {h, WM_SPEECH_PAUSE, w, 0}}},
      {1, 0, {{h, WM_SPEECH_IS_PAUSED, w, 0}, {h, WM_SPEECH_RESUME, w, 0}}},
      {5, 0, {{h, WM_SPEECH_IS_PAUSED, w, 0}, {h, WM_SPEECH_RESUME, w, 0}}},
      {-1, -1, {{h, WM_SPEECH_IS_PAUSED, w, 0}}},
  };
  for (const Case& c : cases) {
    control.pausedAnswer = c.answer;
    control.received.clear();
    EXPECT_EQ(TogglePause(&client), c.expected) << "IS_PAUSED answered " << c.answer;
    EXPECT_EQ(control.received, c.sequence) << "IS_PAUSED answered " << c.answer;
  }
  SpeechClient unregistered;
  control.received.clear();
  EXPECT_EQ(TogglePause(&unregistered), -1);
  EXPECT_EQ(TogglePause(nullptr), -1);
  EXPECT_TRUE(control.received.empty());
  control.DestroyWindow();
}

// ---------------------------------------------------------------------------------------------
// A stand-in control thread that answers the voice list requests from its list.
std::deque<VoiceInfo> g_voices;
std::atomic<int> g_selfListResult{-2};
HANDLE g_selfDone = nullptr;

class CVoiceListThread : public CWinThread {
  DECLARE_DYNCREATE(CVoiceListThread)
 public:
  CVoiceListThread() { m_bAutoDelete = FALSE; }
  BOOL InitInstance() override { return TRUE; }

 protected:
  afx_msg void OnList(WPARAM w, LPARAM) { AnswerVoiceListRequest(*reinterpret_cast<VoiceListRequest*>(w), g_voices); }
  afx_msg void OnInfo(WPARAM w, LPARAM) { AnswerVoiceInfoRequest(*reinterpret_cast<VoiceInfoRequest*>(w), g_voices); }
  afx_msg void OnAskSelf(WPARAM, LPARAM) {
    std::deque<VoiceInfo> out;
    g_selfListResult = RequestVoiceList(GetCurrentThreadId(), out);
    SetEvent(g_selfDone);
  }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(CVoiceListThread, CWinThread)
BEGIN_MESSAGE_MAP(CVoiceListThread, CWinThread)
  ON_THREAD_MESSAGE(WM_SPEECHTHREAD_GET_VOICE_LIST, &CVoiceListThread::OnList)
  ON_THREAD_MESSAGE(WM_SPEECHTHREAD_GET_VOICE_INFO, &CVoiceListThread::OnInfo)
  ON_THREAD_MESSAGE(WM_APP + 9, &CVoiceListThread::OnAskSelf)
END_MESSAGE_MAP()

VoiceInfo Voice(int index, const wchar_t* name) {
  VoiceInfo v;
  v.index = index;
  v.valid = true;
  v.reserved = VOICE_RESERVED_ENUMERATED;
  v.name = name;
  v.language = 1045;
  return v;
}

TEST(VoiceRequests, BlockingRequestsAcrossThreads) {
  g_voices = {Voice(0, L"Ewa"), Voice(1, L"Jacek")};
  g_selfDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  CWinThread* thread = AfxBeginThread(RUNTIME_CLASS(CVoiceListThread));
  ASSERT_NE(thread, nullptr);

  std::deque<VoiceInfo> list;
  EXPECT_EQ(RequestVoiceList(thread->m_nThreadID, list), 2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].name, L"Jacek");

  struct Case {
    int index;
    bool found;
    const wchar_t* name;
  } cases[] = {{0, true, L"Ewa"}, {1, true, L"Jacek"}, {-1, false, L"unchanged"}, {2, false, L"unchanged"}};
  for (const Case& c : cases) {
    VoiceInfo entry = Voice(77, L"unchanged");
    EXPECT_EQ(RequestVoiceInfo(thread->m_nThreadID, c.index, entry), c.found) << "index " << c.index;
    EXPECT_EQ(entry.name, c.name) << "index " << c.index;
  }

  // On the control thread itself the request cannot be answered; it must not wait forever.
  ASSERT_TRUE(thread->PostThreadMessage(WM_APP + 9, 0, 0));
  ASSERT_EQ(WaitForSingleObject(g_selfDone, kWait), WAIT_OBJECT_0) << "the self request hung";
  EXPECT_EQ(g_selfListResult.load(), 0);

  thread->PostThreadMessage(WM_QUIT, 0, 0);
  EXPECT_EQ(WaitForSingleObject(thread->m_hThread, kWait), WAIT_OBJECT_0);
  delete thread;
  CloseHandle(g_selfDone);

  // A thread that is gone cannot answer either.
  VoiceInfo entry;
  EXPECT_FALSE(RequestVoiceInfo(0x7FFFFFF0, 0, entry));
  EXPECT_EQ(RequestVoiceList(0x7FFFFFF0, list), 0);
}

TEST(VoiceInfo, EmptyEntry) {
  const VoiceInfo v;
  EXPECT_EQ(v.index, -1);
  EXPECT_FALSE(v.valid);
  EXPECT_EQ(v.language, 0);
  EXPECT_EQ(v.languageRow, -1);
  EXPECT_EQ(v.dialogs, 0u);
  EXPECT_EQ(v.type, 1);
  EXPECT_EQ(v.samplingRate, -1);
  EXPECT_FALSE(v.params);
}

}  // namespace
