#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

namespace voicetest {

using VTTSFramework::CTTS_SAPI5;
using VTTSFramework::CTTS_Voice;
using VTTSFramework::FreeSpeakRequest;

const char* MessageName(UINT message) {
  switch (message) {
    case WM_SPEECH_STARTED:
      return "STARTED";
    case WM_SPEECH_WORD:
      return "WORD";
    case WM_SPEECH_FILE_SENTENCE:
      return "FILE_SENTENCE";
    case WM_SPEECH_FINISHED:
      return "FINISHED";
    case WM_SPEECH_ERROR:
      return "ERROR";
    case WM_SPEECH_VOICE_READY:
      return "VOICE_READY";
    case WM_SPEECH_PAUSE_CHANGED:
      return "PAUSE_CHANGED";
    default:
      return "?";
  }
}

TestOwner::~TestOwner() {
  if (m_hWnd) DestroyWindow();
}

bool TestOwner::Create() {
  return CreateEx(0, AfxRegisterWndClass(0), L"voice test owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr) != FALSE;
}

size_t TestOwner::Count(UINT message) const {
  size_t n = 0;
  for (const Note& note : notes) n += note.message == message;
  return n;
}

const Note* TestOwner::Last(UINT message) const {
  for (auto it = notes.rbegin(); it != notes.rend(); ++it)
    if (it->message == message) return &*it;
  return nullptr;
}

LRESULT TestOwner::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < WM_SPEECH_STARTED || message > WM_SPEECH_PAUSE_CHANGED)
    return CWnd::WindowProc(message, wParam, lParam);
  Note note;
  note.message = message;
  note.wParam = wParam;
  note.lParam = lParam;
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  if (m_bookkeeping) {
    switch (message) {
      case WM_SPEECH_STARTED: {
        CSingleLock lock(&voice->m_active.lock, TRUE);
        if (!voice->m_active.items.empty()) {
          note.subject = voice->m_active.items.front();
          note.hasSubject = true;
        }
        break;
      }
      case WM_SPEECH_WORD: {
        CSingleLock lock(&voice->m_active.lock, TRUE);
        SpeakRequest* first = voice->m_active.items.empty() ? nullptr : voice->m_active.items.front();
        note.subject = first;
        note.hasSubject = first != nullptr;
        if (first) note.hasWord = first->wordEvents.PopFront(note.word);
        break;
      }
      case WM_SPEECH_FINISHED:
      case WM_SPEECH_VOICE_READY: {
        SpeakRequest* entry = nullptr;
        if (voice->m_active.PopFront(entry)) {
          note.subject = entry;
          note.hasSubject = true;
          FreeSpeakRequest(entry);
        }
        if (message == WM_SPEECH_VOICE_READY) {
          voice->m_bInitialised = true;
          voice->m_initialisedEvent.SetEvent();
        }
        break;
      }
      case WM_SPEECH_ERROR: {
        SpeakRequest* entry = nullptr;
        if (voice->TakeErrorEntry(&entry)) {
          note.subject = entry;
          note.hasSubject = true;
          FreeSpeakRequest(entry);
        }
        break;
      }
      default:
        break;
    }
  }
  notes.push_back(note);
  return 0;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE extra) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    MsgWaitForMultipleObjects(extra ? 1 : 0, extra ? &extra : nullptr, FALSE, timeoutMs - spent, QS_ALLINPUT);
  }
}

VoiceThread::VoiceThread(CWnd* owner, bool resume) {
  CWinThread* thread = AfxBeginThread(RUNTIME_CLASS(CTTS_SAPI5), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  m_voice = static_cast<CTTS_SAPI5*>(thread);
  if (!m_voice) return;
  m_voice->m_bAutoDelete = FALSE;
  m_voice->m_pOwner = owner;
  if (resume) Resume();
}

VoiceThread::~VoiceThread() {
  if (m_voice && !m_ended && !Quit()) {
    // A thread that does not end keeps its object: deleting it would pull memory from under it.
    ADD_FAILURE() << "the voice thread did not end";
    return;
  }
  delete m_voice;
}

void VoiceThread::Resume() {
  if (m_voice) m_voice->ResumeThread();
}

void VoiceThread::Init(int tokenIndex, SpeechClient* client) {
  m_voice->m_active.PushBack(new SpeakRequest(client));
  m_voice->Init(tokenIndex);
}

bool VoiceThread::Quit(DWORD timeoutMs) {
  if (!m_voice || m_ended) return true;
  if (!m_voice->PostThreadMessage(WM_VOICE_QUIT, 0, 0) && WaitForSingleObject(m_voice->m_hThread, 0) != WAIT_OBJECT_0)
    return false;
  return WaitForEnd(timeoutMs);
}

bool VoiceThread::WaitForEnd(DWORD timeoutMs) {
  if (!m_voice || m_ended) return true;
  HANDLE thread = m_voice->m_hThread;
  m_ended = PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, timeoutMs, thread);
  return m_ended;
}

SpeakRequest* MakeRequest(SpeechClient* client, const wchar_t* text, DWORD flags) {
  auto* request = new SpeakRequest(client, flags);
  request->PrepareText(text);
  return request;
}

std::vector<SpeakRequest*> ActiveEntries(CTTS_Voice* voice) {
  CSingleLock lock(&voice->m_active.lock, TRUE);
  return std::vector<SpeakRequest*>(voice->m_active.items.begin(), voice->m_active.items.end());
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c < 128) ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace voicetest
