// Test helpers for the speech control window: a running control thread, client windows that
// record the notifications they receive, waits that pump messages, and registry keys that a test
// creates and removes again.
#pragma once

#include "SpeechControl.h"
#include "SpeechProtocol.h"
#include "ThSpeechControl.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace speech_test {

// One notification as a listener window received it.
struct Note {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::string NoteName(UINT message);
std::string Describe(const std::vector<Note>& notes);

// A message-only window that records every WM_SPEECH_ notification (0x550 to 0x556) posted to
// it. Create and use it on the test thread.
class Listener {
 public:
  Listener();
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  HWND hwnd() const { return m_hwnd; }
  const std::vector<Note>& Notes() const { return m_notes; }
  std::vector<Note> Notes(UINT message) const;
  size_t Count(UINT message) const;
  void Clear() { m_notes.clear(); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_hwnd = nullptr;
  std::vector<Note> m_notes;
};

// A speech client with its own listener window.
struct Client {
  explicit Client(int priority = 0);
  SpeechClient client;
  Listener listener;
};

// Pumps the test thread's messages until done() holds; false after timeoutMs. done() is asked
// again after each message and, when given, each time `wake` is signalled.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000, HANDLE wake = nullptr);
// Pumps until the listener holds `count` notifications of that message.
bool WaitForNotes(const Listener& listener, UINT message, size_t count, DWORD timeoutMs = 10000);
// Waits for a kernel object while pumping the test thread's messages.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);

// The speech control thread of one test. Started suspended, so that the cleanup interval can be
// set and the object kept past the thread's end; Stop posts the shutdown message and waits.
class ControlThread {
 public:
  explicit ControlThread(DWORD cleanupIntervalMs = 600000);
  ~ControlThread();
  ControlThread(const ControlThread&) = delete;
  ControlThread& operator=(const ControlThread&) = delete;

  bool Started() const { return m_thread && m_window; }
  // Posts WM_SPEECHTHREAD_SHUTDOWN and waits for the thread; false on time-out.
  bool Stop(DWORD timeoutMs = 10000);

  VTTSFramework::CThSpeechControl* thread() const { return m_thread; }
  VTTSFramework::CSpeechControl* window() const { return m_window; }
  HWND hwnd() const { return m_window ? m_window->GetSafeHwnd() : nullptr; }
  VoiceManager& manager() const { return m_thread->GetVoiceManager(); }

  LRESULT Send(UINT message, const void* wParam = nullptr, LPARAM lParam = 0) const;
  LRESULT Register(Client& c) const { return Register(c.client); }
  LRESULT Register(SpeechClient& c) const;
  LRESULT Unregister(Client& c) const { return Unregister(c.client); }
  LRESULT Unregister(SpeechClient& c) const;
  LRESULT Speak(Client& c, const wchar_t* text, DWORD flags = SPEAKF_PURGE) const {
    return Speak(c.client, text, flags);
  }
  LRESULT Speak(SpeechClient& c, const wchar_t* text, DWORD flags = SPEAKF_PURGE) const;
  // Sets the client's voice index and sends WM_SPEECH_SELECT_VOICE.
  LRESULT Select(Client& c, int index, DWORD resumeAfterVoiceChange = 0) const {
    return Select(c.client, index, resumeAfterVoiceChange);
  }
  LRESULT Select(SpeechClient& c, int index, DWORD resumeAfterVoiceChange = 0) const;
  // Select, then waits for the client's WM_SPEECH_VOICE_READY; false when either fails.
  bool SelectAndWait(Client& c, int index, DWORD resumeAfterVoiceChange = 0) const;

 private:
  VTTSFramework::CThSpeechControl* m_thread = nullptr;
  VTTSFramework::CSpeechControl* m_window = nullptr;
};

// A registry key below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER that the test creates with its
// missing parents; the destructor removes the keys it created (and only those), deepest first,
// each only when it is empty of subkeys by then.
class ScopedKey {
 public:
  ScopedKey(HKEY root, const std::wstring& path);
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  bool ok() const { return static_cast<bool>(m_key); }
  LONG SetString(const wchar_t* name, const std::wstring& value);
  LONG SetDword(const wchar_t* name, DWORD value);
  // The DWORD value; false when missing or of another type.
  bool GetDword(const wchar_t* name, DWORD* value) const;

 private:
  HKEY m_root;
  win::UniqueRegKey m_key;
  std::vector<std::wstring> m_created;  // paths created, outermost first
};

// Maps HKEY_LOCAL_MACHINE of this process to a private key below HKEY_CURRENT_USER for its
// lifetime (RegOverridePredefKey), so that registry writes of the code under test cannot meet
// those of tests running in parallel. COM looks its classes up below HKEY_LOCAL_MACHINE too:
// keep the override short and create no COM object meanwhile.
class ScopedMachineOverride {
 public:
  ScopedMachineOverride();
  ~ScopedMachineOverride();
  ScopedMachineOverride(const ScopedMachineOverride&) = delete;
  ScopedMachineOverride& operator=(const ScopedMachineOverride&) = delete;
  // ERROR_SUCCESS when the override is in place.
  LONG status() const { return m_status; }

 private:
  std::wstring m_path;
  win::UniqueRegKey m_key;
  LONG m_status = ERROR_INVALID_FUNCTION;
};

// COM on the test thread for the test's lifetime.
class ScopedCom {
 public:
  ScopedCom() : m_hr(CoInitialize(nullptr)) {}
  ~ScopedCom() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;
  HRESULT hr() const { return m_hr; }

 private:
  HRESULT m_hr;
};

std::string Narrow(const std::wstring& text);

}  // namespace speech_test
