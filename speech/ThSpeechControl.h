// The speech control thread: owns the hidden control window (CSpeechControl) and the voice
// manager, and answers the blocking voice-list requests of the UI thread.
//
// The application starts it with AfxBeginThread(RUNTIME_CLASS(VTTSFramework::CThSpeechControl))
// and waits for its ready event before it registers a client; it ends it by posting
// WM_SPEECHTHREAD_SHUTDOWN and waiting for the thread (which saves the speech settings, ends every
// voice thread and destroys its window). To wait on the thread's handle, clear m_bAutoDelete
// while the thread is still suspended and delete the object after the wait.
#pragma once

#include "SpeechControl.h"
#include "SpeechProtocol.h"
#include "VoiceManager.h"

#include <afxmt.h>
#include <afxwin.h>

#include <deque>

namespace VTTSFramework {

class CThSpeechControl : public CWinThread {
  DECLARE_DYNCREATE(CThSpeechControl)

 public:
  CThSpeechControl();
  ~CThSpeechControl() override;

  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  int ExitInstance() override;

  // Blocking requests from another thread (never the control thread itself): a copy of the voice
  // list (answers its count), or of one entry (answers whether index was inside the list; the
  // entry is left unchanged otherwise).
  static int GetVoiceList(CThSpeechControl* thread, std::deque<VoiceInfo>& voices);
  static bool GetVoiceInfo(CThSpeechControl* thread, int index, VoiceInfo& voice);

  VoiceManager& GetVoiceManager() { return m_voiceManager; }
  // Null until the thread is ready, and when the window could not be made.
  CSpeechControl* GetControlWindow() const { return m_pControlWnd; }

  // Set once start-up is over: the control window exists (or could not be made, when
  // GetControlWindow() answers null). Auto-reset: one waiter.
  CEvent m_readyEvent;
  CSpeechControl* m_pControlWnd = nullptr;  // control thread; deleted at shutdown
  VoiceManager m_voiceManager;

 private:
  // `closeMode`: what the control window's close saves (SPEECH_CLOSE_*).
  void Shutdown(LPARAM closeMode);
};

}  // namespace VTTSFramework
