#include "SpeechClientRegistration.h"

namespace orv_reader {

bool SpeechClientRegistration::Register(SpeechClient& client, HWND listener, HANDLE readyEvent,
                                        const std::function<HWND()>& controlWindow, HANDLE speechThread) {
  Unregister();
  client.AddListener(listener);
  if (readyEvent != nullptr) {
    // A thread whose start ended (by an exception) never sets its event.
    const HANDLE either[2] = {readyEvent, speechThread};
    const DWORD waited = WaitForMultipleObjects(speechThread != nullptr ? 2 : 1, either, FALSE, INFINITE);
    if (waited != WAIT_OBJECT_0) return false;
  }
  const HWND control = controlWindow ? controlWindow() : nullptr;
  if (control == nullptr || !IsWindow(control)) return false;
  SendMessageW(control, WM_SPEECH_REGISTER_CLIENT, reinterpret_cast<WPARAM>(&client), 0);
  m_client = &client;
  m_controlWindow = control;
  return true;
}

void SpeechClientRegistration::Unregister() {
  if (m_client == nullptr) return;
  SpeechClient* client = m_client;
  m_client = nullptr;
  // The window handle kept at registration: the client's own pointer to the control window
  // object is the speech thread's to change.
  SendMessageW(m_controlWindow, WM_SPEECH_UNREGISTER_CLIENT, reinterpret_cast<WPARAM>(client), 0);
  m_controlWindow = nullptr;
}

}  // namespace orv_reader
