#include "ThSpeechControl.h"

#include "ReaderTestHooks.h"
#include "ThreadName.h"

#include <objbase.h>

#include <memory>

namespace VTTSFramework {

IMPLEMENT_DYNCREATE(CThSpeechControl, CWinThread)

CThSpeechControl::CThSpeechControl() = default;

// The voice manager's destructor stops the cleanup thread; the event closes with its object.
CThSpeechControl::~CThSpeechControl() = default;

BOOL CThSpeechControl::InitInstance() {
  orv_reader::testhooks::InjectFault(orv_reader::testhooks::FaultPoint::SpeechThreadStart);
  SetThreadName(static_cast<DWORD>(-1), "CThSpeechControl");
  const HRESULT hr = ::CoInitialize(nullptr);
  if (FAILED(hr)) LogSpeechFailure(L"CThSpeechControl: CoInitialize failed", static_cast<DWORD>(hr));
  if (!m_voiceManager.Start()) LogSpeechFailure(L"CThSpeechControl: the voice cleanup thread did not start", 0);

  try {
    std::unique_ptr<CSpeechControl> window(new CSpeechControl());
    if (window->CreateEx(0, kSpeechControlClass, kSpeechControlName, WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow(),
                         nullptr, nullptr)) {
      window->SendMessage(WM_SPEECH_SET_VOICE_MANAGER, reinterpret_cast<WPARAM>(&m_voiceManager), 0);
      m_pControlWnd = window.release();
      m_pMainWnd = m_pControlWnd;
    } else {
      LogSpeechFailure(L"CThSpeechControl: the control window could not be created", ::GetLastError());
    }
  } catch (CException* e) {
    LogSpeechFailure(L"CThSpeechControl: the control window class could not be registered", ::GetLastError());
    e->Delete();
  }
  // Set also after a failure: the UI thread waits for it without limit and then finds no window,
  // which makes every request fail instead of hanging the reader. The thread keeps running so
  // that the shutdown message ends it as usual.
  m_readyEvent.SetEvent();
  return TRUE;
}

int CThSpeechControl::ExitInstance() {
  ::CoUninitialize();
  return CWinThread::ExitInstance();
}

BOOL CThSpeechControl::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->hwnd == nullptr) {
    switch (pMsg->message) {
      case WM_SPEECHTHREAD_GET_VOICE_LIST:
        if (pMsg->wParam)
          AnswerVoiceListRequest(*reinterpret_cast<const VoiceListRequest*>(pMsg->wParam), m_voiceManager.Voices());
        return TRUE;
      case WM_SPEECHTHREAD_GET_VOICE_INFO:
        if (pMsg->wParam)
          AnswerVoiceInfoRequest(*reinterpret_cast<const VoiceInfoRequest*>(pMsg->wParam), m_voiceManager.Voices());
        return TRUE;
      case WM_SPEECHTHREAD_SHUTDOWN:
        Shutdown(static_cast<LPARAM>(pMsg->wParam));
        return TRUE;
      default:
        break;
    }
  }
  return CWinThread::PreTranslateMessage(pMsg);
}

void CThSpeechControl::Shutdown(LPARAM closeMode) {
  if (m_pControlWnd) m_pControlWnd->SendMessage(WM_SPEECH_CLOSE, 1, closeMode);
  m_voiceManager.Shutdown();
  if (m_pControlWnd) {
    m_pControlWnd->DestroyWindow();
    delete m_pControlWnd;
    m_pControlWnd = nullptr;
  }
  m_pMainWnd = nullptr;
  ::PostQuitMessage(0);
}

int CThSpeechControl::GetVoiceList(CThSpeechControl* thread, std::deque<VoiceInfo>& voices) {
  return thread ? RequestVoiceList(thread->m_nThreadID, voices) : 0;
}

bool CThSpeechControl::GetVoiceInfo(CThSpeechControl* thread, int index, VoiceInfo& voice) {
  return thread ? RequestVoiceInfo(thread->m_nThreadID, index, voice) : false;
}

}  // namespace VTTSFramework
