// Test fixtures for the voice threads: an owner window that does the control window's
// bookkeeping for each notification and records it, a voice thread started and ended by RAII, and
// a message pump that waits for a condition with a time-out.
#pragma once

#include "TTSSapi5.h"

#include <afxwin.h>

#include <functional>
#include <string>
#include <vector>

namespace voicetest {

// One notification as the owner saw it.
struct Note {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  // The entry the notification was about: the first active entry for STARTED, the entry removed
  // for FINISHED, ERROR and VOICE_READY. Compared by address only; it may be freed already.
  const SpeakRequest* subject = nullptr;
  bool hasSubject = false;
  WordEvent word;  // WORD: the event taken off the first active request
  bool hasWord = false;
};

const char* MessageName(UINT message);

// Receives a voice's notifications. With bookkeeping (the default) it does what the control
// window does with the active list: takes word events, removes finished, failed and carrier
// entries and frees them, and marks the voice initialised on VOICE_READY.
class TestOwner : public CWnd {
 public:
  explicit TestOwner(bool bookkeeping = true) : m_bookkeeping(bookkeeping) {}
  ~TestOwner() override;
  bool Create();

  std::vector<Note> notes;
  size_t Count(UINT message) const;
  const Note* Last(UINT message) const;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool m_bookkeeping;
};

// Dispatches this thread's messages until done() holds or the time runs out; also wakes when
// `extra` is signalled. False on time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE extra = nullptr);

// A CTTS_SAPI5 thread for one test: created suspended with the owner set and auto-delete off,
// so that the test can wait for its end and delete it.
class VoiceThread {
 public:
  explicit VoiceThread(CWnd* owner, bool resume = true);
  ~VoiceThread();
  VoiceThread(const VoiceThread&) = delete;
  VoiceThread& operator=(const VoiceThread&) = delete;

  VTTSFramework::CTTS_SAPI5* operator->() const { return m_voice; }
  VTTSFramework::CTTS_SAPI5* Get() const { return m_voice; }
  bool Valid() const { return m_voice != nullptr; }
  void Resume();
  // Queues a carrier request and an initialisation for that token index.
  void Init(int tokenIndex, SpeechClient* client);
  // Posts WM_VOICE_QUIT and waits for the thread to end; false on time-out.
  bool Quit(DWORD timeoutMs = 10000);
  // Waits for the thread to end (it was told otherwise); false on time-out.
  bool WaitForEnd(DWORD timeoutMs = 10000);

 private:
  VTTSFramework::CTTS_SAPI5* m_voice = nullptr;
  bool m_ended = false;
};

// A request of `client` for `text` (copied, with a blank appended) and flags.
SpeakRequest* MakeRequest(SpeechClient* client, const wchar_t* text, DWORD flags = SPEAKF_ASYNC);

// The active list's entries, under its lock.
std::vector<SpeakRequest*> ActiveEntries(VTTSFramework::CTTS_Voice* voice);

std::string Narrow(const std::wstring& text);

}  // namespace voicetest
