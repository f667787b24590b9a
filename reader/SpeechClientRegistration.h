// A window's registration as a speech client with the speech control window.
//
// The control window keeps a pointer to the client and posts the client's listeners its
// notifications for as long as the client is registered. Unregistering is a synchronous
// SendMessage, so once Unregister returns the speech thread has dropped the pointer and will
// not read the client again: the client may then go. The destructor unregisters, so an object
// declared after the client it registers goes first.
#pragma once

#include <windows.h>

#include <functional>

#include "SpeechProtocol.h"

namespace orv_reader {

class SpeechClientRegistration {
 public:
  SpeechClientRegistration() = default;
  ~SpeechClientRegistration() { Unregister(); }
  SpeechClientRegistration(const SpeechClientRegistration&) = delete;
  SpeechClientRegistration& operator=(const SpeechClientRegistration&) = delete;

  // Adds the listener window to the client, waits without time limit for the speech thread's
  // ready event or, when its handle is given, the thread's end, whichever comes first, then
  // registers the client with the control window that controlWindow() answers at that moment.
  // False (and nothing registered) when the thread ended before it was ready or there is no
  // control window.
  bool Register(SpeechClient& client, HWND listener, HANDLE readyEvent, const std::function<HWND()>& controlWindow,
                HANDLE speechThread = nullptr);

  // Unregisters the client, when it is registered; later calls do nothing.
  void Unregister();

  bool IsRegistered() const { return m_client != nullptr; }
  // The control window the client was registered with; NULL while unregistered.
  HWND ControlWindow() const { return m_controlWindow; }

 private:
  // UI thread only.
  SpeechClient* m_client = nullptr;
  HWND m_controlWindow = nullptr;
};

}  // namespace orv_reader
